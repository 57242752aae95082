#include "fs/mbr.h"

#include <unordered_set>

namespace trovium {

bool ReadMbrEntries(ByteView s, std::array<MbrEntry, 4>& out) {
  if (s.size() < kSectorBytes || s.u8_or0(510) != 0x55 || s.u8_or0(511) != 0xAA) return false;
  for (size_t i = 0; i < 4; ++i) {
    const size_t at = 0x1BE + 16 * i;
    out[i] = MbrEntry{s.u8_or0(at), s.u8_or0(at + 4), s.le32_or0(at + 8), s.le32_or0(at + 12)};
  }
  return true;
}

bool IsExtendedPartitionType(uint8_t type) { return type == 0x05 || type == 0x0F || type == 0x85; }

bool IsDataPartitionEntry(const MbrEntry& e) {
  // Linux tools write 0x83 (and others) over volumes of our kinds, so any
  // type may hold one: the boot sector decides later.
  return (e.boot == 0 || e.boot == 0x80) && e.type != 0 && e.type != 0xEE && !IsExtendedPartitionType(e.type) &&
         e.start != 0 && e.count >= 0x4000;
}

int32_t FsKindFromPartitionType(uint8_t type, ByteView boot) {
  switch (type) {
    case 0x04: case 0x06: case 0x0E: case 0x14: case 0x16: case 0x1E: return kFsFat16;
    case 0x0B: case 0x0C: case 0x1B: case 0x1C: return kFsFat32;
    case 0x07: return boot.matches(3, "EXFAT", 5) ? kFsExfat : kFsNtfs;
    case 0x17: return kFsNtfs;
    default: return kFsUnknown;
  }
}

namespace {

void AddData(const MbrEntry& e, uint64_t base, std::vector<TablePartition>& out) {
  if (e.type == 0 || e.count == 0 || e.type == 0xEE || IsExtendedPartitionType(e.type)) return;
  out.push_back(TablePartition{base + e.start, e.count, e.type, e.boot == 0x80});
}

// Logical partitions: each record's data entry is relative to the record,
// its link relative to the start of the outermost extended partition.
void ReadExtendedChain(CSectorSource& source, uint64_t ext_base, std::unordered_set<uint64_t>& visited,
                       std::vector<TablePartition>& out) {
  uint64_t lba = ext_base;
  uint8_t sector[kSectorBytes];
  for (uint32_t n = 0; n < kMaxExtendedRecords; ++n) {
    if (!visited.insert(lba).second) return;  // a chain that comes back on itself
    std::array<MbrEntry, 4> entries;
    if (!ReadSectors(1, source, sector, lba) || !ReadMbrEntries(ByteView(sector, sizeof sector), entries)) return;
    uint64_t next = 0;
    for (const MbrEntry& e : entries) {
      if (IsExtendedPartitionType(e.type)) {
        if (next == 0 && e.start != 0) next = ext_base + e.start;
      } else {
        AddData(e, lba, out);
      }
    }
    if (next == 0) return;
    lba = next;
  }
}

}  // namespace

void ReadMbrPartitions(CSectorSource& source, ByteView mbr, std::vector<TablePartition>& out) {
  std::array<MbrEntry, 4> entries;
  if (!ReadMbrEntries(mbr, entries)) return;
  std::unordered_set<uint64_t> visited{0};
  for (const MbrEntry& e : entries) {
    if (IsExtendedPartitionType(e.type)) {
      if (e.start != 0) ReadExtendedChain(source, e.start, visited, out);
    } else {
      AddData(e, 0, out);
    }
  }
}

}  // namespace trovium
