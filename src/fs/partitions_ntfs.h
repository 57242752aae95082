#pragma once
// The few NTFS record structures the partition code needs before a volume is
// read: the update-sequence fix-up, the attribute walk and the first extent
// of a mapping-pairs list.

#include <cstdint>

#include "core/byte_view.h"

namespace trovium {

// Applies the update sequence of a 1024-byte "FILE" record in place; false
// when the record is not one or a sector's check value does not match.
bool FixupFileRecord(uint8_t* record, size_t size);

// The attribute of `type` in a fixed-up record, as a view of the whole
// attribute; empty when absent.
ByteView FindRecordAttribute(ByteView record, uint32_t type);

// The first extent of mapping pairs: its cluster number and length.
bool DecodeFirstExtent(ByteView runs, uint64_t& cluster, uint64_t& length);

}  // namespace trovium
