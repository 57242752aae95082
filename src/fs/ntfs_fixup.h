#pragma once
// The update-sequence fix-up of a 1024-byte file record: the last two bytes
// of each sector were swapped out for the sequence number when the record was
// written and are put back from the array at 0x30.

#include <cstddef>
#include <cstdint>

namespace trovium {

// Restores bytes 510-511 and 1022-1023 from 0x32-0x35, in place. Does nothing
// (and returns false) for fewer than 1024 bytes.
bool ApplyNtfsFixup(uint8_t* record, size_t size);

}  // namespace trovium
