// FLV sized by its tag walk. Each tag is followed by a field repeating its
// length; where that field disagrees, the file ends before the tag.

#include "content/size_format_rules.h"
#include "content/size_rule_read.h"

namespace trovium {

uint32_t SizeFlv(const CarveBuffer& buffer, CarveState& state) {
  for (;;) {
    ByteView b;
    const uint32_t r = ReadCarveAt(buffer, state, state.offset, 15, b);
    if (r != kCarveReadDone) return ReadFailure(r);
    if (state.phase == 0) {
      if (!b.matches(0, "FLV", 3)) return kCarveInvalid;
      uint32_t header_length = 0;
      Be32(b, 5, header_length);
      state.offset += header_length;
      state.phase = 1;
      continue;
    }
    uint32_t previous_size = 0, data_size = 0;
    Be32(b, 0, previous_size);
    Be24(b, 5, data_size);
    const uint8_t type = b.u8_or0(4);
    if (state.count > 1 && previous_size != state.last_length) {
      if (state.offset < state.last_length) return kCarveInvalid;
      return CarveSized(state, state.offset - state.last_length);
    }
    if (type == 8 || type == 9 || type == 18) {
      state.last_length = data_size + 11;
      state.offset += uint64_t{data_size} + 15;
      ++state.count;
      continue;
    }
    if (state.count > 1) return CarveSized(state, state.offset + 4);
    return kCarveInvalid;
  }
}

}  // namespace trovium
