#pragma once
// Reading one entry of a ZIP archive held in memory (minizip over memory
// callbacks). The archive is untrusted: sizes in its headers are not believed.

#include <cstdint>
#include <string_view>
#include <vector>

#include "core/byte_view.h"

namespace trovium {

// Extracts the entry called name (exact, case-sensitive). False when the
// archive does not open, the entry is missing, damaged (CRC included) or would
// inflate to more than max_bytes.
bool ReadZipEntry(ByteView archive, std::string_view name, uint64_t max_bytes, std::vector<uint8_t>& out);

}  // namespace trovium
