#pragma once
// Geometry of a FAT16 or FAT32 volume, worked out from its boot sector and
// checked against what the volume can hold before anything is read or
// allocated from it.

#include <cstdint>

#include "store/volume_record.h"

namespace trovium {

struct FatGeometry {
  bool fat32 = false;
  uint32_t sectors_per_cluster = 0;
  uint32_t reserved_sectors = 0;
  uint32_t fat_count = 0;
  uint32_t root_entry_count = 0;
  uint64_t fat_sectors = 0;       // F: one FAT
  uint64_t root_dir_sectors = 0;  // R: FAT16 root area, 0 on FAT32
  uint64_t total_sectors = 0;
  uint64_t fat_lba = 0;           // first FAT, absolute
  uint64_t root_lba = 0;          // FAT16 root area, absolute
  uint64_t data_lba = 0;          // D: cluster 2, absolute
  uint64_t cluster_count = 0;     // N: clusters 2 .. N + 1 exist
  uint32_t root_cluster = 0;      // FAT32
};

// Fills geo from the volume's boot-sector copy and start. False when the
// fields cannot describe a volume: no cluster size, no FAT, a FAT or root area
// that does not fit inside the volume, or no room left for a single cluster.
bool ParseFatGeometry(const VolumeRecord& v, FatGeometry& geo);

// Clusters 2 .. N + 1 hold data.
inline bool IsFatDataCluster(const FatGeometry& geo, uint64_t c) { return c >= 2 && c <= geo.cluster_count + 1; }

// Absolute LBA of a data cluster (the caller checks the cluster first).
inline uint64_t FatClusterLba(const FatGeometry& geo, uint64_t c) {
  return geo.data_lba + (c - 2) * geo.sectors_per_cluster;
}

}  // namespace trovium
