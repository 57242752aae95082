#pragma once
// The size step of carved files: the state one hit carries through it, its
// status codes, and the one reading step through which every size rule gets
// its bytes from the buffer in memory (a chunk, or the carve window).

#include <cstdint>

#include "core/byte_view.h"

namespace trovium {

enum CarveStatus : uint32_t {
  kCarveNoRule = 0,      // the type has no size rule; size stays 0
  kCarveReadDone = 1,    // internal: the requested bytes are available
  kCarveOutOfRange = 2,  // internal: the bytes can never come from this buffer (a rule returns 5)
  kCarvePending = 3,     // needs bytes beyond the buffer (need_first_lba..need_last_lba)
  kCarveSized = 4,       // size is the file size
  kCarveInvalid = 5,     // not a valid file of this type
};

// One carved file's size step; zeroed before use, code and first_lba set by
// the scan, the rest filled by the rule.
struct CarveState {
  uint32_t code;            // FileTypeCode; OOXML, OLE2 and TIFF rules refine it
  uint32_t status;          // last CarveStatus
  uint64_t first_lba;       // the sector that matched
  uint64_t size;            // bytes; valid with status 4
  uint64_t offset;          // where the rule reads next, from the file's first byte
  uint32_t read_length;     // bytes wanted at offset; at most kCarveMaxRead
  uint64_t need_first_lba;  // sectors the last read needed when pending
  uint64_t need_last_lba;
  uint32_t last_length;     // rule scratch (previous tag length, scan position, ...)
  uint32_t count;           // rule scratch (tags, packets, frames, objects so far)
  uint8_t phase;            // rule scratch: 0 before the header was read
  uint8_t moov_count;       // QuickTime box walk
  uint8_t mdat_count;
  uint8_t big_endian;       // TIFF: 1 for "MM"
  uint64_t record;          // the record a video rule produces; becomes the hit's payload
};

inline constexpr uint32_t kCarveMaxRead = 0x4000000;           // 64 MiB
inline constexpr uint64_t kCarveFarSectors = 0x2000000;        // 16 GiB past the buffer: unreachable
inline constexpr uint64_t kCarveSectorBytes = 512;

// Consecutive sectors in memory that a rule reads from.
struct CarveBuffer {
  const uint8_t* data = nullptr;
  uint64_t length = 0;     // bytes
  uint64_t first_lba = 0;  // LBA of data[0]
};

// Reads state.read_length bytes at state.offset of the file. Answers
//   kCarveReadDone   `out` views exactly those bytes (inside the buffer, no copy;
//                    valid as long as the buffer is),
//   kCarvePending    they lie (partly) beyond the buffer; need_first_lba and
//                    need_last_lba name the sectors wanted,
//   kCarveOutOfRange a length of 0 or over 64 MiB, bytes before the buffer, or
//                    more than 16 GiB past it.
// This is the only way a size rule reads bytes.
uint32_t read_carve_bytes(CarveState& state, const CarveBuffer& buffer, ByteView& out);

// Runs the size rule of state.code over `length` bytes of consecutive sectors
// starting at buffer_lba; stores the result in state.status and returns it.
// A code without a rule gives kCarveNoRule and size 0. A rule's internal
// answers (1, 2) come back as kCarveInvalid.
uint32_t determine_size(const uint8_t* buffer, uint64_t length, CarveState& state, uint64_t buffer_lba);

}  // namespace trovium
