#pragma once
// Which chunk the deep scan reads next. Chunks that findings point to and the
// user's priority range come first; then the walk goes up through the scan
// range. In the modes for deleted and recycled files only the chunks that hold
// free clusters are read. The chunk map records what is done, so each chunk is
// read once and a stopped scan can be resumed.

#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <vector>

#include "core/byte_view.h"
#include "scan/chunk_map.h"
#include "scan/job_state.h"
#include "scan/scan_hit.h"

namespace trovium {

// What the chunk order needs to know of the job (mode, source, settings).
struct ChunkOrderPlan {
  int32_t mode = 1;              // recovery mode; 2 and 5 read only free space
  uint64_t start_lba = 0;        // scanned volume
  uint64_t sector_count = 0;
  uint64_t device_sectors = 0;   // of the whole device
  bool removable = false;
  uint64_t priority_start = 0;   // the user's priority range
  uint64_t priority_size = 0;
};

// Whole-device scans larger than this get the sparse sweep and the hints.
inline constexpr uint64_t kBigScanRemovableSectors = 0x32000000;  // 400 GiB
inline constexpr uint64_t kBigScanFixedSectors = 0x9600000;       // 75 GiB
inline constexpr uint64_t kSweepMinSectors = 0x800000;            // 4 GiB
inline constexpr uint64_t kSweepStepSectors = 0x200000;           // 1 GiB
// Hints beyond this many waiting entries are dropped: every entry is served
// eventually, so the list only grows when findings are corrupt.
inline constexpr size_t kMaxPriorityChunks = 1u << 20;

struct ChunkOrder {
  ChunkMap map;
  // Chunk LBAs. ScanEnd is the last chunk holding a sector of the range, so an
  // end on a chunk boundary never names the chunk after the range.
  uint64_t ScanCursor = 0;
  uint64_t ScanStart = 0;
  uint64_t ScanEnd = 0;
  bool has_range = false;       // false for an empty range: nothing is read
  int32_t mode = 1;
  int32_t BigWholeDeviceScan = 0;

  std::mutex ChunkOrderLock;    // guards PriorityChunks, ScanCursor, the claims
  std::deque<uint64_t> PriorityChunks;
  std::vector<uint64_t> FreeSpaceChunks;  // the whole plan in modes 2 and 5
};

// The scan's instance.
ChunkOrder& CurrentChunkOrder();

// Scan start, after the map exists: range, big-scan flag and the first
// priority entries. Saved cursor values are replaced.
void SetUpChunkOrder(ChunkOrder& order, const ChunkOrderPlan& plan);

// Modes 2 and 5: the chunk LBAs that hold free clusters, from the volume's
// bitmap or FAT. Sorted, made unique, and becoming the whole plan.
void SetFreeSpaceChunks(ChunkOrder& order, std::vector<uint64_t> chunks);

// True when `plan` qualifies for the sweep and the hints.
bool IsBigWholeDeviceScan(const ChunkOrderPlan& plan);

// The next chunk to read (its byte becomes 1); false when none is left.
bool NextChunk(ChunkOrder& order, uint64_t& lba);

// A finding points at the chunk holding `lba`: read it soon (newest first).
// Ignored unless the scan is a big whole-device scan and lba is in range.
void AddPriorityChunk(ChunkOrder& order, uint64_t lba);

// End of a chunk's examination: its byte becomes 2.
void MarkChunkExamined(ChunkOrder& order, uint64_t chunk_lba);

// Before a save: chunks read but not examined are to be read again.
void ResetUnexaminedChunks(ChunkOrder& order);

// The chunk-map view's copy (managed, released on the next call).
bool CopyChunkMap(const ChunkOrder& order, void*& block, uint64_t& size);

// Hints from an examined chunk's hits (only on big whole-device scans): the
// surroundings of boot sectors and the starts of MFTs. `chunk` is the chunk's
// data, read for the boot-sector fields and the FILE records' numbers.
void HintsFromChunk(ChunkOrder& order, std::span<const ScanHit> hits, ByteView chunk, uint64_t chunk_lba);

// A GPT header was found: `entries` holds the sectors from LBA 2 (128-byte
// partition entries); every nonzero first LBA is hinted.
void HintsFromGptEntries(ChunkOrder& order, ByteView entries);

}  // namespace trovium
