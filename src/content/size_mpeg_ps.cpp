// MPEG-1 and MPEG-2 program streams sized by their pack and packet walk: the
// size is the end of the last pack or packet, or the end of the program end
// code when the stream has one.

#include "content/size_format_rules.h"
#include "content/size_rule_read.h"

namespace trovium {
namespace {

constexpr uint8_t kPackStart = 0xBA;
constexpr uint8_t kProgramEnd = 0xB9;

bool IsStartCode(const ByteView& b, size_t at) {
  return b.matches(at, "\x00\x00\x01", 3) && b.u8_or0(at + 3) >= 0xB0;
}

// Length of the pack header at b[0]: 14 plus its stuffing for the MPEG-2
// form, 12 for the MPEG-1 form, 0 when it is neither.
uint64_t PackHeaderLength(const ByteView& b) {
  const uint8_t form = b.u8_or0(4);
  if ((form & 0xC4) == 0x44) return 14u + (b.u8_or0(13) & 0x07u);
  if ((form & 0xF1) == 0x21) return 12;
  return 0;
}

}  // namespace

uint32_t SizeMpegPs(const CarveBuffer& buffer, CarveState& state) {
  for (;;) {
    ByteView b;
    const uint32_t r = ReadCarveAt(buffer, state, state.offset, state.phase == 0 ? 512 : 32, b);
    if (r != kCarveReadDone) return ReadFailure(r);
    if (state.phase == 0) {
      // A pack header, then the system header, then another start code.
      if (!b.matches(0, "\x00\x00\x01\xBA", 4)) return kCarveInvalid;
      const uint64_t pack = PackHeaderLength(b);
      if (pack == 0 || !IsStartCode(b, pack)) return kCarveInvalid;
      uint16_t length = 0;
      Be16(b, pack + 4, length);
      const uint64_t p = pack + 6 + length;
      if (p > 508 || !IsStartCode(b, p)) return kCarveInvalid;
      state.offset = pack;
      state.phase = 1;
      continue;
    }
    uint64_t advance = 0;
    if (IsStartCode(b, 0)) {
      const uint8_t id = b.u8_or0(3);
      if (id == kProgramEnd) {
        if (state.count > 10) return CarveSized(state, state.offset + 4);
        return kCarveInvalid;
      }
      if (id == kPackStart) {
        advance = PackHeaderLength(b);
      } else if (id > kPackStart) {
        uint16_t length = 0;
        Be16(b, 4, length);
        advance = 6ull + length;
      }
    }
    if (advance == 0) {
      // No further pack or packet: the stream ends where the last one did.
      if (state.count > 10) return CarveSized(state, state.offset);
      return kCarveInvalid;
    }
    ++state.count;
    state.offset += advance;
  }
}

}  // namespace trovium
