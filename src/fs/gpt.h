#pragma once
// GUID partition tables: the header at LBA 1 (or its backup at the last
// sector) and its entry array.

#include <cstdint>
#include <vector>

#include "core/byte_view.h"
#include "fs/partitions.h"

namespace trovium {

inline constexpr uint32_t kMaxGptEntries = 1024;

// An MBR with an entry of type 0xEE guards a GPT.
bool IsProtectiveMbr(ByteView mbr);

// The used entries of the GPT; false when no valid header is found.
bool ReadGptPartitions(CSectorSource& source, std::vector<TablePartition>& out);

// The used entries of one header and its entry array (both already read);
// entries whose range is empty or reversed are skipped.
bool ParseGptEntries(ByteView header, ByteView entries, std::vector<TablePartition>& out);

}  // namespace trovium
