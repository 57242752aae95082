// BMP sized from its file header.

#include "content/size_format_rules.h"
#include "content/size_rule_read.h"

namespace trovium {

uint32_t SizeBmp(const CarveBuffer& buffer, CarveState& state) {
  ByteView h;
  const uint32_t r = ReadCarveAt(buffer, state, 0, 256, h);
  if (r != kCarveReadDone) return ReadFailure(r);
  // The 40- and 124-byte info headers and the 12-byte core header are
  // trusted; the 108-byte one passes the signature test but is rejected here.
  const uint32_t info_size = h.le32_or0(14);
  if (h.le16_or0(6) != 0 || h.le16_or0(8) != 0 || (info_size != 40 && info_size != 124 && info_size != 12)) {
    return kCarveInvalid;
  }
  const uint64_t size = h.le32_or0(2);
  // A file smaller than its own headers cannot be right.
  if (size < 14u + info_size) return kCarveInvalid;
  if (info_size == 12) {
    // The core header: the pixels start behind both headers and inside the
    // file, one plane, a known bit depth.
    const uint64_t pixels = h.le32_or0(10);
    const uint16_t bits = h.le16_or0(24);
    if (pixels < 26 || pixels > size || h.le16_or0(22) != 1) return kCarveInvalid;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24) return kCarveInvalid;
    if (h.le16_or0(18) == 0 || h.le16_or0(20) == 0) return kCarveInvalid;
  }
  return CarveSized(state, size);
}

}  // namespace trovium
