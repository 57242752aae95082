// JPEG sized by its marker walk up to the start of scan, then the first end-of-
// image marker after it. The rule reads from the file's start, first up to
// the end of the chunk in memory, then 8 MiB more each time it needs more.

#include <cstring>

#include "content/size_format_rules.h"
#include "content/size_rule_read.h"

namespace trovium {
namespace {

constexpr uint32_t kReadGrowth = 0x800000;
// A marker segment may reach this far past the bytes read before the header
// is taken as broken.
constexpr uint64_t kMaxOverrun = 0xFFFFF;

// Phase 0: the markers before the start of scan. Answers 1 when the scan was
// reached (phase and last_length set), 3 when more bytes are needed, 5 when
// the header is broken.
uint32_t WalkMarkers(const ByteView& v, CarveState& state) {
  const uint64_t end = v.size();
  uint64_t c = 0;
  while (c < end && v.u8_or0(c) == 0xFF) {
    while (c < end && v.u8_or0(c) == 0xFF) ++c;
    if (c >= end) break;
    const uint8_t marker = v.u8_or0(c);
    if (marker == 0xDA) {
      state.last_length = static_cast<uint32_t>(c);
      state.phase = 1;
      return kCarveReadDone;
    }
    if (marker == 0xD8) {
      ++c;
      continue;
    }
    if (c + 2 >= end) break;
    uint16_t length = 0;
    Be16(v, c + 1, length);
    if (length == 0) break;
    c += 1 + uint64_t{length};
  }
  if (c + 2 < end) return kCarveInvalid;                 // no marker where one was due
  if (c + 2 > end && c + 2 - end > kMaxOverrun) return kCarveInvalid;
  return kCarvePending;
}

// Phase 1: the first FF D9 from the scan on.
uint32_t FindEndOfImage(const ByteView& v, CarveState& state) {
  const uint8_t* data = v.data();
  const uint64_t end = v.size();
  uint64_t i = state.last_length;
  while (i + 1 < end) {
    const void* ff = std::memchr(data + i, 0xFF, end - 1 - i);
    if (ff == nullptr) break;
    i = static_cast<uint64_t>(static_cast<const uint8_t*>(ff) - data);
    if (data[i + 1] == 0xD9) {
      state.size = i + 2;
      return kCarveSized;
    }
    ++i;
  }
  // Keep the last byte: it may be the FF of a marker cut by the read.
  if (end > 0) state.last_length = static_cast<uint32_t>(end - 1);
  return kCarvePending;
}

}  // namespace

uint32_t SizeJpeg(const CarveBuffer& buffer, CarveState& state) {
  if (state.read_length == 0) state.read_length = CarveBytesToBufferEnd(buffer, state);
  for (;;) {
    ByteView v;
    state.offset = 0;
    const uint32_t r = read_carve_bytes(state, buffer, v);
    if (r != kCarveReadDone) return ReadFailure(r);
    uint32_t result = kCarveReadDone;
    if (state.phase == 0) result = WalkMarkers(v, state);
    if (result == kCarveReadDone) result = FindEndOfImage(v, state);
    if (result != kCarvePending) return result;
    // More bytes needed: read again, 8 MiB more (a read over 64 MiB fails).
    state.read_length += kReadGrowth;
  }
}

}  // namespace trovium
