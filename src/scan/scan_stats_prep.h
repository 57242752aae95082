#pragma once
// The deep scan's statistics at the start of the handler: what the scan will
// examine, what an earlier (reused) scan already did, and the hits it found.

#include <cstdint>

#include "scan/chunk_order.h"
#include "scan/hit_store.h"
#include "scan/progress.h"

namespace trovium {

// volume_sector_count: the scanned volume's size. Posts a status text every
// 787 hits counted. Also sets the scan clock's initial done sectors.
void PrepareScanStats(ScanStats& stats, const ChunkOrder& order, const HitStore& store, uint64_t volume_sector_count);

}  // namespace trovium
