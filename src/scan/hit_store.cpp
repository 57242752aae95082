#include "scan/hit_store.h"

#include <new>

#include "scan/chunk_map.h"

namespace trovium {
namespace {

constexpr uint16_t kTagHitTable = 403;
constexpr uint16_t kTagHitList = 404;
constexpr uint16_t kTagKnownTable = 52;
constexpr uint16_t kTagKnownList = 75;

template <class List>
List** MakeTable(uint64_t count, uint16_t tag) {
  if (count == 0 || count > kMaxScanChunks) return nullptr;
  return static_cast<List**>(MemTryAlloc(count * sizeof(List*), tag));
}

template <class List>
List* MakeList(uint16_t tag) {
  return new (MemAlloc(sizeof(List), tag)) List(MemAllocator<typename List::value_type>(tag));
}

template <class List>
void DropList(List* list) {
  if (list == nullptr) return;
  list->~List();
  MemFree(list);
}

void ReleasePayload(const HitStore& store, const ScanHit& hit) {
  if (hit.payload == 0) return;
  if (HitKeepsSectorCopy(hit.kind)) {
    MemFree(reinterpret_cast<void*>(hit.payload));
  } else if (hit.kind == 224) {
    if (store.releasers.file_record_summary) store.releasers.file_record_summary(hit.payload);
  } else if (hit.kind == 201 || hit.kind == 202 || hit.kind == 207 || hit.kind == 208 ||
             (hit.kind >= 203 && hit.kind <= 206 && hit.sub == kCarveSized)) {
    if (store.releasers.video_record) store.releasers.video_record(hit.payload);
  }
}

void ReleaseList(const HitStore& store, HitList* list) {
  if (list == nullptr) return;
  for (const ScanHit& hit : *list) ReleasePayload(store, hit);
  DropList(list);
}

}  // namespace

HitStore& CurrentHitStore() {
  static HitStore store;
  return store;
}

bool CreateHitStore(HitStore& store, uint64_t device_sectors) {
  ReleaseHitStore(store);
  uint64_t count = ChunkCountFor(device_sectors);
  store.ChunkHits = MakeTable<HitList>(count, kTagHitTable);
  if (store.ChunkHits == nullptr) return false;
  store.chunk_count = count;
  return true;
}

void ReleaseHitStore(HitStore& store) {
  for (uint64_t i = 0; i < store.chunk_count; ++i) ReleaseList(store, store.ChunkHits[i]);
  MemFree(store.ChunkHits);
  store.ChunkHits = nullptr;
  store.chunk_count = 0;
  ReleaseKnownFileStarts(store);
}

bool StoreChunkHits(HitStore& store, const ScanHit* hits, size_t count, uint64_t chunk_lba) {
  uint64_t index = chunk_lba / kScanChunkSectors;
  if (index >= store.chunk_count) return false;
  HitList* list = MakeList<HitList>(kTagHitList);
  if (count != 0) list->assign(hits, hits + count);
  ReleaseList(store, store.ChunkHits[index]);
  store.ChunkHits[index] = list;
  return true;
}

const HitList* ChunkHitList(const HitStore& store, uint64_t index) {
  return index < store.chunk_count ? store.ChunkHits[index] : nullptr;
}

void CollectHits(const HitStore& store, HitList& out, bool structuresOnly, bool withinVolume, uint64_t start_lba,
                 uint64_t sector_count) {
  for (uint64_t i = 0; i < store.chunk_count; ++i) {
    const HitList* list = store.ChunkHits[i];
    if (list == nullptr) continue;
    for (const ScanHit& hit : *list) {
      if (structuresOnly && hit.kind < 220) continue;
      if (withinVolume && (hit.lba < start_lba || hit.lba - start_lba >= sector_count)) continue;
      out.push_back(hit);
    }
  }
}

void ReleaseHitPayloads(const HitStore& store, const ScanHit* hits, size_t count) {
  for (size_t i = 0; i < count; ++i) ReleasePayload(store, hits[i]);
}

bool UpdateHitList(HitList& list, const CarveState& state) {
  for (ScanHit& hit : list) {
    if (hit.lba != state.first_lba) continue;
    if (hit.kind >= 200 && hit.kind <= 209 && hit.kind != state.code) continue;
    hit.sub = static_cast<uint8_t>(state.status & 0xFF);
    if (state.code == 201 || state.code == 203) {
      hit.payload = state.record;
    } else {
      hit.kind = static_cast<uint8_t>(state.code);
      hit.payload = state.size;
    }
    return true;
  }
  return false;
}

bool UpdateStoredHit(HitStore& store, const CarveState& state) {
  HitList* list = store.ChunkHits == nullptr || state.first_lba / kScanChunkSectors >= store.chunk_count
                      ? nullptr
                      : store.ChunkHits[state.first_lba / kScanChunkSectors];
  return list != nullptr && UpdateHitList(*list, state);
}

std::optional<ScanHit> PreviousChunkLastHit(const HitStore& store, uint64_t index) {
  if (index >= store.chunk_count) return std::nullopt;
  for (uint64_t i = index + 1; i-- > 0;) {
    const HitList* list = store.ChunkHits[i];
    if (list == nullptr) return std::nullopt;
    if (!list->empty()) return list->back();
  }
  return std::nullopt;
}

std::optional<ScanHit> NextChunkFirstHit(const HitStore& store, uint64_t index) {
  for (uint64_t i = index; i < store.chunk_count; ++i) {
    const HitList* list = store.ChunkHits[i];
    if (list == nullptr) return std::nullopt;
    if (!list->empty()) return list->front();
  }
  return std::nullopt;
}

bool CreateKnownFileStarts(HitStore& store, uint64_t chunk_count) {
  ReleaseKnownFileStarts(store);
  store.KnownFileStarts = MakeTable<LbaList>(chunk_count, kTagKnownTable);
  if (store.KnownFileStarts == nullptr) return false;
  store.known_chunk_count = chunk_count;
  return true;
}

void ReleaseKnownFileStarts(HitStore& store) {
  for (uint64_t i = 0; i < store.known_chunk_count; ++i) DropList(store.KnownFileStarts[i]);
  MemFree(store.KnownFileStarts);
  store.KnownFileStarts = nullptr;
  store.known_chunk_count = 0;
}

bool AddKnownFileStart(HitStore& store, uint64_t lba) {
  uint64_t index = lba / kScanChunkSectors;
  if (lba == 0 || index >= store.known_chunk_count) return false;
  LbaList*& list = store.KnownFileStarts[index];
  if (list == nullptr) list = MakeList<LbaList>(kTagKnownList);
  // Grow to 8 first, then by half.
  if (list->size() == list->capacity()) list->reserve(list->capacity() < 8 ? 8 : list->capacity() * 15 / 10);
  list->push_back(lba);
  return true;
}

bool IsKnownFileStart(const HitStore& store, uint64_t lba) {
  uint64_t index = lba / kScanChunkSectors;
  if (lba == 0 || index >= store.known_chunk_count || store.KnownFileStarts[index] == nullptr) return false;
  for (uint64_t known : *store.KnownFileStarts[index]) {
    if (known == lba) return true;
  }
  return false;
}

}  // namespace trovium
