#pragma once
// Geometry of an exFAT volume from its boot sector, checked against what the
// volume can hold before anything is read or allocated from it.

#include <cstdint>

#include "store/volume_record.h"

namespace trovium {

struct ExfatGeometry {
  uint64_t fat_lba = 0;          // absolute
  uint64_t fat_sectors = 0;
  uint64_t heap_lba = 0;         // absolute LBA of cluster 2
  uint64_t cluster_count = 0;    // clusters 2 .. count + 1 exist
  uint32_t root_cluster = 0;
  uint32_t sectors_per_cluster = 0;
  uint64_t cluster_bytes() const { return uint64_t{sectors_per_cluster} * 512; }
};

// Largest cluster the format allows: 32 MiB (shift 16 with 512-byte sectors).
inline constexpr uint32_t kMaxExfatClusterShift = 16;

// False when the fields cannot describe a volume: a cluster shift beyond the
// format's limit, an empty FAT or heap, or areas that overlap or run past
// the volume length.
bool ParseExfatGeometry(const VolumeRecord& v, ExfatGeometry& geo);

inline bool IsExfatCluster(const ExfatGeometry& geo, uint64_t c) { return c >= 2 && c <= geo.cluster_count + 1; }
inline uint64_t ExfatClusterLba(const ExfatGeometry& geo, uint64_t c) {
  return geo.heap_lba + (c - 2) * geo.sectors_per_cluster;
}

}  // namespace trovium
