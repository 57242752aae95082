#include <algorithm>
#include <cstring>
#include <vector>

#include "store/volume_record.h"

namespace trovium {

VolumeRecord DeepCopyVolume(const VolumeRecord& v) {
  // Every block of a record is held by value, so a copy shares nothing.
  return v;
}

namespace {

// Existing directories reachable from the root through existing directories,
// parents before children.
std::vector<uint32_t> ExistingDirsPreOrder(const VolumeRecord& v) {
  std::vector<uint32_t> order;
  std::vector<uint8_t> seen(v.file_count, 0);
  std::vector<uint32_t> stack{kRootIndex};
  while (!stack.empty()) {
    const uint32_t at = stack.back();
    stack.pop_back();
    const FileRecord* r = GetRecord(v, at);
    if (!r || seen[at]) continue;
    seen[at] = 1;
    order.push_back(at);
    for (uint32_t c : r->children) {
      const FileRecord* x = GetRecord(v, c);
      if (x && x->state() == kStateDir) stack.push_back(c);
    }
  }
  return order;
}

// keep_existing: remove deleted entries; otherwise remove existing files and
// keep deleted directories whole. Empty directories below the root go too.
void Prune(VolumeRecord& v, bool keep_existing) {
  const std::vector<uint32_t> order = ExistingDirsPreOrder(v);
  for (size_t k = order.size(); k-- > 0;) {
    const uint32_t at = order[k];
    if (!IsValidRecord(v, at)) continue;
    const std::vector<uint32_t> kids = v.files[at].children;
    for (uint32_t c : kids) {
      const FileRecord* r = GetRecord(v, c);
      if (!r) continue;
      bool remove = false;
      if (r->state() == kStateDeletedDir) {
        remove = keep_existing || r->children.empty();
      } else if (r->state() == kStateDir) {
        remove = r->children.empty();  // already pruned: children come later in the order
      } else {
        remove = r->is_deleted() == keep_existing;
      }
      if (remove) RemoveSubtree(v, c);
    }
  }
}

}  // namespace

VolumeRecord SplitExistingDeleted(VolumeRecord& v) {
  VolumeRecord w = DeepCopyVolume(v);
  Prune(v, true);
  v.view = 1;
  CompactVolume(v);
  Prune(w, false);
  w.view = 2;
  CompactVolume(w);
  return w;
}

bool KeepOnlyRecycleBin(const VolumeRecord& v, VolumeRecord& out) {
  out = VolumeRecord{};
  uint32_t bin = 0;
  const uint32_t last = std::min<uint32_t>(v.file_count, 1024);
  for (uint32_t i = kRootIndex; i < last && !bin; ++i)
    if (const FileRecord* r = GetRecord(v, i); r && r->name == kRecycleBinName) bin = i;
  if (!bin) return false;

  std::vector<uint8_t> inside(v.file_count, 0);
  std::vector<uint32_t> stack{bin};
  bool has_file = false;
  while (!stack.empty()) {
    const uint32_t at = stack.back();
    stack.pop_back();
    const FileRecord* r = GetRecord(v, at);
    if (!r || inside[at] || at == kRootIndex) continue;
    inside[at] = 1;
    has_file |= !r->is_dir();
    for (uint32_t c : r->children) stack.push_back(c);
  }
  if (!has_file) return false;

  out = DeepCopyVolume(v);
  for (uint32_t i = kLostIndex; i < out.file_count && i < out.files.size(); ++i)
    if (i != kRootIndex && !inside[i]) ClearRecord(out.files[i]);
  out.files[bin].parent = kRootIndex;
  out.files[kRootIndex].children = {bin};
  return true;
}

}  // namespace trovium
