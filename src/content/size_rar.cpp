// RAR (version 1.5 to 4) archives sized by their block walk up to the end block.

#include "content/size_format_rules.h"
#include "content/size_rule_read.h"

namespace trovium {

uint32_t SizeRar(const CarveBuffer& buffer, CarveState& state) {
  for (;;) {
    ByteView b;
    const uint32_t r = ReadCarveAt(buffer, state, state.offset, 16, b);
    if (r != kCarveReadDone) return ReadFailure(r);
    const uint8_t type = b.u8_or0(2);
    const uint16_t flags = b.le16_or0(3);
    const uint16_t header_size = b.le16_or0(5);
    if (type == 0x7B && header_size == 7) return CarveSized(state, state.offset + 7);
    if (type != 0x72 && type != 0x73 && type != 0x74 && type != 0x7A && type != 0x7B) return kCarveInvalid;
    if (header_size == 0) return kCarveInvalid;
    uint64_t advance = header_size;
    // Flag bit 15: a data area of the given size follows the header.
    if (flags & 0x8000) advance += b.le32_or0(7);
    state.offset += advance;
  }
}

}  // namespace trovium
