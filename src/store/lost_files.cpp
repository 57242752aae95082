#include <algorithm>
#include <cstdio>

#include "store/volume_record.h"

namespace trovium {

namespace {
constexpr uint32_t kLostPerDirectory = 300;
}

bool SplitLostFiles(VolumeRecord& v) {
  FileRecord* lost = GetRecord(v, kLostIndex);
  if (!lost || lost->child_count() <= kLostPerDirectory) return false;
  const uint64_t total = lost->child_count();
  const uint64_t groups = (total + kLostPerDirectory - 1) / kLostPerDirectory;
  // Every group directory needs a slot; a split that cannot finish would leave
  // children pointing at directories that were never made.
  if (uint64_t{v.file_count} + groups > RecordLimit(v)) return false;
  if (uint64_t{v.file_count} + groups > v.files.size() && !GrowRecords(v, uint64_t{v.file_count} + groups))
    return false;

  std::vector<uint32_t> orphans = GetRecord(v, kLostIndex)->children;
  std::vector<uint32_t> groups_made;
  for (uint64_t g = 0; g < groups; ++g) {
    FileRecord dir;
    dir.parent = kLostIndex;
    char name[16];
    std::snprintf(name, sizeof name, "%03u", static_cast<unsigned>(g));
    dir.name = name;
    dir.set_state(kStateDeletedDir);
    const uint32_t at = InsertRecord(v, dir, false);
    if (at == 0) return false;  // not reached: the room was made above
    FileRecord& d = v.files[at];
    const uint64_t first = g * kLostPerDirectory;
    const uint64_t end = std::min<uint64_t>(first + kLostPerDirectory, total);
    d.children.reserve(static_cast<size_t>(end - first));
    for (uint64_t k = first; k < end; ++k) {
      FileRecord* child = GetRecord(v, orphans[k]);
      if (!child) continue;
      child->parent = at;
      d.children.push_back(orphans[k]);
      if (!child->is_dir()) ++d.subtree_file_count;
    }
    groups_made.push_back(at);
  }
  GetRecord(v, kLostIndex)->children = std::move(groups_made);
  return true;
}

}  // namespace trovium
