#pragma once
// The chunk map: one byte per 8-MiB chunk of the whole device, saying whether
// the deep scan has read and examined it. The reader thread claims bytes
// while the handler thread marks them done, so every access is atomic.

#include <cstdint>

namespace trovium {

inline constexpr uint64_t kScanChunkSectors = 16384;

// Map byte values.
inline constexpr uint8_t kChunkNotScanned = 0;
inline constexpr uint8_t kChunkRead = 1;      // handed to the queue, not yet examined
inline constexpr uint8_t kChunkExamined = 2;
inline constexpr uint8_t kChunkOutsideMap = 0xFF;  // what Get answers beyond the map

// More chunks than this (16 PiB of device) can only come from a corrupt size.
inline constexpr uint64_t kMaxScanChunks = 1ull << 31;

// Chunks needed for `sectors` sectors (rounded up, no overflow near 2^64).
uint64_t ChunkCountFor(uint64_t sectors);
// The chunk LBA that holds `lba`.
inline uint64_t ChunkStartOf(uint64_t lba) { return lba - lba % kScanChunkSectors; }

class ChunkMap {
 public:
  ChunkMap() = default;
  ~ChunkMap();
  ChunkMap(const ChunkMap&) = delete;
  ChunkMap& operator=(const ChunkMap&) = delete;

  // A zeroed map for a device of `device_sectors`; false (and no map) when the
  // count is 0, above kMaxScanChunks, or memory cannot be had.
  bool Create(uint64_t device_sectors);
  // A map holding a saved copy (a reused scan); `count` is validated like Create's.
  bool Load(const uint8_t* bytes, uint64_t count);
  void Release();

  uint64_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  // The byte of chunk `index`; kChunkOutsideMap at or beyond the map.
  uint8_t Get(uint64_t index) const;
  // 0 -> 1; false when the byte was not 0 or the index is outside the map.
  bool Claim(uint64_t index);
  // Sets 2; false outside the map.
  bool MarkExamined(uint64_t index);
  // Every byte still at 1 goes back to 0 (read but never examined).
  void ResetUnexamined();

  // Releases *block (a managed block, or null) and hands out a fresh managed
  // copy of the map; with no map, *block is null, size 0 and the answer false.
  bool Copy(void*& block, uint64_t& size) const;

 private:
  uint8_t* bytes_ = nullptr;  // managed block, accessed only through atomic_ref
  uint64_t size_ = 0;
};

}  // namespace trovium
