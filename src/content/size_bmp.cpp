// BMP sized from its file header.

#include "content/size_format_rules.h"
#include "content/size_rule_read.h"

namespace trovium {

uint32_t SizeBmp(const CarveBuffer& buffer, CarveState& state) {
  ByteView h;
  const uint32_t r = ReadCarveAt(buffer, state, 0, 256, h);
  if (r != kCarveReadDone) return ReadFailure(r);
  // Only the 40- and 124-byte info headers are trusted; the 12- and 108-byte
  // ones pass the signature test but are rejected here.
  const uint32_t info_size = h.le32_or0(14);
  if (h.le16_or0(6) != 0 || h.le16_or0(8) != 0 || (info_size != 40 && info_size != 124)) return kCarveInvalid;
  const uint64_t size = h.le32_or0(2);
  // A file smaller than its own headers cannot be right.
  if (size < 14u + info_size) return kCarveInvalid;
  return CarveSized(state, size);
}

}  // namespace trovium
