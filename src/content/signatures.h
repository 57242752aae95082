#pragma once
// The file-type detector of the deep scan: does a carved file start in this
// sector, and of which type? It runs on every sector of a device, so it looks
// at no more than the first 49 bytes and decides mostly on the first one.

#include <cstdint>

#include "content/file_type_table.h"
#include "core/byte_view.h"

namespace trovium {

// Bytes of a sector the detector may look at.
inline constexpr size_t kSignatureBytes = 49;

// True and the FileTypeCode when a known file signature starts the sector;
// false and 238 otherwise. The tests run in a fixed order and the first match
// decides. OOXML (37), OLE2 (36) and TIFF (49) are refined later by the size
// rules. A sector whose first eight bytes are all 0x00 or all 0x7F finds nothing.
bool detect_file_type(ByteView sector, FileTypeCode& code);

}  // namespace trovium
