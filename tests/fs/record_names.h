#pragma once
// Names of a volume's records below the root, in index order, with deleted
// ones marked: the shape the reader tests compare.

#include <string>
#include <vector>

#include "store/volume_record.h"

namespace trovium {

inline std::vector<std::string> Names(const VolumeRecord& v) {
  std::vector<std::string> names;
  for (uint32_t i = kRootIndex + 1; i < v.file_count; ++i)
    if (const FileRecord* r = GetRecord(v, i)) names.push_back(r->name + (r->is_deleted() ? " (deleted)" : ""));
  return names;
}

}  // namespace trovium
