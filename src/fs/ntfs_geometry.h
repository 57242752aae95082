#pragma once
// Where an NTFS volume keeps things, taken from its boot sector copy. All
// positions are 512-byte sectors, absolute on the opened device.

#include <cstdint>

#include "store/volume_record.h"

namespace trovium {

inline constexpr uint32_t kNtfsRecordBytes = 1024;
inline constexpr uint32_t kNtfsRecordSectors = 2;

struct NtfsGeometry {
  uint64_t start_lba = 0;
  uint64_t sector_count = 0;    // sectors the volume may span; never 0
  uint32_t cluster_sectors = 0; // 512-byte sectors per cluster
  uint64_t mft_cluster = 0;
  uint64_t mirror_cluster = 0;

  uint64_t total_clusters() const { return sector_count / cluster_sectors; }
  uint64_t end_lba() const { return start_lba + sector_count; }  // exclusive
  uint64_t mft_lba() const { return start_lba + mft_cluster * cluster_sectors; }
  uint64_t mirror_lba() const { return start_lba + mirror_cluster * cluster_sectors; }
};

// Reads the geometry from volume.boot_sector. The cluster size counts in
// 512-byte sectors also on volumes with larger logical sectors. The volume's
// extent is its sector_count, or the boot sector's total when that is unknown;
// false when the boot sector cannot describe a volume of 1024-byte records or
// a position would not fit in 64 bits.
bool NtfsGeometryFromVolume(const VolumeRecord& volume, NtfsGeometry& geo);

}  // namespace trovium
