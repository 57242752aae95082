// Help files sized from their headers: compiled HTML help ("ITSF") and WinHelp.

#include "content/size_format_rules.h"
#include "content/size_rule_read.h"

namespace trovium {
namespace {

// {7C01FD10-7BAA-11D0-9E0C-00A0C922E6EC} and {7C01FD11-...} as stored.
constexpr uint8_t kItsfGuid1[16] = {0x10, 0xFD, 0x01, 0x7C, 0xAA, 0x7B, 0xD0, 0x11,
                                    0x9E, 0x0C, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC};
constexpr uint8_t kItsfGuid2[16] = {0x11, 0xFD, 0x01, 0x7C, 0xAA, 0x7B, 0xD0, 0x11,
                                    0x9E, 0x0C, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC};

}  // namespace

uint32_t SizeChm(const CarveBuffer& buffer, CarveState& state) {
  ByteView h;
  const uint32_t r = ReadCarveAt(buffer, state, 0, 256, h);
  if (r != kCarveReadDone) return ReadFailure(r);
  if (!h.matches(24, kItsfGuid1, 16) || !h.matches(40, kItsfGuid2, 16)) return kCarveInvalid;
  // The file-length field of header section 0.
  return CarveSized(state, h.le32_or0(104));
}

uint32_t SizeWinHelp(const CarveBuffer& buffer, CarveState& state) {
  ByteView h;
  const uint32_t r = ReadCarveAt(buffer, state, 0, 256, h);
  if (r != kCarveReadDone) return ReadFailure(r);
  const uint32_t file_size = h.le32_or0(12);
  if (file_size < 512 || file_size < h.le32_or0(4)) return kCarveInvalid;
  return CarveSized(state, file_size);
}

}  // namespace trovium
