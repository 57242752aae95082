#pragma once
// Confirmations that a boot sector really starts a volume at a candidate LBA,
// from the structures behind it: the MFT, the first FAT, the exFAT root
// directory and FAT.

#include <cstdint>

#include "core/byte_view.h"
#include "scan/sector_source.h"

namespace trovium {

// More than 64 of the first 256 file records at the MFT hold their own number.
bool PassesMftTest(CSectorSource& source, ByteView boot, uint64_t start);
// The first sector of the first (or second) FAT looks like a FAT of this kind.
bool PassesFatTest(CSectorSource& source, ByteView boot, uint64_t start);
// The root directory starts with label, bitmap and up-case entries and a
// file entry set, and the FAT starts with the media entry.
bool PassesExfatTest(CSectorSource& source, ByteView boot, uint64_t start);

}  // namespace trovium
