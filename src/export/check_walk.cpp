// Check-mark normalisation and counting over a volume, with explicit stacks:
// a hostile tree may be any number of levels deep.

#include <vector>

#include "export/export_engine.h"
#include "store/check_state.h"

namespace trovium {
namespace {

bool Usable(const VolumeRecord& v, uint32_t index, bool filter_active) {
  return index != kRootIndex && IsVisibleRecord(v, index, filter_active);
}

}  // namespace

uint16_t NormaliseCheckStates(const VolumeRecord& v, uint32_t record, bool filter_active,
                              std::vector<uint8_t>& states) {
  const size_t n = v.files.size();
  states.assign(n, 0);
  for (size_t i = 0; i < n; ++i) states[i] = static_cast<uint8_t>(v.files[i].check());
  const FileRecord* start = GetRecord(v, record);
  if (!start) return kUnchecked;

  struct Frame {
    uint32_t index;
    size_t next = 0;
    uint32_t checked = 0, unchecked = 0, partly = 0;
  };
  std::vector<uint8_t> seen(n, 0);  // each record once: a damaged tree cannot loop
  std::vector<Frame> stack;
  stack.push_back({record});
  seen[record] = 1;
  while (!stack.empty()) {
    Frame& f = stack.back();
    const FileRecord& r = v.files[f.index];
    if (f.next < r.children.size()) {
      const uint32_t c = r.children[f.next++];
      if (!Usable(v, c, filter_active) || seen[c]) {
        if (Usable(v, c, filter_active) && seen[c]) {
          // Already visited (a shared child): count its state as it stands.
          const uint8_t s = states[c];
          (s == kChecked ? f.checked : s == kPartlyChecked ? f.partly : f.unchecked)++;
        }
        continue;
      }
      seen[c] = 1;
      stack.push_back({c});
      continue;
    }
    if (!r.children.empty()) {
      uint16_t s;
      if (f.partly) s = kPartlyChecked;
      else if (!f.checked) s = kUnchecked;
      else if (f.unchecked) s = kPartlyChecked;
      else s = kChecked;
      states[f.index] = static_cast<uint8_t>(s);
    }
    const uint8_t done = states[f.index];
    stack.pop_back();
    if (!stack.empty()) {
      Frame& p = stack.back();
      (done == kChecked ? p.checked : done == kPartlyChecked ? p.partly : p.unchecked)++;
    }
  }
  return states[record];
}

void CountSelected(const VolumeRecord& v, uint32_t record, bool filter_active, const std::vector<uint8_t>& states,
                   ExportProgress& progress) {
  const size_t n = v.files.size();
  auto state_of = [&](uint32_t i) -> uint16_t {
    return i < states.size() ? states[i] : v.files[i].check();
  };
  if (!GetRecord(v, record)) return;
  std::vector<uint8_t> seen(n, 0);
  std::vector<uint32_t> stack{record};
  seen[record] = 1;
  auto& p = progress.report.exportCopy;
  while (!stack.empty()) {
    const uint32_t i = stack.back();
    stack.pop_back();
    if (state_of(i) == kUnchecked) continue;
    const FileRecord& r = v.files[i];
    if (!r.is_dir()) {
      p.total_files++;
      p.total_bytes += r.size;
      continue;
    }
    for (uint32_t c : r.children) {
      if (!Usable(v, c, filter_active) || seen[c]) continue;
      seen[c] = 1;
      stack.push_back(c);
    }
  }
}

}  // namespace trovium
