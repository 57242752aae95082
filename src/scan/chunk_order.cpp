#include "scan/chunk_order.h"

#include <algorithm>

namespace trovium {
namespace {

uint64_t SaturatingAdd(uint64_t a, uint64_t b) {
  uint64_t sum = 0;
  return __builtin_add_overflow(a, b, &sum) ? UINT64_MAX : sum;
}

// Adds, under the lock already held, the chunk holding lba at the back.
void AppendPlanned(ChunkOrder& order, uint64_t lba) {
  if (order.PriorityChunks.size() < kMaxPriorityChunks) order.PriorityChunks.push_back(ChunkStartOf(lba));
}

// The last chunk LBA that the map can hold, or the range's end, whichever is lower.
uint64_t LastPlannableChunk(const ChunkOrder& order) {
  if (order.map.empty()) return 0;
  return std::min(order.ScanEnd, (order.map.size() - 1) * kScanChunkSectors);
}

void PlanPriorityRange(ChunkOrder& order, const ChunkOrderPlan& plan) {
  if (plan.priority_size == 0 && plan.priority_start == 0) return;
  uint64_t first = ChunkStartOf(plan.priority_start);
  uint64_t last = plan.priority_size == 0
                      ? first
                      : ChunkStartOf(SaturatingAdd(plan.priority_start, plan.priority_size) - 1);
  // Only what lies in the scan range and the map is listed, so a huge range
  // from the settings cannot make a huge list.
  first = std::max(first, order.ScanStart);
  last = std::min(last, LastPlannableChunk(order));
  for (uint64_t pos = first; pos <= last && !order.map.empty(); pos += kScanChunkSectors) AppendPlanned(order, pos);
}

// A sparse sweep, one chunk per GiB, so the whole device is sampled first.
void PlanSweep(ChunkOrder& order, const ChunkOrderPlan& plan) {
  if (!order.BigWholeDeviceScan || plan.sector_count <= kSweepMinSectors) return;
  uint64_t last = std::min(SaturatingAdd(plan.start_lba, plan.sector_count), LastPlannableChunk(order));
  for (uint64_t pos = plan.start_lba - plan.start_lba % kSweepStepSectors; pos <= last && !order.map.empty();
       pos += kSweepStepSectors) {
    if (pos >= plan.start_lba) AppendPlanned(order, pos);
  }
}

bool InRange(const ChunkOrder& order, uint64_t chunk_lba) {
  return order.has_range && chunk_lba >= order.ScanStart && chunk_lba <= order.ScanEnd;
}

// Record number of a FILE record at `at` in the chunk; false for records
// whose header has no room for it (before the 3.1 layout).
bool FileRecordNumber(ByteView chunk, size_t at, uint32_t& number) {
  uint16_t usa_offset = 0;
  if (!chunk.le16(at + 4, usa_offset) || usa_offset < 0x30) return false;
  return chunk.le32(at + 44, number);
}

}  // namespace

ChunkOrder& CurrentChunkOrder() {
  static ChunkOrder order;
  return order;
}

bool IsBigWholeDeviceScan(const ChunkOrderPlan& plan) {
  uint64_t threshold = plan.removable ? kBigScanRemovableSectors : kBigScanFixedSectors;
  return plan.start_lba == 0 && plan.sector_count == plan.device_sectors && plan.sector_count > threshold;
}

void SetUpChunkOrder(ChunkOrder& order, const ChunkOrderPlan& plan) {
  std::lock_guard<std::mutex> lock(order.ChunkOrderLock);
  order.mode = plan.mode;
  order.has_range = plan.sector_count != 0;
  order.ScanStart = ChunkStartOf(plan.start_lba);
  order.ScanEnd = order.has_range ? ChunkStartOf(SaturatingAdd(plan.start_lba, plan.sector_count) - 1) : order.ScanStart;
  order.ScanCursor = order.ScanStart;
  order.BigWholeDeviceScan = IsBigWholeDeviceScan(plan) ? 1 : 0;
  order.PriorityChunks.clear();
  order.FreeSpaceChunks.clear();
  if (IsFreeSpaceMode(plan.mode) || !order.has_range) return;
  PlanPriorityRange(order, plan);
  PlanSweep(order, plan);
}

void SetFreeSpaceChunks(ChunkOrder& order, std::vector<uint64_t> chunks) {
  for (uint64_t& lba : chunks) lba = ChunkStartOf(lba);
  std::sort(chunks.begin(), chunks.end());
  chunks.erase(std::unique(chunks.begin(), chunks.end()), chunks.end());
  std::lock_guard<std::mutex> lock(order.ChunkOrderLock);
  order.PriorityChunks.assign(chunks.begin(), chunks.end());
  order.FreeSpaceChunks = std::move(chunks);
}

bool NextChunk(ChunkOrder& order, uint64_t& lba) {
  std::lock_guard<std::mutex> lock(order.ChunkOrderLock);
  while (!order.PriorityChunks.empty()) {
    uint64_t candidate = order.PriorityChunks.front();
    order.PriorityChunks.pop_front();
    if (!InRange(order, candidate)) continue;
    if (order.map.Claim(candidate / kScanChunkSectors)) {
      lba = candidate;
      return true;
    }
  }
  if (IsFreeSpaceMode(order.mode) || !order.has_range) return false;
  uint64_t pos = order.ScanCursor;
  // The map bound also keeps pos far from wrapping.
  while (pos <= order.ScanEnd && pos / kScanChunkSectors < order.map.size()) {
    if (order.map.Claim(pos / kScanChunkSectors)) {
      order.ScanCursor = pos + kScanChunkSectors;
      lba = pos;
      return true;
    }
    pos += kScanChunkSectors;
  }
  order.ScanCursor = pos;
  return false;
}

void AddPriorityChunk(ChunkOrder& order, uint64_t lba) {
  std::lock_guard<std::mutex> lock(order.ChunkOrderLock);
  uint64_t chunk = ChunkStartOf(lba);
  if (!order.BigWholeDeviceScan || !InRange(order, chunk)) return;
  if (order.PriorityChunks.size() >= kMaxPriorityChunks) return;
  order.PriorityChunks.push_front(chunk);
}

void MarkChunkExamined(ChunkOrder& order, uint64_t chunk_lba) {
  order.map.MarkExamined(chunk_lba / kScanChunkSectors);
}

void ResetUnexaminedChunks(ChunkOrder& order) { order.map.ResetUnexamined(); }

bool CopyChunkMap(const ChunkOrder& order, void*& block, uint64_t& size) { return order.map.Copy(block, size); }

void HintsFromChunk(ChunkOrder& order, std::span<const ScanHit> hits, ByteView chunk, uint64_t chunk_lba) {
  {
    std::lock_guard<std::mutex> lock(order.ChunkOrderLock);
    if (!order.BigWholeDeviceScan) return;
  }
  auto sector_of = [&](uint64_t lba) -> ByteView {
    if (lba < chunk_lba || lba - chunk_lba >= chunk.size() / 512) return ByteView();
    return chunk.sub(static_cast<size_t>(lba - chunk_lba) * 512, 512);
  };
  auto hint_after = [&](uint64_t lba, uint64_t n) {
    uint64_t at = 0;
    if (__builtin_add_overflow(lba, n, &at)) return;
    AddPriorityChunk(order, at);  // a backup boot sector
    if (at <= UINT64_MAX - kScanChunkSectors) AddPriorityChunk(order, at + kScanChunkSectors);  // the next volume
  };
  uint32_t file_records = 0;
  for (const ScanHit& hit : hits) {
    if (hit.kind == 224) ++file_records;
    if (hit.kind != 223 && hit.kind != 226 && hit.kind != 228) continue;
    if (hit.lba > kScanChunkSectors) AddPriorityChunk(order, hit.lba - kScanChunkSectors);
    ByteView sector = sector_of(hit.lba);
    if (sector.empty()) continue;
    if (hit.kind == 223) {
      uint64_t n = sector.le64_or0(40);
      hint_after(hit.lba, n);
      if (hit.lba > n) {
        // This may be the backup boot sector of the volume that ends here.
        AddPriorityChunk(order, hit.lba - n);
        if (hit.lba - n >= kScanChunkSectors) AddPriorityChunk(order, hit.lba - n - kScanChunkSectors);
      }
    } else {
      hint_after(hit.lba, sector.le32_or0(32));
    }
  }
  if (file_records <= 3) return;
  // Runs of at least four FILE records two sectors apart: the MFT they belong
  // to starts two sectors per record number before the run.
  const ScanHit* run_first = nullptr;
  uint64_t prev_lba = 0;
  uint32_t run_length = 0;
  auto close_run = [&]() {
    if (run_first == nullptr || run_length < 4) return;
    uint32_t number = 0;
    ByteView sector = sector_of(run_first->lba);
    if (sector.empty() || !FileRecordNumber(chunk, static_cast<size_t>(run_first->lba - chunk_lba) * 512, number)) return;
    uint64_t back = 2ull * number;
    if (run_first->lba > back) AddPriorityChunk(order, run_first->lba - back);
  };
  for (const ScanHit& hit : hits) {
    if (hit.kind != 224) continue;
    if (run_first != nullptr && hit.lba == prev_lba + 2) {
      ++run_length;
    } else {
      close_run();
      run_first = &hit;
      run_length = 1;
    }
    prev_lba = hit.lba;
  }
  close_run();
}

void HintsFromGptEntries(ChunkOrder& order, ByteView entries) {
  for (size_t at = 0; entries.has(at, 128); at += 128) {
    uint64_t first = entries.le64_or0(at + 32);
    if (first != 0) AddPriorityChunk(order, first);
  }
}

}  // namespace trovium
