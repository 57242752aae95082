#pragma once
// The texts of the results tree.

#include <string>
#include <vector>

#include "store/volume_record.h"

namespace trovium {

// "%02u " with index - 3, a drive letter "%C盘 " for every mounted volume on
// the source's disk, inside its range and starting exactly where this volume
// starts, the label, the view word, the file-system word and " (%u个文件)".
std::string VolumeTitle(const VolumeRecord& v, uint32_t index, const std::vector<VolumeRecord>& mounted,
                        const VolumeRecord& source);

// "%s     (%u个文件)" for a directory row.
std::string DirectoryRowText(const FileRecord& dir);

}  // namespace trovium
