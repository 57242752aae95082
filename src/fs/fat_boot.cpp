#include "fs/fat_boot.h"

#include "core/byte_view.h"

namespace trovium {

bool ParseFatGeometry(const VolumeRecord& v, FatGeometry& geo) {
  geo = FatGeometry{};
  const ByteView boot(v.boot_sector.data(), v.boot_sector.size());
  const uint8_t spc = boot.u8_or0(13);
  // A power of two up to 128; anything else is no FAT boot sector.
  if (spc == 0 || (spc & (spc - 1)) != 0) return false;
  geo.sectors_per_cluster = spc;
  geo.reserved_sectors = boot.le16_or0(14);
  geo.fat_count = boot.u8_or0(16);
  geo.root_entry_count = boot.le16_or0(17);
  const uint16_t fat16_size = boot.le16_or0(22);
  geo.fat_sectors = fat16_size != 0 ? fat16_size : boot.le32_or0(36);
  // Small volumes keep their size in the 16-bit field.
  geo.total_sectors = boot.le32_or0(32);
  if (geo.total_sectors == 0) geo.total_sectors = boot.le16_or0(19);
  if (geo.total_sectors == 0 && v.sector_count != 0 && v.sector_count < kUnknownSectorCount)
    geo.total_sectors = v.sector_count;
  geo.fat32 = geo.root_entry_count == 0;
  geo.root_dir_sectors = (uint64_t{geo.root_entry_count} * 32 + 511) / 512;
  geo.root_cluster = geo.fat32 ? boot.le32_or0(44) : 0;

  if (geo.fat_count == 0 || geo.fat_sectors == 0 || geo.total_sectors == 0) return false;
  // Every size below is 64-bit: the overhead may exceed the total on a damaged
  // sector, which must end the parse, not wrap into a huge cluster count.
  const uint64_t overhead = uint64_t{geo.reserved_sectors} + uint64_t{geo.fat_count} * geo.fat_sectors +
                            geo.root_dir_sectors;
  if (overhead >= geo.total_sectors) return false;
  geo.fat_lba = v.start_lba + geo.reserved_sectors;
  geo.root_lba = geo.fat_lba + uint64_t{geo.fat_count} * geo.fat_sectors;
  geo.data_lba = v.start_lba + overhead;
  geo.cluster_count = (geo.total_sectors - overhead) / spc;
  if (geo.cluster_count == 0) return false;
  // The FAT must hold an entry for every cluster it claims to map; a longer
  // count cannot be addressed, so the count is cut to what the table covers.
  const uint64_t entries = geo.fat_sectors * 512 / (geo.fat32 ? 4 : 2);
  if (entries < 3) return false;
  if (geo.cluster_count + 2 > entries) geo.cluster_count = entries - 2;
  if (geo.fat32 && geo.cluster_count > 0x0FFFFFF5) geo.cluster_count = 0x0FFFFFF5;
  if (!geo.fat32 && geo.cluster_count > 0xFFF5) geo.cluster_count = 0xFFF5;
  return true;
}

}  // namespace trovium
