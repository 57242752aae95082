#pragma once
// Where a record's data lies on the device, as runs of sectors. The file
// system readers register how their records map; the store dispatches by the
// volume's FsKind.

#include <vector>

#include "store/volume_record.h"

namespace trovium {

// Fills extents for a record of a volume of one FsKind; false when the
// record's data cannot be located.
using ExtentBuilder = bool (*)(const VolumeRecord& v, const FileRecord& r, std::vector<DataExtent>& extents);

// Registers the builder of an FsKind (null removes it). Process-wide; set at
// start-up, read by export and preview threads.
void SetExtentBuilder(int32_t fs_kind, ExtentBuilder builder);

// The record's extents: one of 2 sectors at data_lba for resident data; the
// stored extent list when the record carries one; one extent of
// ceil(size / 512) sectors at data_lba for found files and loose directories;
// otherwise the registered builder of the volume's kind. False, with extents
// empty, when none applies or the stored list is damaged.
bool BuildExtents(const VolumeRecord& v, const FileRecord& r, std::vector<DataExtent>& extents);

}  // namespace trovium
