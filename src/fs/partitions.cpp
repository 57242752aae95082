#include "fs/partitions.h"

#include <algorithm>
#include <cstring>

#include "fs/gpt.h"
#include "fs/mbr.h"
#include "scan/structure_detector.h"

namespace trovium {

namespace {

// Where a copy of the boot sector may survive inside a partition whose first
// sector is damaged: FAT32 at +6, the exFAT backup region at +12, NTFS in the
// partition's last sector.
bool ReadBootOrBackup(CSectorSource& source, const TablePartition& p, uint8_t (&boot)[kSectorBytes],
                      int32_t& recognised) {
  if (ReadSectors(1, source, boot, p.start_lba)) {
    recognised = FsKindOfBootSector(ByteView(boot, sizeof boot));
    if (recognised != kFsUnknown) return true;
  }
  const uint64_t backups[] = {6, 12, p.sector_count > 0 ? p.sector_count - 1 : 0};
  const int32_t kinds[] = {kFsFat32, kFsExfat, kFsNtfs};
  for (size_t i = 0; i < 3; ++i) {
    if (backups[i] == 0 || backups[i] >= p.sector_count) continue;
    if (!ReadSectors(1, source, boot, p.start_lba + backups[i])) continue;
    if (FsKindOfBootSector(ByteView(boot, sizeof boot)) == kinds[i]) {
      recognised = kinds[i];
      return true;
    }
  }
  return false;
}

}  // namespace

int32_t FsKindOfBootSector(ByteView boot) {
  if (IsNtfsBootSector(boot)) return kFsNtfs;
  if (IsFat32BootSector(boot)) return kFsFat32;
  if (IsFat16BootSector(boot)) return kFsFat16;
  if (IsExfatBootSector(boot)) return kFsExfat;
  return kFsUnknown;
}

bool HasVolumeStart(const std::vector<VolumeRecord>& volumes, uint64_t lba) {
  return std::any_of(volumes.begin(), volumes.end(), [lba](const VolumeRecord& v) { return v.start_lba == lba; });
}

bool VolumeFromTablePartition(CSectorSource& source, const TablePartition& p, VolumeRecord& out) {
  uint8_t boot[kSectorBytes];
  int32_t recognised = kFsUnknown;
  if (!ReadBootOrBackup(source, p, boot, recognised)) return false;
  const ByteView b(boot, sizeof boot);
  // The type is only a hint: partitioning tools write all sorts of types
  // over our file systems, and the boot sector is what the readers follow.
  int32_t kind = FsKindFromPartitionType(p.type, b);
  if (kind == kFsUnknown || kind != recognised) kind = recognised;
  out = VolumeRecord{};
  out.active = p.active ? 1 : 0;
  out.role = 2;
  out.fs_kind = kind;
  out.start_lba = p.start_lba;
  out.sector_count = p.sector_count;
  std::memcpy(out.boot_sector.data(), boot, sizeof boot);
  SetSerialFromBootSector(out);
  ReadVolumeLabel(source, out);
  return true;
}

uint32_t PartitionsFromTableSectors(std::vector<VolumeRecord>& out, std::span<const ScanHit> hits, CSectorSource& source) {
  uint32_t looked_at = 0;
  uint8_t copy[kSectorBytes];
  for (const ScanHit& hit : hits) {
    if (hit.kind != 222) continue;
    ++looked_at;
    if (hit.payload != 0) {
      std::memcpy(copy, reinterpret_cast<const void*>(static_cast<uintptr_t>(hit.payload)), sizeof copy);
    } else if (!ReadSectors(1, source, copy, hit.lba)) {
      continue;
    }
    std::array<MbrEntry, 4> entries;
    if (!ReadMbrEntries(ByteView(copy, sizeof copy), entries)) continue;
    for (const MbrEntry& e : entries) {
      if (!IsDataPartitionEntry(e)) continue;
      // 64-bit: a table beyond 2 TiB describes partitions beyond 2 TiB.
      const TablePartition p{hit.lba + e.start, e.count, e.type, e.boot == 0x80};
      if (HasVolumeStart(out, p.start_lba)) continue;
      VolumeRecord v;
      if (VolumeFromTablePartition(source, p, v)) out.push_back(std::move(v));
    }
  }
  return looked_at;
}

bool ReadPartitionTable(CSectorSource& source, std::vector<TablePartition>& out) {
  uint8_t mbr[kSectorBytes];
  if (!ReadSectors(1, source, mbr, 0)) return false;
  const ByteView m(mbr, sizeof mbr);
  std::array<MbrEntry, 4> entries;
  if (!ReadMbrEntries(m, entries)) return false;
  if (IsProtectiveMbr(m) && ReadGptPartitions(source, out)) return true;
  ReadMbrPartitions(source, m, out);
  return !out.empty();
}

}  // namespace trovium
