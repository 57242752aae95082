#pragma once
// How the deep scan asks whether a file starts in a sector and how large it
// is. The detector and the size rules are installed by the content code; with
// nothing installed every sector answers "nothing found" (238).

#include <cstdint>

#include "content/carve.h"
#include "content/file_type_table.h"

namespace trovium {

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
