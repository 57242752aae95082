#pragma once
// Examination of one chunk by the deep scan's handler thread: every sector is
// asked first whether a file starts there, otherwise whether it holds a
// file-system structure; findings become the chunk's hit list, the statistics
// are counted, and the chunk is marked examined.

#include <cstdint>
#include <functional>
#include <span>

#include "core/byte_view.h"
#include "scan/chunk_order.h"
#include "scan/hit_store.h"
#include "scan/pending_carves.h"
#include "scan/progress.h"

namespace trovium {

inline constexpr uint64_t kScanChunkBytes = kScanChunkSectors * 512;

// Steps that belong to other components (the NTFS and rebuilt-volume code, the
// device reader, the found-file store). An unset step is skipped; findings
// that would need it are kept without a payload.
struct ChunkExamSteps {
  // 224: the record's summary for the payload; false drops the hit.
  std::function<bool(ByteView sector, uint64_t lba, uint64_t& payload)> file_record_summary;
  // 225: record number of the directory owning the index block; false drops the hit.
  std::function<bool(ByteView sector, uint64_t lba, uint32_t& owner)> index_block_summary;
  // 224: true when the record belongs to an MFT already known; sets its extent.
  std::function<bool(uint64_t lba, uint64_t& extent_start, uint64_t& extent_sectors)> in_known_mft;
  // GPT header: the 2048 bytes of partition entries at LBA 2 of the device.
  std::function<bool(uint8_t* dest)> read_gpt_entries;
  // Shown while scanning: volumes and carved files at once.
  std::function<void(const ScanHit& boot)> volume_from_boot_sector;
  std::function<void(std::span<const ScanHit> hits, uint64_t chunk_lba, uint32_t file_records)>
      volumes_from_file_records;
  std::function<void(std::span<const ScanHit> hits, uint64_t chunk_lba)> publish_carved_files;
  // A pending carve finished, before its stored hit is updated (the video
  // fragment mode adds sized photos to the store at once).
  std::function<void(const CarveState& state)> pending_carve_finished;
};

// The handler's state for one scan.
struct ChunkExamination {
  ChunkOrder* order = nullptr;
  HitStore* store = nullptr;
  ScanStats* stats = nullptr;
  bool show_while_scanning = false;
  ChunkExamSteps steps;
  // Set when the chunk may still be filling while it is examined (the scan
  // reads a chunk in pieces and the handler trails the reader, so the bytes
  // are looked at while still in cache). Called with a sector count n, it
  // returns once at least n sectors from the chunk's start are final, and
  // answers how many are.
  std::function<uint64_t(uint64_t sectors)> await_sectors;
  HitList scratch{MemAllocator<ScanHit>(404)};  // the chunk in progress, reused
  PendingCarves pending;  // carves waiting for later chunks; lives as long as the scan
};

// Examines the whole sectors of `chunk` (at most one chunk's worth) at
// chunk_lba; false when the examination is not set up or the chunk is empty.
bool ProcessChunk(ChunkExamination& exam, ByteView chunk, uint64_t chunk_lba);

}  // namespace trovium
