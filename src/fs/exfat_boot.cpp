#include "fs/exfat_boot.h"

#include "core/byte_view.h"

namespace trovium {

bool ParseExfatGeometry(const VolumeRecord& v, ExfatGeometry& geo) {
  geo = ExfatGeometry{};
  const ByteView boot(v.boot_sector.data(), v.boot_sector.size());
  const uint64_t volume_length = boot.le64_or0(72);
  const uint64_t fat_offset = boot.le32_or0(80);
  const uint64_t fat_length = boot.le32_or0(84);
  const uint64_t heap_offset = boot.le32_or0(88);
  uint64_t cluster_count = boot.le32_or0(92);
  const uint32_t root_cluster = boot.le32_or0(96);
  const uint8_t shift = boot.u8_or0(109);
  if (shift > kMaxExfatClusterShift || fat_offset == 0 || fat_length == 0 || cluster_count == 0) return false;
  // All in 64 bits: the areas must follow each other inside the volume.
  if (fat_offset + fat_length > heap_offset || heap_offset >= volume_length) return false;
  const uint64_t spc = uint64_t{1} << shift;
  if (cluster_count > (volume_length - heap_offset) / spc) return false;
  // The FAT must map every cluster it claims.
  if ((cluster_count + 2) * 4 > fat_length * 512) return false;
  geo.fat_lba = v.start_lba + fat_offset;
  geo.fat_sectors = fat_length;
  geo.heap_lba = v.start_lba + heap_offset;
  geo.cluster_count = cluster_count;
  geo.root_cluster = root_cluster;
  geo.sectors_per_cluster = static_cast<uint32_t>(spc);
  return IsExfatCluster(geo, root_cluster);
}

}  // namespace trovium
