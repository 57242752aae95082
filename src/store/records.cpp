#include <algorithm>
#include <new>

#include "content/file_type_table.h"
#include "store/volume_record.h"

namespace trovium {

const FileRecord* GetRecord(const VolumeRecord& v, uint32_t index) {
  if (index == 0 || index >= v.files.size() || index >= v.file_count) return nullptr;
  const FileRecord& r = v.files[index];
  return (r.index == index && !r.name.empty()) ? &r : nullptr;
}

FileRecord* GetRecord(VolumeRecord& v, uint32_t index) {
  return const_cast<FileRecord*>(GetRecord(static_cast<const VolumeRecord&>(v), index));
}

namespace {

// The new capacity for a growth step, or 0 when none is possible.
uint64_t NextCapacity(uint64_t capacity, uint64_t wanted, uint64_t limit) {
  if (capacity >= limit) return 0;
  uint64_t next = 0;
  if (wanted != 0) {
    next = wanted >= capacity + 1024 ? wanted : capacity + 1024;
  } else if (capacity == 0) {
    next = 1024;
  } else {
    uint64_t step = capacity / 2;
    if (capacity >= 102400) step = std::min<uint64_t>(step, 51200);
    next = capacity + std::max<uint64_t>(step, 1);
  }
  return std::min(next, limit);
}

template <class T>
bool Resize(std::vector<T>& items, uint64_t capacity) {
  try {
    items.resize(static_cast<size_t>(capacity));
    items.shrink_to_fit();
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

}  // namespace

bool GrowRecords(VolumeRecord& v, uint64_t wanted) {
  // A count beyond the limit can only come from a damaged structure.
  const uint64_t limit = RecordLimit(v);
  if (wanted > limit) return false;
  if (wanted != 0 && wanted < v.files.size()) return true;
  if (v.files.empty()) v.file_count = 0;
  uint64_t next = NextCapacity(v.files.size(), wanted, limit);
  if (next == 0 || next < wanted) return false;
  return Resize(v.files, next);
}

bool GrowViewNodes(std::vector<ViewNode>& nodes, uint32_t /*node_count*/, uint64_t wanted) {
  if (wanted > kMaxViewNodes) return false;
  if (wanted != 0 && wanted < nodes.size()) return true;
  uint64_t next = NextCapacity(nodes.size(), wanted, kMaxViewNodes);
  if (next == 0 || next < wanted) return false;
  return Resize(nodes, next);
}

void AddChild(FileRecord& dir, uint32_t index) {
  if (dir.children.size() == dir.children.capacity())
    dir.children.reserve(dir.children.empty() ? 8 : dir.children.capacity() + dir.children.capacity() / 2);
  dir.children.push_back(index);
}

uint32_t InsertRecord(VolumeRecord& v, const FileRecord& r, bool link) {
  uint32_t index = r.index == 0 ? v.file_count : r.index;
  if (index == 0 || index >= RecordLimit(v)) return 0;
  if (index >= v.files.size() && !GrowRecords(v, uint64_t{index} + 1)) return 0;
  FileRecord& slot = v.files[index];
  if (IsValidRecord(v, index)) ClearRecord(slot);
  slot = r;
  slot.index = index;
  if (v.fs_kind != kFsFound && !slot.is_dir() && !slot.name.empty())
    slot.type_code = type_from_file_name(slot.name);
  v.file_count = std::max(v.file_count, index + 1);
  if (!link || slot.parent == index) return index;
  FileRecord* parent = GetRecord(v, slot.parent);
  if (!parent) return index;
  AddChild(*parent, index);
  if (!slot.is_dir()) {
    // Walk up to the root; bounded, since parent links come from the device.
    uint32_t at = slot.parent;
    for (uint32_t steps = 0; at != kRootIndex && steps < v.file_count; ++steps) {
      FileRecord* a = GetRecord(v, at);
      if (!a) break;
      ++a->subtree_file_count;
      at = a->parent;
    }
    ++v.shown_file_count;
  }
  return index;
}

bool AddBaseRecords(VolumeRecord& v) {
  FileRecord root;
  root.index = kRootIndex;
  root.parent = kRootIndex;
  root.name = ".";
  root.set_state(kStateDir);
  FileRecord lost;
  lost.index = kLostIndex;
  lost.parent = kRootIndex;
  lost.name = kLostFilesName;
  lost.set_state(kStateDeletedDir);
  return InsertRecord(v, root, false) == kRootIndex && InsertRecord(v, lost, false) == kLostIndex;
}

std::vector<uint32_t> PathToRoot(const VolumeRecord& v, uint32_t index) {
  std::vector<uint32_t> path;
  const FileRecord* r = GetRecord(v, index);
  while (r && path.size() <= v.file_count) {
    path.push_back(r->index);
    if (r->index == kRootIndex) return path;
    r = GetRecord(v, r->parent);
  }
  return {};  // broken or cyclic chain
}

void RemoveSubtree(VolumeRecord& v, uint32_t index) {
  FileRecord* r = GetRecord(v, index);
  if (!r || index == kRootIndex) return;
  if (FileRecord* p = GetRecord(v, r->parent)) {
    auto& c = p->children;
    c.erase(std::remove(c.begin(), c.end(), index), c.end());
  }
  std::vector<uint32_t> stack{index};
  while (!stack.empty()) {
    uint32_t at = stack.back();
    stack.pop_back();
    FileRecord* x = GetRecord(v, at);
    if (!x || at == kRootIndex) continue;
    for (uint32_t c : x->children) stack.push_back(c);
    ClearRecord(*x);
  }
}

}  // namespace trovium
