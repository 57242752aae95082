#pragma once
// Small helpers shared by the size rules: one read step at a chosen offset of
// the file (through read_carve_bytes, the only way a rule sees bytes) and
// big-endian accessors that fail like ByteView's little-endian ones.

#include <cstdint>

#include "content/carve.h"
#include "core/byte_view.h"

namespace trovium {

// Reads `length` bytes at `offset` of the file. The offset is stored in the
// state first, so a rule that answers pending continues from there when it is
// run again with the carve window.
inline uint32_t ReadCarveAt(const CarveBuffer& buffer, CarveState& state, uint64_t offset, uint32_t length,
                            ByteView& out) {
  state.offset = offset;
  state.read_length = length;
  return read_carve_bytes(state, buffer, out);
}

// A read answer that is not "done" becomes the rule's own answer: pending
// stays pending, anything else is invalid.
inline uint32_t ReadFailure(uint32_t read_status) {
  return read_status == kCarvePending ? kCarvePending : kCarveInvalid;
}

// Every rule that names a size goes through here: a file of no bytes is no file.
inline uint32_t CarveSized(CarveState& state, uint64_t size) {
  if (size == 0) return kCarveInvalid;
  state.size = size;
  return kCarveSized;
}

// The first read of the rules that read from the file's start (JPEG, OLE2):
// up to the end of the buffer the hit was found in.
inline uint32_t CarveBytesToBufferEnd(const CarveBuffer& buffer, const CarveState& state) {
  const uint64_t sectors = buffer.length / kCarveSectorBytes;
  if (state.first_lba < buffer.first_lba || state.first_lba - buffer.first_lba >= sectors) return 0x800000;
  const uint64_t bytes = (sectors - (state.first_lba - buffer.first_lba)) * kCarveSectorBytes;
  return bytes > kCarveMaxRead ? kCarveMaxRead : static_cast<uint32_t>(bytes);
}

inline bool Be16(const ByteView& v, size_t at, uint16_t& out) {
  uint8_t b[2];
  if (!v.bytes(at, b, 2)) return false;
  out = static_cast<uint16_t>((b[0] << 8) | b[1]);
  return true;
}
inline bool Be24(const ByteView& v, size_t at, uint32_t& out) {
  uint8_t b[3];
  if (!v.bytes(at, b, 3)) return false;
  out = (static_cast<uint32_t>(b[0]) << 16) | (static_cast<uint32_t>(b[1]) << 8) | b[2];
  return true;
}
inline bool Be32(const ByteView& v, size_t at, uint32_t& out) {
  uint8_t b[4];
  if (!v.bytes(at, b, 4)) return false;
  out = (static_cast<uint32_t>(b[0]) << 24) | (static_cast<uint32_t>(b[1]) << 16) |
        (static_cast<uint32_t>(b[2]) << 8) | b[3];
  return true;
}
inline bool Be64(const ByteView& v, size_t at, uint64_t& out) {
  uint32_t hi = 0, lo = 0;
  if (!Be32(v, at, hi) || !Be32(v, at + 4, lo)) return false;
  out = (static_cast<uint64_t>(hi) << 32) | lo;
  return true;
}

}  // namespace trovium
