#include <algorithm>
#include <utility>
#include <vector>

#include "store/volume_record.h"

namespace trovium {

namespace {
constexpr uint32_t kCompactWaste = 5000;
constexpr uint32_t kShrinkWaste = 3000;
}  // namespace

void CompactVolume(VolumeRecord& v) {
  const uint32_t count = std::min<uint32_t>(v.file_count, static_cast<uint32_t>(v.files.size()));
  uint32_t valid = 0;
  for (uint32_t i = 1; i < count; ++i) valid += IsValidRecord(v, i);
  const uint32_t invalid = count > 0 ? count - 1 - valid : 0;

  if (invalid > kCompactWaste && valid > 5) {
    // New positions keep the order: valid records fill the lowest free slots from the root on.
    std::vector<uint32_t> moved_to(count, 0);
    uint32_t next = kRootIndex;
    for (uint32_t i = 1; i < count; ++i) {
      if (!IsValidRecord(v, i)) continue;
      moved_to[i] = i < kRootIndex ? i : next++;
    }
    auto remap = [&](uint32_t old) { return old < count && moved_to[old] ? moved_to[old] : old; };
    for (uint32_t i = 1; i < count; ++i) {
      const uint32_t to = moved_to[i];
      if (to == 0) continue;
      FileRecord& r = v.files[i];
      r.parent = remap(r.parent);
      for (uint32_t& c : r.children) c = remap(c);
      r.index = to;
      if (to != i) {
        v.files[to] = std::move(r);
        ClearRecord(v.files[i]);
      }
    }
    // Records moved down are valid where they now stand; file_count still
    // covers them, so GetRecord works during the rest of this pass.
  }

  uint32_t highest = 0;
  for (uint32_t i = count; i-- > 1;) {
    if (IsValidRecord(v, i)) {
      highest = i;
      break;
    }
  }
  v.file_count = highest + 1;
  if (v.files.size() > uint64_t{v.file_count} + kShrinkWaste) {
    v.files.resize(v.file_count);
    v.files.shrink_to_fit();
  }
}

}  // namespace trovium
