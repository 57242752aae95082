// MPEG-2 program streams sized by their packet walk. The stream has no end
// marker that survives carving reliably, so the size is the start of the last
// packet accepted.

#include "content/size_format_rules.h"
#include "content/size_rule_read.h"

namespace trovium {
namespace {

bool IsStartCode(const ByteView& b, size_t at) {
  return b.matches(at, "\x00\x00\x01", 3) && b.u8_or0(at + 3) >= 0xB0;
}

}  // namespace

uint32_t SizeMpegPs(const CarveBuffer& buffer, CarveState& state) {
  for (;;) {
    ByteView b;
    const uint32_t r = ReadCarveAt(buffer, state, state.offset, 512, b);
    if (r != kCarveReadDone) return ReadFailure(r);
    uint16_t length = 0;
    if (state.phase == 0) {
      // A 14-byte pack header, then the system header.
      Be16(b, 18, length);
      const uint64_t p = 20ull + length;
      if (p > 506 || !IsStartCode(b, p)) return kCarveInvalid;
      Be16(b, p + 4, length);
      state.offset = p + 6 + length;
      state.phase = 1;
      continue;
    }
    uint64_t advance = 0;
    if (IsStartCode(b, 0)) {
      const uint8_t id = b.u8_or0(3);
      if (id == 0xBA || id == 0xB3) {
        // Taken as 14 bytes followed by the packet that counts.
        if (IsStartCode(b, 14)) {
          Be16(b, 18, length);
          advance = 20ull + length;
        }
      } else {
        Be16(b, 4, length);
        advance = 6ull + length;
      }
    }
    if (advance == 0) {
      // last_length holds the last packet's length, so the size stays exact
      // for streams longer than 4 GiB.
      if (state.count > 10) return CarveSized(state, state.offset - state.last_length);
      return kCarveInvalid;
    }
    state.last_length = static_cast<uint32_t>(advance);
    ++state.count;
    state.offset += advance;
  }
}

}  // namespace trovium
