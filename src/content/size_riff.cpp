// RIFF files: WAVE sized from its header (its chunks walked when they are not
// in the canonical order), AVI by its chunk walk.
// Chunk sizes are 32-bit on disk; every sum is taken in 64 bits so that a
// size near 4 GiB cannot wrap into a small (or zero) file size.

#include "content/size_format_rules.h"
#include "content/size_rule_read.h"

namespace trovium {

uint32_t SizeWave(const CarveBuffer& buffer, CarveState& state) {
  // last_length holds the RIFF size and count the chunks seen (bit 0 "fmt ",
  // bit 1 "data") once the header was read; offset is the next chunk.
  if (state.phase == 0) {
    ByteView h;
    const uint32_t r = ReadCarveAt(buffer, state, 0, 64, h);
    if (r != kCarveReadDone) return ReadFailure(r);
    if (!h.matches(0, "RIFF", 4) || !h.matches(8, "WAVE", 4)) return kCarveInvalid;
    const uint64_t riff_size = h.le32_or0(4);
    // The canonical 44-byte header, the data chunk right behind "fmt ".
    if (h.matches(12, "fmt", 3) && riff_size == static_cast<uint64_t>(h.le32_or0(40)) + 36) {
      return CarveSized(state, riff_size + 8);
    }
    state.last_length = h.le32_or0(4);
    state.count = 0;
    state.offset = 12;
    state.phase = 1;
  }
  // Any other chunk order: every chunk lies inside the RIFF size, and both
  // "fmt " and "data" are there.
  const uint64_t riff_end = static_cast<uint64_t>(state.last_length) + 8;
  for (uint32_t chunks = 0; chunks < 256; ++chunks) {
    if (state.offset + 8 > riff_end) return kCarveInvalid;
    ByteView c;
    const uint32_t r = ReadCarveAt(buffer, state, state.offset, 8, c);
    if (r != kCarveReadDone) return ReadFailure(r);
    for (size_t i = 0; i < 4; ++i) {
      const uint8_t ch = c.u8_or0(i);
      if (ch < 0x20 || ch > 0x7E) return kCarveInvalid;
    }
    const uint64_t chunk_size = c.le32_or0(4);
    const uint64_t chunk_end = state.offset + 8 + chunk_size;
    if (chunk_end > riff_end) return kCarveInvalid;
    if (c.matches(0, "fmt ", 4)) {
      if (chunk_size < 16) return kCarveInvalid;
      state.count |= 1u;
    } else if (c.matches(0, "data", 4)) {
      state.count |= 2u;
    }
    if (state.count == 3u) return CarveSized(state, riff_end);
    state.offset = chunk_end + (chunk_size & 1u);
  }
  return kCarveInvalid;
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
