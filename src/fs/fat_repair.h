#pragma once
// After a deep scan that ran to its end: deleted FAT32 entries lose the high
// half of their first cluster. The scan's hits say which free clusters hold
// the start of a file of a given type (or of a directory), and neighbouring
// entries say which high half is likely; together they give the cluster back.

#include <cstdint>
#include <span>
#include <vector>

#include "fs/fat_boot.h"
#include "scan/scan_hit.h"
#include "store/volume_record.h"

namespace trovium {

// Most clusters the map covers (N + 2 at most 0x4000000).
inline constexpr uint64_t kMaxFatClusterMapClusters = 0x4000000;

struct FatClusterHit {
  uint32_t cluster = 0;
  uint8_t kind = 0;
};

// Kinds of the hits that start exactly on a cluster of the data area, sorted
// by cluster; of several hits on one cluster the last counts.
struct FatClusterMap {
  std::vector<FatClusterHit> hits;
  uint8_t KindAt(uint64_t cluster) const;
};

FatClusterMap BuildFatClusterMap(const FatGeometry& geo, std::span<const ScanHit> hits);

// Repairs the first cluster (run_info, and data_lba with it) of the deleted
// records from first_index on whose first cluster lies below 0x10000; with
// deleted_dirs_only, of deleted directories alone. Existing entries are never
// touched: their clusters are whole. Uses the FAT copy in v.extra_a.
void RepairFatFirstClusters(VolumeRecord& v, const FatGeometry& geo, const FatClusterMap& map,
                            uint32_t first_index, bool deleted_dirs_only);

}  // namespace trovium
