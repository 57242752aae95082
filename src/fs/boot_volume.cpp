#include "fs/boot_volume.h"

#include <cstring>
#include <vector>

#include "fs/partitions.h"
#include "scan/structure_detector.h"

namespace trovium {

namespace {

constexpr uint32_t kMftTestRecords = 256;
constexpr uint32_t kMftTestMinMatches = 65;  // more than a quarter
constexpr uint32_t kFat32MinGoodEntries = 97;
constexpr uint32_t kFat16MinGoodEntries = 193;
constexpr uint64_t kFat32BackupOffset = 6;
constexpr uint64_t kExfatBackupOffset = 12;

// An end-of-chain mark is as good as a link to the next cluster: a well-kept
// FAT is full of them.
bool IsGoodFat32Entry(uint32_t value, uint32_t index) {
  const uint32_t v = value & 0x0FFFFFFF;
  return v == 0 || v >= 0x0FFFFFF8 || v == index + 1;
}
bool IsGoodFat16Entry(uint16_t value, uint32_t index) { return value == 0 || value >= 0xFFF8 || value == index + 1; }

bool FatSectorLooksRight(ByteView fat, bool fat32) {
  uint32_t good = 0;
  if (fat32) {
    if ((fat.le32_or0(0) & 0x0FFFFFFF) != 0x0FFFFFF8) return false;
    for (uint32_t i = 2; i < 128; ++i) good += IsGoodFat32Entry(fat.le32_or0(4 * i), i);
    return good >= kFat32MinGoodEntries;
  }
  if (fat.le16_or0(0) != 0xFFF8) return false;
  for (uint32_t i = 2; i < 256; ++i) good += IsGoodFat16Entry(fat.le16_or0(2 * i), i);
  return good >= kFat16MinGoodEntries;
}

// The FAT16 total is in the 16-bit field when it fits there.
uint64_t FatTotalSectors(ByteView boot) {
  const uint16_t small = boot.le16_or0(19);
  return small != 0 ? small : boot.le32_or0(32);
}

void FillVolume(VolumeRecord& out, ByteView boot, uint64_t start, uint64_t count, int32_t kind) {
  out = VolumeRecord{};
  out.role = 2;
  out.fs_kind = kind;
  out.start_lba = start;
  out.sector_count = count;
  boot.bytes(0, out.boot_sector.data(), out.boot_sector.size());
}

}  // namespace

bool PassesMftTest(CSectorSource& source, ByteView boot, uint64_t start) {
  const uint64_t spc = boot.u8_or0(13);
  uint64_t offset = 0;
  if (spc == 0 || __builtin_mul_overflow(boot.le64_or0(48), spc, &offset) || offset > UINT64_MAX - start)
    return false;
  std::vector<uint8_t> mft(kMftTestRecords * 1024);
  if (!ReadSectors(kMftTestRecords * 2, source, mft.data(), start + offset)) return false;
  const ByteView m(mft.data(), mft.size());
  uint32_t matches = 0;
  for (uint32_t k = 0; k < kMftTestRecords; ++k) matches += m.le32_or0(k * 1024 + 44) == k;
  return matches >= kMftTestMinMatches;
}

bool PassesFatTest(CSectorSource& source, ByteView boot, uint64_t start) {
  const bool fat32 = boot.le16_or0(17) == 0;
  const uint64_t first_fat = start + boot.le16_or0(14);
  uint8_t sector[kSectorBytes];
  if (ReadSectors(1, source, sector, first_fat) && FatSectorLooksRight(ByteView(sector, sizeof sector), fat32))
    return true;
  if (boot.u8_or0(16) != 2) return false;
  uint64_t per_fat = boot.le16_or0(22);
  if (per_fat == 0) per_fat = boot.le32_or0(36);
  return ReadSectors(1, source, sector, first_fat + per_fat) &&
         FatSectorLooksRight(ByteView(sector, sizeof sector), fat32);
}

bool PassesExfatTest(CSectorSource& source, ByteView boot, uint64_t start) {
  const uint32_t shift = boot.u8_or0(109);
  const uint32_t root_cluster = boot.le32_or0(96);
  if (shift > 16 || root_cluster < 2) return false;
  uint8_t sector[kSectorBytes];
  const uint64_t root = start + boot.le32_or0(88) + ((root_cluster - 2ull) << shift);
  if (!ReadSectors(1, source, sector, root) || !IsExfatRootDirSector(ByteView(sector, sizeof sector))) return false;
  return ReadSectors(1, source, sector, start + boot.le32_or0(80)) &&
         ByteView(sector, sizeof sector).le32_or0(0) == 0xFFFFFFF8;
}

bool VolumeFromBootSector(CSectorSource& source, ByteView boot, uint64_t lba, VolumeRecord& out) {
  if (boot.size() < kSectorBytes) return false;
  bool made = false;
  if (IsNtfsBootSector(boot)) {
    const uint64_t total = boot.le64_or0(40);
    if (PassesMftTest(source, boot, lba)) {
      FillVolume(out, boot, lba, total, kFsNtfs);
      made = true;
    } else if (total != 0 && lba >= total && PassesMftTest(source, boot, lba - total)) {
      // The backup boot sector lies just past the volume's last sector.
      FillVolume(out, boot, lba - total, total, kFsNtfs);
      made = true;
    }
  }
  if (!made && (IsFat32BootSector(boot) || IsFat16BootSector(boot))) {
    const int32_t kind = boot.le16_or0(17) != 0 ? kFsFat16 : kFsFat32;
    if (PassesFatTest(source, boot, lba)) {
      FillVolume(out, boot, lba, FatTotalSectors(boot), kind);
      made = true;
    } else if (kind == kFsFat32 && lba >= kFat32BackupOffset && PassesFatTest(source, boot, lba - kFat32BackupOffset)) {
      FillVolume(out, boot, lba - kFat32BackupOffset, FatTotalSectors(boot), kind);
      made = true;
    }
  }
  if (!made && IsExfatBootSector(boot)) {
    const uint64_t length = boot.le64_or0(72);
    if (PassesExfatTest(source, boot, lba)) {
      FillVolume(out, boot, lba, length, kFsExfat);
      made = true;
    } else if (lba >= kExfatBackupOffset && PassesExfatTest(source, boot, lba - kExfatBackupOffset)) {
      FillVolume(out, boot, lba - kExfatBackupOffset, length, kFsExfat);
      made = true;
    }
  }
  if (!made) return false;
  SetSerialFromBootSector(out);
  ReadVolumeLabel(source, out);
  return true;
}

uint32_t VolumesFromBootSectors(std::vector<VolumeRecord>& out, std::span<const ScanHit> hits, CSectorSource& source) {
  uint32_t looked_at = 0;
  uint8_t copy[kSectorBytes];
  for (const ScanHit& hit : hits) {
    if (hit.kind != 223 && hit.kind != 226 && hit.kind != 228 && hit.kind != 233) continue;
    ++looked_at;
    if (HasVolumeStart(out, hit.lba)) continue;
    if (hit.payload != 0) {
      std::memcpy(copy, reinterpret_cast<const void*>(static_cast<uintptr_t>(hit.payload)), sizeof copy);
    } else if (!ReadSectors(1, source, copy, hit.lba)) {
      continue;
    }
    VolumeRecord v;
    if (!VolumeFromBootSector(source, ByteView(copy, sizeof copy), hit.lba, v) || HasVolumeStart(out, v.start_lba))
      continue;
    out.push_back(std::move(v));
  }
  return looked_at;
}

}  // namespace trovium
