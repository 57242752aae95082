#include "fs/ntfs_geometry.h"

#include "core/byte_view.h"

namespace trovium {

namespace {
// Positions beyond this many sectors (2^48 sectors = 128 PiB) are not on any device.
constexpr uint64_t kMaxSectors = 1ull << 48;
}  // namespace

bool NtfsGeometryFromVolume(const VolumeRecord& volume, NtfsGeometry& geo) {
  const ByteView boot(volume.boot_sector.data(), volume.boot_sector.size());
  const uint16_t bytes_per_sector = boot.le16_or0(11);
  if (bytes_per_sector != 512 && bytes_per_sector != 1024 && bytes_per_sector != 2048 && bytes_per_sector != 4096)
    return false;
  const uint32_t unit = bytes_per_sector / 512u;
  const uint8_t spc_byte = boot.u8_or0(13);
  uint32_t spc = 0;
  if (spc_byte >= 1 && spc_byte <= 128 && (spc_byte & (spc_byte - 1)) == 0) {
    spc = spc_byte;
  } else if (spc_byte >= 0xF4) {
    spc = 1u << (256 - spc_byte);  // large clusters store a negative power of two
  } else {
    return false;
  }
  // Only 1024-byte file records are read.
  const uint8_t per_record = boot.u8_or0(64);
  const bool record_1k = per_record == 0xF6 || (per_record < 0x80 && uint64_t{per_record} * spc * bytes_per_sector == 1024);
  if (!record_1k) return false;

  NtfsGeometry g;
  g.start_lba = volume.start_lba;
  g.cluster_sectors = spc * unit;
  g.mft_cluster = boot.le64_or0(48);
  g.mirror_cluster = boot.le64_or0(56);
  const uint64_t boot_total = boot.le64_or0(40);
  uint64_t sectors = volume.sector_count;
  if (sectors == 0 || sectors >= kUnknownSectorCount) {
    sectors = boot_total < kMaxSectors / unit ? boot_total * unit + unit : kMaxSectors;
  }
  if (sectors == 0 || sectors > kMaxSectors || g.start_lba > kMaxSectors) return false;
  g.sector_count = sectors;
  if (g.mft_cluster >= kMaxSectors / g.cluster_sectors || g.mirror_cluster >= kMaxSectors / g.cluster_sectors)
    return false;
  geo = g;
  return true;
}

}  // namespace trovium
