#include <algorithm>
#include <vector>

#include "store/volume_record.h"

namespace trovium {

uint32_t CountShownFiles(VolumeRecord& v, bool show_all, const std::vector<bool>& selected) {
  FileRecord* root = GetRecord(v, kRootIndex);
  if (!root) {
    v.shown_file_count = 0;
    return 0;
  }
  // Depth-first without recursion: a deep tree from a device must not exhaust the stack.
  struct Frame {
    uint32_t index;
    size_t next_child;
    uint32_t count;
  };
  std::vector<uint8_t> seen(v.file_count, 0);
  std::vector<Frame> stack{{kRootIndex, 0, 0}};
  seen[kRootIndex] = 1;
  uint32_t total = 0;
  while (!stack.empty()) {
    Frame& f = stack.back();
    FileRecord& dir = v.files[f.index];
    if (f.next_child < dir.children.size()) {
      const uint32_t c = dir.children[f.next_child++];
      FileRecord* child = GetRecord(v, c);
      if (!child || seen[c]) continue;
      seen[c] = 1;
      if (child->is_dir()) {
        stack.push_back({c, 0, 0});
      } else if (show_all || (child->type_code < selected.size() && selected[child->type_code])) {
        ++f.count;
      } else {
        ClearRecord(*child);
      }
      continue;
    }
    // Directory finished: drop the children that were cleared.
    auto& kids = dir.children;
    kids.erase(std::remove_if(kids.begin(), kids.end(), [&](uint32_t c) { return !IsValidRecord(v, c); }),
               kids.end());
    const uint32_t count = f.count;
    const uint32_t index = f.index;
    dir.subtree_file_count = count;
    stack.pop_back();
    if (index == kRootIndex) {
      total = count;
    } else {
      if (kids.empty()) ClearRecord(dir);
      stack.back().count += count;
    }
  }
  v.shown_file_count = total;
  return total;
}

}  // namespace trovium
