#include "scan/scan_stats_prep.h"

#include <algorithm>
#include <string>

#include "scan/scan_clock.h"

namespace trovium {
namespace {

bool ChunkAlreadyDone(const ChunkOrder& order, uint64_t chunk_lba) {
  uint64_t index = chunk_lba / kScanChunkSectors;
  return index >= order.map.size() || order.map.Get(index) == kChunkExamined;
}

}  // namespace

void PrepareScanStats(ScanStats& stats, const ChunkOrder& order, const HitStore& store, uint64_t volume_sector_count) {
  stats = ScanStats{};
  if (IsFreeSpaceMode(order.mode)) {
    stats.totalSectors = order.FreeSpaceChunks.size() * kScanChunkSectors;
    for (uint64_t lba : order.FreeSpaceChunks) {
      bool outside = !order.has_range || lba < order.ScanStart || lba > order.ScanEnd;
      if (outside || ChunkAlreadyDone(order, lba)) stats.doneSectors += kScanChunkSectors;
    }
  } else {
    stats.totalSectors = volume_sector_count;
    // The map bounds the walk; positions past it count as done without one
    // step each, so a range far larger than the device cannot spin here.
    if (order.has_range) {
      uint64_t first = order.ScanStart / kScanChunkSectors;
      uint64_t last = order.ScanEnd / kScanChunkSectors;
      for (uint64_t i = first; i <= last && i < order.map.size(); ++i) {
        if (order.map.Get(i) == kChunkExamined) stats.doneSectors += kScanChunkSectors;
      }
      if (last >= order.map.size()) {
        uint64_t beyond = last - std::max(first, order.map.size()) + 1;
        stats.doneSectors += beyond * kScanChunkSectors;
      }
    }
  }
  SetInitialDoneSectors(stats.doneSectors);

  // Hits of a reused scan.
  HitList hits{MemAllocator<ScanHit>(405)};
  CollectHits(store, hits, false, false);
  uint64_t counted = 0;
  for (const ScanHit& hit : hits) {
    ++counted;
    bool inside = order.has_range && hit.lba >= order.ScanStart && hit.lba / kScanChunkSectors <= order.ScanEnd / kScanChunkSectors;
    if (inside) CountScanHit(stats, hit.kind);
    if (counted % 787 == 0) {
      std::string text = "扇区信息: " + std::to_string(counted) + " / " + std::to_string(hits.size());
      PostStatusText("正在处理扇区信息！", text);
    }
  }
}

}  // namespace trovium
