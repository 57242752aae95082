// ZIP archives sized by walking their records from the first local header to
// the end-of-central-directory record. Sizes are summed in 64 bits: a 32-bit
// compressed size near 4 GiB must not wrap the advance into a small step.
// An entry written with a data descriptor (flag bit 3, no size in its local
// header) is stepped over by looking for the record that follows its data.

#include "content/size_format_rules.h"
#include "content/size_rule_read.h"
#include "content/size_zip_walk.h"

namespace trovium {
namespace {

// state.last_length: where the walk stands inside an entry without sizes.
constexpr uint32_t kAtRecord = 0;      // state.offset is a record
constexpr uint32_t kInData = 1;        // state.offset lies in an entry's data
constexpr uint32_t kAtDescriptor = 2;  // state.offset is a data descriptor signature

constexpr uint32_t kScanWindow = 4096;
// Windows looked through for one entry's end (about 64 MiB of data).
constexpr uint32_t kMaxScanWindows = 16384;

bool IsZipRecord(const ByteView& b, size_t at) {
  return b.matches(at, "PK\x03\x04", 4) || b.matches(at, "PK\x01\x02", 4) || b.matches(at, "PK\x05\x06", 4);
}

}  // namespace

uint32_t WalkZipRecords(const CarveBuffer& buffer, CarveState& state, ZipLocalHeaderHook on_local_header) {
  for (;;) {
    if (state.last_length == kInData) {
      ByteView w;
      const uint32_t r = ReadCarveAt(buffer, state, state.offset, kScanWindow, w);
      if (r != kCarveReadDone) return ReadFailure(r);
      bool found = false;
      for (size_t p = 0; p + 4 <= kScanWindow; ++p) {
        if (w.matches(p, "PK\x07\x08", 4)) {
          state.offset += p;
          state.last_length = kAtDescriptor;
          found = true;
          break;
        }
        if (IsZipRecord(w, p)) {
          // A descriptor without its signature, or none: the next record.
          state.offset += p;
          state.last_length = kAtRecord;
          found = true;
          break;
        }
      }
      if (found) continue;
      if (++state.count > kMaxScanWindows) return kCarveInvalid;
      state.offset += kScanWindow - 3;
      continue;
    }
    if (state.last_length == kAtDescriptor) {
      // Signature, CRC and the two sizes (4 or 8 bytes each), then a record.
      ByteView d;
      const uint32_t r = ReadCarveAt(buffer, state, state.offset, 32, d);
      if (r != kCarveReadDone) return ReadFailure(r);
      if (IsZipRecord(d, 16)) {
        state.offset += 16;
        state.last_length = kAtRecord;
      } else if (IsZipRecord(d, 24)) {
        state.offset += 24;
        state.last_length = kAtRecord;
      } else {
        // The signature was part of the data; look further.
        state.offset += 1;
        state.last_length = kInData;
      }
      continue;
    }
    ByteView rec;
    const uint32_t r = ReadCarveAt(buffer, state, state.offset, 512, rec);
    if (r != kCarveReadDone) return ReadFailure(r);
    uint64_t advance = 0;
    if (rec.matches(0, "PK\x03\x04", 4)) {
      if (on_local_header) on_local_header(state, rec);
      const uint64_t header = 30ull + rec.le16_or0(26) + rec.le16_or0(28);
      const uint64_t compressed = rec.le32_or0(18);
      if ((rec.le16_or0(6) & 0x0008u) != 0 && compressed == 0) {
        state.offset += header;
        state.last_length = kInData;
        state.count = 0;
        continue;
      }
      advance = header + compressed;
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
