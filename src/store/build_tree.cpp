#include <vector>

#include "store/volume_record.h"

namespace trovium {

void BuildTree(VolumeRecord& v, const RecordContentReader& reader) {
  const uint32_t count = v.file_count;
  // Parents that cannot hold the record: lost files.
  for (uint32_t i = 1; i < count; ++i) {
    FileRecord* r = GetRecord(v, i);
    if (!r) continue;
    r->children.clear();
    if (i == kRootIndex) continue;
    if (i == kLostIndex) {
      r->parent = kRootIndex;
      continue;
    }
    const FileRecord* p = GetRecord(v, r->parent);
    if (r->parent == i || !p || !p->is_dir()) r->parent = kLostIndex;
  }
  if (!IsValidRecord(v, kLostIndex)) {
    // Without a lost-files directory orphans hang below the root.
    for (uint32_t i = 1; i < count; ++i)
      if (FileRecord* r = GetRecord(v, i); r && r->parent == kLostIndex) r->parent = kRootIndex;
  }

  // Parent chains that never reach the root (deleted directories whose reused
  // entries point at each other): every member of such a cycle becomes a lost
  // file, so each walk upward ends.
  enum : uint8_t { kUnseen, kOnPath, kDone };
  std::vector<uint8_t> mark(count, kUnseen);
  if (kRootIndex < count) mark[kRootIndex] = kDone;
  std::vector<uint32_t> path;
  for (uint32_t i = 1; i < count; ++i) {
    if (mark[i] != kUnseen || !IsValidRecord(v, i)) continue;
    path.clear();
    uint32_t at = i;
    while (at < count && mark[at] == kUnseen && IsValidRecord(v, at)) {
      mark[at] = kOnPath;
      path.push_back(at);
      at = v.files[at].parent;
    }
    if (at < count && mark[at] == kOnPath) {
      // The chain closed on itself: break every link of the cycle.
      for (size_t k = path.size(); k-- > 0;) {
        v.files[path[k]].parent = kLostIndex;
        if (path[k] == at) break;
      }
    }
    for (uint32_t p : path) mark[p] = kDone;
  }

  for (uint32_t i = 1; i < count; ++i) {
    if (i == kRootIndex) continue;
    FileRecord* r = GetRecord(v, i);
    if (!r) continue;
    if (FileRecord* p = GetRecord(v, r->parent)) AddChild(*p, i);
  }
  if (v.fs_kind == kFsNtfs || v.fs_kind == kFsFatDir) RestoreRecycleBinNames(v, reader);
}

}  // namespace trovium
