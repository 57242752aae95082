#include "fs/ntfs_known_extents.h"

#include <algorithm>
#include <mutex>

#include "scan/chunk_map.h"

namespace trovium {

namespace {

constexpr uint8_t kFileRecordHit = 224;

struct KnownExtents {
  std::mutex lock;
  std::vector<DataExtent> mft;
  std::vector<DataExtent> index;
};

KnownExtents& Known() {
  static KnownExtents known;
  return known;
}

}  // namespace

void ClearNtfsKnownExtents() {
  KnownExtents& k = Known();
  std::lock_guard<std::mutex> hold(k.lock);
  k.mft.clear();
  k.index.clear();
}

std::vector<DataExtent> RecordNtfsMftExtents(const std::vector<DataExtent>& extents) {
  KnownExtents& k = Known();
  std::lock_guard<std::mutex> hold(k.lock);
  for (const DataExtent& e : extents)
    if (std::find(k.mft.begin(), k.mft.end(), e) != k.mft.end()) return {};
  k.mft.insert(k.mft.end(), extents.begin(), extents.end());
  return extents;
}

void AddNtfsIndexExtents(const std::vector<DataExtent>& extents) {
  if (extents.empty()) return;
  KnownExtents& k = Known();
  std::lock_guard<std::mutex> hold(k.lock);
  k.index.insert(k.index.end(), extents.begin(), extents.end());
}

std::vector<DataExtent> NtfsKnownMftExtents() {
  KnownExtents& k = Known();
  std::lock_guard<std::mutex> hold(k.lock);
  return k.mft;
}

std::vector<DataExtent> NtfsKnownIndexExtents() {
  KnownExtents& k = Known();
  std::lock_guard<std::mutex> hold(k.lock);
  return k.index;
}

bool IsInKnownNtfsMft(uint64_t lba, uint64_t& extent_start, uint64_t& extent_sectors) {
  KnownExtents& k = Known();
  std::lock_guard<std::mutex> hold(k.lock);
  for (const DataExtent& e : k.mft) {
    if (lba >= e.start_lba && lba - e.start_lba < e.sector_count) {
      extent_start = e.start_lba;
      extent_sectors = e.sector_count;
      return true;
    }
  }
  return false;
}

uint64_t DropFileRecordHits(HitStore& store, const DataExtent& extent) {
  if (store.ChunkHits == nullptr || extent.sector_count == 0) return 0;
  const uint64_t end = extent.start_lba + extent.sector_count;
  const uint64_t first = extent.start_lba / kScanChunkSectors;
  const uint64_t last = std::min((end - 1) / kScanChunkSectors, store.chunk_count ? store.chunk_count - 1 : 0);
  uint64_t dropped = 0;
  for (uint64_t c = first; c <= last && c < store.chunk_count; ++c) {
    HitList* list = store.ChunkHits[c];
    if (!list) continue;
    auto inside = [&](const ScanHit& h) {
      return h.kind == kFileRecordHit && h.lba >= extent.start_lba && h.lba < end;
    };
    for (ScanHit& h : *list) {
      if (!inside(h)) continue;
      if (h.payload && store.releasers.file_record_summary) store.releasers.file_record_summary(h.payload);
      h.payload = 0;
      ++dropped;
    }
    list->erase(std::remove_if(list->begin(), list->end(), inside), list->end());
  }
  return dropped;
}

}  // namespace trovium
