#pragma once
// MBR and extended-boot-record tables: the four 16-byte entries at 0x1BE and
// the chain of extended boot records behind an extended partition.

#include <array>
#include <cstdint>
#include <vector>

#include "core/byte_view.h"
#include "fs/partitions.h"

namespace trovium {

struct MbrEntry {
  uint8_t boot = 0;
  uint8_t type = 0;
  uint32_t start = 0;  // relative to the sector that holds the table (or the extended base)
  uint32_t count = 0;
};

inline constexpr uint32_t kMaxExtendedRecords = 128;  // longer chains are taken as damaged

// The four entries; false without the 0x55 0xAA signature.
bool ReadMbrEntries(ByteView sector, std::array<MbrEntry, 4>& out);

bool IsExtendedPartitionType(uint8_t type);

// An entry that may describe a data partition: boot indicator 0 or 0x80, a
// nonzero non-container type, a nonzero start and at least 0x4000 sectors.
bool IsDataPartitionEntry(const MbrEntry& e);

// FsKind the partition type names (0x07 decided by the "EXFAT" signature); 0 for others.
int32_t FsKindFromPartitionType(uint8_t type, ByteView boot);

// Primary entries of the MBR at LBA 0 and the logical partitions of every
// extended partition, in table order. Each extended record is read once (a
// chain that loops ends there) and at most kMaxExtendedRecords per container.
void ReadMbrPartitions(CSectorSource& source, ByteView mbr, std::vector<TablePartition>& out);

}  // namespace trovium
