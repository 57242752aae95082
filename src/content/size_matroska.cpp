// Matroska / WebM sized from the EBML header and the Segment element's size.

#include "content/size_format_rules.h"
#include "content/size_rule_read.h"

namespace trovium {
namespace {

// An EBML variable-length number at `at`: its length is the number of leading
// zero bits of the first byte plus one. Only lengths 1, 2, 4 and 8 are taken,
// and of an 8-byte number only the low 32 bits. keep_marker: ids keep the
// length marker bit, sizes drop it.
bool ReadEbmlNumber(const ByteView& v, size_t at, bool keep_marker, uint32_t& length, uint64_t& value) {
  uint8_t first = 0;
  if (!v.u8(at, first) || first == 0) return false;
  length = 1;
  while (!(first & (0x80 >> (length - 1)))) ++length;
  if (length != 1 && length != 2 && length != 4 && length != 8) return false;
  if (!v.has(at, length)) return false;
  uint64_t n = keep_marker ? first : (first & (0xFF >> length));
  for (uint32_t i = 1; i < length; ++i) n = (n << 8) | v.u8_or0(at + i);
  value = length == 8 ? (n & 0xFFFFFFFFull) : n;
  return true;
}

}  // namespace

uint32_t SizeMatroska(const CarveBuffer& buffer, CarveState& state) {
  ByteView b;
  const uint32_t r = ReadCarveAt(buffer, state, 0, 2048, b);
  if (r != kCarveReadDone) return ReadFailure(r);
  if (!b.matches(0, "\x1A\x45\xDF\xA3", 4)) return kCarveInvalid;
  uint32_t length = 0;
  uint64_t value = 0;
  if (!ReadEbmlNumber(b, 4, false, length, value)) return kCarveInvalid;
  // The Segment follows the EBML header; both sums are 64-bit.
  const uint64_t segment_at = 4ull + length + value;
  if (segment_at > 2016) return kCarveInvalid;
  uint32_t id_length = 0;
  uint64_t id = 0;
  if (!ReadEbmlNumber(b, segment_at, true, id_length, id) || id_length != 4 || id != 0x18538067) {
    return kCarveInvalid;
  }
  if (!ReadEbmlNumber(b, segment_at + 4, false, length, value)) return kCarveInvalid;
  return CarveSized(state, segment_at + 4 + length + value);
}

}  // namespace trovium
