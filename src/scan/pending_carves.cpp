#include "scan/pending_carves.h"

#include <algorithm>
#include <cstring>

#include "core/memory_manager.h"

namespace trovium {
namespace {

constexpr uint16_t kTagCarveWindow = 406;

uint64_t WindowLastLba(const CarveWindow& w) { return w.window_first_lba + w.window_bytes / 512 - 1; }

}  // namespace

PendingCarves::~PendingCarves() { ReleasePendingCarves(*this); }

uint32_t CarveRangeRelation(uint64_t as, uint64_t ae, uint64_t bs, uint64_t be) {
  if (ae < as || be < bs) return 6;
  if (bs <= as) {
    if (be < as) return 2;
    if (be < ae) return 5;
    return 1;
  }
  if (bs > ae) return 0;
  if (be < ae) return 3;
  return 4;
}

bool queue_pending_carve(PendingCarves& pending, const CarveState& state) {
  if (state.need_last_lba < state.need_first_lba ||
      state.need_last_lba - state.need_first_lba > kPendingWidestRange) {
    ++pending.too_wide;
    return false;
  }
  auto& list = pending.list;
  if (list.size() >= kPendingCarveLimit) {
    auto oldest = std::min_element(list.begin(), list.end(),
                                   [](const PendingCarve& a, const PendingCarve& b) { return a.arrival < b.arrival; });
    list.erase(oldest);
    ++pending.dropped;
  }
  // Before the first entry that needs a later sector; equal ones keep arrival order.
  auto at = std::upper_bound(list.begin(), list.end(), state.need_first_lba,
                             [](uint64_t lba, const PendingCarve& e) { return lba < e.state.need_first_lba; });
  list.insert(at, PendingCarve{state, pending.arrivals++});
  return true;
}

bool pending_carves_touch_chunk(PendingCarves& pending, uint64_t chunk_lba) {
  const uint64_t chunk_last = chunk_lba + kCarveChunkSectors - 1;
  bool touched = false;
  auto& list = pending.list;
  list.erase(std::remove_if(list.begin(), list.end(),
                            [&](const PendingCarve& e) {
                              uint32_t r = CarveRangeRelation(e.state.need_first_lba, e.state.need_last_lba,
                                                              chunk_lba, chunk_last);
                              if (r == 0 || r == 6) return true;
                              if (r != 2) touched = true;
                              return false;
                            }),
             list.end());
  return touched;
}

bool AddChunkToCarveWindow(CarveWindow& w, ByteView chunk, uint64_t chunk_lba) {
  const uint64_t bytes = std::min<uint64_t>(chunk.size() / 512 * 512, kCarveChunkBytes);
  if (bytes == 0) return false;
  if (w.data == nullptr) w.data = static_cast<uint8_t*>(MemAlloc(kCarveWindowBytes, kTagCarveWindow));
  const bool follows = w.window_chunks != 0 && chunk_lba >= w.window_first_lba &&
                       chunk_lba == w.window_first_lba + uint64_t{w.window_chunks} * kCarveChunkSectors &&
                       w.window_bytes == uint64_t{w.window_chunks} * kCarveChunkBytes;
  if (!follows) {
    std::memcpy(w.data, chunk.data(), bytes);
    w.window_first_lba = chunk_lba;
    w.window_chunks = 1;
    w.window_bytes = bytes;
    return true;
  }
  if (w.window_chunks == kCarveWindowChunks) {
    // Slide by one chunk: the last seven move to the front.
    std::memmove(w.data, w.data + kCarveChunkBytes, (kCarveWindowChunks - 1) * kCarveChunkBytes);
    std::memcpy(w.data + (kCarveWindowChunks - 1) * kCarveChunkBytes, chunk.data(), bytes);
    w.window_first_lba += kCarveChunkSectors;
    w.window_bytes = (kCarveWindowChunks - 1) * kCarveChunkBytes + bytes;
    return true;
  }
  std::memcpy(w.data + w.window_bytes, chunk.data(), bytes);
  ++w.window_chunks;
  w.window_bytes += bytes;
  return true;
}

void resolve_pending_carves(PendingCarves& pending, ByteView chunk, uint64_t chunk_lba,
                            const std::function<void(const CarveState&)>& finished) {
  CarveWindow& w = pending.window;
  if (!AddChunkToCarveWindow(w, chunk, chunk_lba)) return;
  const uint64_t last = WindowLastLba(w);
  auto& list = pending.list;
  // One pass: a re-run depends only on its own state and the window, so
  // starting over after each finished entry would repeat the same answers.
  MemVector<PendingCarve> requeue{MemAllocator<PendingCarve>(405)};
  for (size_t i = 0; i < list.size();) {
    CarveState& state = list[i].state;
    uint32_t r = CarveRangeRelation(state.need_first_lba, state.need_last_lba, w.window_first_lba, last);
    if (r != 1 && r != 4) {
      ++i;
      continue;
    }
    ++pending.reruns;
    state.status = pending.size_step(w.data, w.window_bytes, state, w.window_first_lba);
    if (state.status == kCarvePending) {
      // Still waiting, now for a later range: sorted in again after the pass.
      if (state.need_last_lba >= state.need_first_lba &&
          state.need_last_lba - state.need_first_lba <= kPendingWidestRange) {
        requeue.push_back(list[i]);
      } else {
        ++pending.too_wide;  // can never be held: stays pending, unfinished
      }
    } else if (finished) {
      finished(state);
    }
    list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
  }
  for (const PendingCarve& e : requeue) {
    auto at = std::upper_bound(list.begin(), list.end(), e.state.need_first_lba,
                               [](uint64_t lba, const PendingCarve& x) { return lba < x.state.need_first_lba; });
    list.insert(at, e);
  }
}

void ReleasePendingCarves(PendingCarves& pending) {
  pending.list.clear();
  pending.list.shrink_to_fit();
  MemFree(pending.window.data);
  pending.window = CarveWindow{};
}

}  // namespace trovium
