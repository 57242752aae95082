// QuickTime / MP4 carving: the top-level box walk. A file is one "moov" and
// one "mdat" with the boxes around them; a second of either starts another
// file.

#include <cstring>

#include "content/file_type_table.h"
#include "content/size_format_rules.h"
#include "content/size_rule_read.h"

namespace trovium {
namespace {

constexpr char kKnownBoxes[][5] = {
    "ftyp", "moov", "mvhd", "trak", "tkhd", "edts", "mdia", "mdhd", "hdlr", "minf", "vmhd", "smhd",
    "dinf", "dref", "stbl", "stsd", "stts", "ctts", "stsc", "stsz", "stco", "stss", "esds", "mp4a",
    "mp4v", "avc1", "avcC", "wave", "frma", "cmov", "free", "wide", "mdat", "dcom", "cmvd", "udta",
    "meta", "skip", "gmhd", "tref", "gmin", "tmcd", "CNTH", "uuid"};

bool IsAlnum(uint8_t c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool IsBoxType(const uint8_t type[4]) {
  for (const char* known : kKnownBoxes) {
    if (std::memcmp(type, known, 4) == 0) return true;
  }
  return IsAlnum(type[0]) && IsAlnum(type[1]) && IsAlnum(type[2]) && IsAlnum(type[3]);
}

}  // namespace

uint32_t SizeQuickTime(const CarveBuffer& buffer, CarveState& state) {
  for (;;) {
    ByteView b;
    const uint32_t r = ReadCarveAt(buffer, state, state.offset, 16, b);
    if (r != kCarveReadDone) return ReadFailure(r);
    uint32_t size32 = 0;
    Be32(b, 0, size32);
    uint8_t type[4] = {};
    b.bytes(4, type, 4);
    uint64_t box_size = size32;
    uint64_t header_size = 8;
    if (size32 == 1) {
      Be64(b, 8, box_size);  // the full 64-bit size: an "mdat" may pass 4 GiB
      header_size = 16;
    }
    // A box smaller than its own header (or one that would wrap the offset)
    // ends the walk: stepping by it would read the box's own bytes as the next
    // header.
    if (box_size < header_size || box_size > UINT64_MAX - state.offset) break;
    if (!IsBoxType(type)) break;
    if (std::memcmp(type, "moov", 4) == 0) {
      if (state.moov_count) break;
      state.moov_count = 1;
    } else if (std::memcmp(type, "mdat", 4) == 0) {
      if (state.mdat_count) break;
      state.mdat_count = 1;
    }
    state.offset += box_size;
  }
  if (state.moov_count == 0 || state.mdat_count == 0) return kCarveInvalid;
  state.code = kFileTypeMov;
  return CarveSized(state, state.offset);
}

}  // namespace trovium
