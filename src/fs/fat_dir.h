#pragma once
// FAT directory entries: short names, long-name runs (existing ones checked
// against their short entry's checksum, deleted ones taken as they stand),
// and the records made from them.

#include <cstdint>
#include <functional>
#include <string>

#include "core/byte_view.h"
#include "core/time_text.h"
#include "store/file_record.h"

namespace trovium {

inline constexpr size_t kFatEntryBytes = 32;
inline constexpr uint8_t kFatDirTypeCode = 231;

// Receives each record made from the entries: parent, name, size, times,
// run_info (first cluster), state and, for directories, type_code 231.
// data_lba is left for the caller, who knows the geometry.
using FatRecordSink = std::function<void(FileRecord& record)>;

// Parses 32-byte entries up to the first free-and-last entry or the end of
// dir. fat32_clusters takes the high half of the first cluster into account.
// Returns how many records were handed to sink.
uint32_t ParseFatDirectory(ByteView dir, bool fat32_clusters, uint32_t parent, const FatRecordSink& sink);

// A subdirectory's first cluster must start with "." and "..".
bool HasFatDotEntries(ByteView first_cluster);

// The 8.3 name of a short entry: base and extension without padding, in
// lower case where byte 12 says so, "!" for the lost first character of a
// deleted entry, decoded from the ANSI code page.
std::string FatShortName(ByteView entry);

// The checksum of an 11-byte short name that its long-name entries carry.
uint8_t FatShortNameChecksum(ByteView name11);

// A DOS date and time as PackedTime; 0 when the date is 0.
PackedTime FatDosTime(uint16_t date, uint16_t time);

// The volume label held in the first sector of a root directory: the first
// entry with attribute exactly 0x08 that is in use. False when there is none.
bool FatLabelFromRootSector(ByteView sector, std::string& label);

}  // namespace trovium
