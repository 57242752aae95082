// RealMedia sized by its chunk walk. A file is accepted only when at least one
// known chunk follows its DATA chunk (the index, usually).

#include "content/size_format_rules.h"
#include "content/size_rule_read.h"

namespace trovium {

uint32_t SizeRealMedia(const CarveBuffer& buffer, CarveState& state) {
  static constexpr const char* kChunks[] = {".RMF", "PROP", "CONT", "MDPR", "DATA", "INDX"};
  for (;;) {
    ByteView b;
    const uint32_t r = ReadCarveAt(buffer, state, state.offset, 8, b);
    if (r != kCarveReadDone) return ReadFailure(r);
    uint32_t chunk_size = 0;
    Be32(b, 4, chunk_size);
    bool known = false;
    for (const char* id : kChunks) known = known || b.matches(0, id, 4);
    if (chunk_size == 0 || !known) {
      if (state.count > 1) return CarveSized(state, state.offset);
      return kCarveInvalid;
    }
    if (state.count > 0) ++state.count;
    if (b.matches(0, "DATA", 4)) state.count = 1;
    state.offset += chunk_size;
  }
}

}  // namespace trovium
