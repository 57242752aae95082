#pragma once
// The hit store: the deep scan's findings, one list per chunk in the order
// found, plus the index of file starts that the file-system readers already
// listed. Only the handler thread writes it while a scan runs; later readers
// (post-scan processing, saving) come after the handler loop.

#include <cstdint>
#include <functional>
#include <optional>

#include "core/mem_allocator.h"
#include "content/carve.h"
#include "scan/scan_hit.h"

namespace trovium {

using HitList = MemVector<ScanHit>;
using LbaList = MemVector<uint64_t>;

// Releasers for payloads owned by other components (record summaries, video
// records); unset ones leave the payload alone.
struct HitPayloadReleasers {
  std::function<void(uint64_t)> file_record_summary;  // kind 224
  std::function<void(uint64_t)> video_record;         // 201..208
};

struct HitStore {
  HitList** ChunkHits = nullptr;  // managed table, one list per chunk; null = not examined
  uint64_t chunk_count = 0;
  LbaList** KnownFileStarts = nullptr;  // managed table, one list per chunk, lists made on demand
  uint64_t known_chunk_count = 0;
  HitPayloadReleasers releasers;
};

// The scan's instance.
HitStore& CurrentHitStore();

// Releases the previous hits and makes an empty table for a device of
// `device_sectors`; false (and no table) for 0 or an impossible count.
bool CreateHitStore(HitStore& store, uint64_t device_sectors);
// Every payload by kind, then the lists, then the table; KnownFileStarts too.
void ReleaseHitStore(HitStore& store);

// Stores a new list with the chunk's hits (also when there are none); false
// for a chunk beyond the table. A list already stored there is released.
bool StoreChunkHits(HitStore& store, const ScanHit* hits, size_t count, uint64_t chunk_lba);
// The stored list of chunk `index`, or null.
const HitList* ChunkHitList(const HitStore& store, uint64_t index);

// Appends the hits of all lists, chunks ascending. structuresOnly keeps kinds
// of 220 and above; withinVolume keeps [start_lba, start_lba + sector_count).
void CollectHits(const HitStore& store, HitList& out, bool structuresOnly, bool withinVolume,
                 uint64_t start_lba = 0, uint64_t sector_count = 0);

// Releases the payloads of hits that no list took over.
void ReleaseHitPayloads(const HitStore& store, const ScanHit* hits, size_t count);

// A pending carve finished: updates the first stored hit at its first LBA.
bool UpdateStoredHit(HitStore& store, const CarveState& state);
// The same update on a list not stored yet.
bool UpdateHitList(HitList& list, const CarveState& state);

// Neighbouring hits across chunk lists; the search stops at a chunk without a list.
std::optional<ScanHit> PreviousChunkLastHit(const HitStore& store, uint64_t index);
std::optional<ScanHit> NextChunkFirstHit(const HitStore& store, uint64_t index);

// File starts already listed by the file-system readers.
bool CreateKnownFileStarts(HitStore& store, uint64_t chunk_count);
void ReleaseKnownFileStarts(HitStore& store);
// LBA 0 and LBAs beyond the table are neither stored nor found.
bool AddKnownFileStart(HitStore& store, uint64_t lba);
bool IsKnownFileStart(const HitStore& store, uint64_t lba);

}  // namespace trovium
