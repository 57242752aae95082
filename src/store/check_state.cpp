#include "store/check_state.h"

#include <vector>

namespace trovium {

bool IsVisibleRecord(const VolumeRecord& v, uint32_t index, bool filter_active) {
  const FileRecord* r = GetRecord(v, index);
  return r && (!filter_active || (r->flags & kFlagFilterPass));
}

namespace {

template <class Visit>
void WalkVisibleBelow(const VolumeRecord& v, uint32_t index, bool filter_active, Visit visit) {
  std::vector<uint8_t> seen(v.file_count, 0);
  std::vector<uint32_t> stack{index};
  while (!stack.empty()) {
    const uint32_t at = stack.back();
    stack.pop_back();
    if (at >= seen.size() || seen[at] || !IsVisibleRecord(v, at, filter_active)) continue;
    seen[at] = 1;
    visit(at);
    for (uint32_t c : v.files[at].children)
      if (c != kRootIndex) stack.push_back(c);
  }
}

uint16_t CombinedCheck(const VolumeRecord& v, const FileRecord& dir, bool filter_active) {
  bool any_checked = false, any_unchecked = false;
  for (uint32_t c : dir.children) {
    if (c == kRootIndex || !IsVisibleRecord(v, c, filter_active)) continue;
    const uint16_t s = v.files[c].check();
    if (s == kPartlyChecked) return kPartlyChecked;
    (s == kChecked ? any_checked : any_unchecked) = true;
  }
  if (any_checked && any_unchecked) return kPartlyChecked;
  return any_checked ? kChecked : kUnchecked;
}

}  // namespace

bool ToggleCheck(VolumeRecord& v, uint32_t index, bool filter_active) {
  if (!IsVisibleRecord(v, index, filter_active)) return false;
  const uint16_t value = v.files[index].check() == kChecked ? kUnchecked : kChecked;
  WalkVisibleBelow(v, index, filter_active, [&](uint32_t at) { v.files[at].set_check(value); });

  uint32_t child = index;
  for (uint32_t steps = 0; child != kRootIndex && steps < v.file_count; ++steps) {
    const uint32_t at = v.files[child].parent;
    if (!IsVisibleRecord(v, at, filter_active)) break;
    FileRecord& a = v.files[at];
    const uint16_t now = CombinedCheck(v, a, filter_active);
    if (now == a.check()) break;
    a.set_check(now);
    child = at;
  }
  return true;
}

FileTotals TotalsBelow(const VolumeRecord& v, uint32_t index, bool filter_active, bool checked_only) {
  FileTotals t;
  WalkVisibleBelow(v, index, filter_active, [&](uint32_t at) {
    const FileRecord& r = v.files[at];
    if (r.is_dir() || (checked_only && r.check() != kChecked)) return;
    ++t.files;
    t.bytes += r.size;
  });
  return t;
}

}  // namespace trovium
