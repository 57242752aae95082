#pragma once
// Carved files whose structure runs past the chunk in memory: they wait in a
// list ordered by the first sector they need and are finished later from a
// window of up to 8 consecutive chunks (64 MiB). One instance per scan; the
// deep scan and the video fragment scans never run at the same time.

#include <cstdint>
#include <functional>

#include "content/carve.h"
#include "core/byte_view.h"
#include "core/mem_allocator.h"

namespace trovium {

inline constexpr uint64_t kCarveChunkSectors = 16384;
inline constexpr uint64_t kCarveChunkBytes = kCarveChunkSectors * 512;
inline constexpr uint32_t kCarveWindowChunks = 8;
inline constexpr uint64_t kCarveWindowBytes = kCarveWindowChunks * kCarveChunkBytes;  // 0x4000000
// A needed range wider than this (56 MiB) can never fit the window beside its start.
inline constexpr uint64_t kPendingWidestRange = 0x1C000;
// Entries kept at once. Every entry may be run again over the whole window
// after each chunk, so a device full of headers (one per sector) would
// otherwise cost chunks × entries; past the bound the oldest entry is dropped
// (its hit keeps status 3) and counted.
inline constexpr size_t kPendingCarveLimit = 64;

// The size step, replaceable for tests of the list itself.
using CarveSizeStep = uint32_t (*)(const uint8_t* buffer, uint64_t length, CarveState& state, uint64_t buffer_lba);

struct PendingCarve {
  CarveState state;
  uint64_t arrival = 0;  // queue order, to find the oldest
};

struct CarveWindow {
  uint8_t* data = nullptr;  // managed, kCarveWindowBytes, made on first use
  uint64_t window_first_lba = 0;
  uint32_t window_chunks = 0;  // 0 = empty
  uint64_t window_bytes = 0;   // valid bytes (the device's last chunk may be short)
};

struct PendingCarves {
  MemVector<PendingCarve> list{MemAllocator<PendingCarve>(405)};  // by need_first_lba, then arrival
  CarveWindow window;
  CarveSizeStep size_step = determine_size;
  uint64_t arrivals = 0;
  uint64_t dropped = 0;   // pushed out by kPendingCarveLimit
  uint64_t too_wide = 0;  // never queued: the range cannot fit the window
  uint64_t reruns = 0;    // size steps run from the window

  PendingCarves() = default;
  PendingCarves(const PendingCarves&) = delete;
  PendingCarves& operator=(const PendingCarves&) = delete;
  ~PendingCarves();
};

// Relation of a needed range A = [as, ae] to B = [bs, be]: 6 invalid range;
// B starts at or before A: 2 B ends before A, 5 B ends inside A, 1 B covers A;
// B starts after A: 0 B starts past A's end, 3 B ends inside A, 4 B covers A's end.
uint32_t CarveRangeRelation(uint64_t as, uint64_t ae, uint64_t bs, uint64_t be);

// Queues a copy of a state that answered 3; false (never finished) when its
// range is reversed or wider than kPendingWidestRange.
bool queue_pending_carve(PendingCarves& pending, const CarveState& state);

// Drops entries whose range the chunk has passed (relation 0) or that are
// invalid (6); true when an entry's range meets the chunk (1, 3, 4, 5).
bool pending_carves_touch_chunk(PendingCarves& pending, uint64_t chunk_lba);

// Adds the chunk to the window and runs the size step again for every entry
// whose range the window now covers at its end (relation 1 or 4). Entries that
// finish (0, 4, 5) are handed to `finished` and removed.
void resolve_pending_carves(PendingCarves& pending, ByteView chunk, uint64_t chunk_lba,
                            const std::function<void(const CarveState&)>& finished);

// Adds one chunk (at most 8 MiB) to the window; exposed for tests.
bool AddChunkToCarveWindow(CarveWindow& window, ByteView chunk, uint64_t chunk_lba);

// Frees the window and every entry (scan end).
void ReleasePendingCarves(PendingCarves& pending);

}  // namespace trovium
