// RIFF files: WAVE sized from its canonical header, AVI by its chunk walk.
// Chunk sizes are 32-bit on disk; every sum is taken in 64 bits so that a
// size near 4 GiB cannot wrap into a small (or zero) file size.

#include "content/size_format_rules.h"
#include "content/size_rule_read.h"

namespace trovium {

uint32_t SizeWave(const CarveBuffer& buffer, CarveState& state) {
  ByteView h;
  const uint32_t r = ReadCarveAt(buffer, state, 0, 64, h);
  if (r != kCarveReadDone) return ReadFailure(r);
  if (!h.matches(8, "WAVE", 4) || !h.matches(12, "fmt", 3)) return kCarveInvalid;
  // Only a canonical 44-byte header, the data chunk right behind "fmt ".
  const uint64_t riff_size = h.le32_or0(4);
  const uint64_t data_size = h.le32_or0(40);
  if (riff_size != data_size + 36) return kCarveInvalid;
  return CarveSized(state, riff_size + 8);
}

uint32_t SizeAvi(const CarveBuffer& buffer, CarveState& state) {
  static constexpr const char* kSkipped[] = {"LIST", "avih", "JUNK", "strh", "strf", "strd", "strn", "vprp"};
  static constexpr const char* kEntered[] = {"AVI ", "hdrl", "strl"};
  for (;;) {
    // state.size holds the RIFF size once the header was read.
    if (state.size != 0 && state.offset >= state.size) return kCarveSized;
    ByteView c;
    const uint32_t r = ReadCarveAt(buffer, state, state.offset, 8, c);
    if (r != kCarveReadDone) return ReadFailure(r);
    const uint64_t chunk_size = c.le32_or0(4);
    if (c.matches(0, "RIFF", 4)) {
      state.size = chunk_size + 8;
      state.offset += 8;
      continue;
    }
    if (c.matches(0, "idx1", 4)) {
      // The index closes the file; the size is the RIFF header's.
      state.offset += chunk_size + 8;
      return CarveSized(state, state.size);
    }
    bool known = false;
    for (const char* id : kSkipped) {
      if (c.matches(0, id, 4)) {
        state.offset += chunk_size + 8;
        known = true;
        break;
      }
    }
    if (!known) {
      for (const char* id : kEntered) {
        if (c.matches(0, id, 4)) {
          state.offset += 4;
          known = true;
          break;
        }
      }
    }
    if (!known) return kCarveInvalid;
  }
}

}  // namespace trovium
