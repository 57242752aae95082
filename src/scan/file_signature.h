#pragma once
// How the deep scan asks whether a file starts in a sector and how large it
// is. The detector and the size rules are installed by the content code; with
// nothing installed every sector answers "nothing found" (238).

#include <cstdint>

#include "content/file_type_table.h"

namespace trovium {

enum CarveStatus : uint32_t {
  kCarveNoRule = 0,      // the type has no size rule; size stays 0
  kCarveReadDone = 1,    // internal: the requested bytes were copied
  kCarveOutOfRange = 2,  // internal: the bytes can never come from this buffer
  kCarvePending = 3,     // needs bytes beyond the buffer (need_first_lba..need_last_lba)
  kCarveSized = 4,       // size is the file size
  kCarveInvalid = 5,     // not a valid file of this type
};

// One carved file's size step; zeroed before use.
struct CarveState {
  uint32_t code;
  uint32_t status;
  uint64_t first_lba;
  uint64_t size;
  uint64_t offset;
  uint32_t read_length;
  uint64_t need_first_lba;
  uint64_t need_last_lba;
  uint32_t last_length;
  uint32_t count;
  uint8_t phase;
  uint8_t moov_count;
  uint8_t mdat_count;
  uint8_t big_endian;
  uint64_t record;  // the record a rule produces (video), kept as the hit's payload
};

struct FileSignatureHooks {
  // sector: 512 bytes. True and a code below 238 when a file starts there.
  bool (*detect_file_type)(const uint8_t* sector, FileTypeCode& code) = nullptr;
  // Runs the size rule over `length` bytes of consecutive sectors from buffer_lba.
  uint32_t (*determine_size)(const uint8_t* buffer, uint64_t length, CarveState& state, uint64_t buffer_lba) = nullptr;
  void (*queue_pending_carve)(const CarveState& state) = nullptr;
  bool (*pending_carves_touch_chunk)(uint64_t chunk_lba) = nullptr;
  // Finished entries come back through UpdateStoredHit.
  void (*resolve_pending_carves)(const uint8_t* chunk, uint64_t chunk_lba) = nullptr;
};

// Process-wide; installed at start-up, before any scan.
void SetFileSignatureHooks(const FileSignatureHooks& hooks);
const FileSignatureHooks& FileSignatures();

// The installed detector, or 238 and false when there is none.
bool detect_file_type(const uint8_t* sector, FileTypeCode& code);

}  // namespace trovium
