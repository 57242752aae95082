// ZIP archives sized by walking their records from the first local header to
// the end-of-central-directory record. Sizes are summed in 64 bits: a 32-bit
// compressed size near 4 GiB must not wrap the advance into a small step.

#include "content/size_format_rules.h"
#include "content/size_rule_read.h"
#include "content/size_zip_walk.h"

namespace trovium {

uint32_t WalkZipRecords(const CarveBuffer& buffer, CarveState& state, ZipLocalHeaderHook on_local_header) {
  for (;;) {
    ByteView rec;
    const uint32_t r = ReadCarveAt(buffer, state, state.offset, 512, rec);
    if (r != kCarveReadDone) return ReadFailure(r);
    uint64_t advance = 0;
    if (rec.matches(0, "PK\x03\x04", 4)) {
      if (on_local_header) on_local_header(state, rec);
      advance = 30ull + rec.le16_or0(26) + rec.le16_or0(28) + rec.le32_or0(18);
    } else if (rec.matches(0, "PK\x01\x02", 4)) {
      advance = 46ull + rec.le16_or0(28) + rec.le16_or0(30) + rec.le16_or0(32);
    } else if (rec.matches(0, "PK\x05\x06", 4)) {
      return CarveSized(state, state.offset + 22 + rec.le16_or0(20));
    } else {
      return kCarveInvalid;
    }
    state.offset += advance;
  }
}

uint32_t SizeZip(const CarveBuffer& buffer, CarveState& state) { return WalkZipRecords(buffer, state, nullptr); }

}  // namespace trovium
