#pragma once
// The ZIP record walk shared by the ZIP and OOXML size rules.

#include <cstdint>

#include "content/carve.h"
#include "core/byte_view.h"

namespace trovium {

// Called with the 512 bytes read at each local file header.
using ZipLocalHeaderHook = void (*)(CarveState& state, const ByteView& record);

// Walks local headers, central directory headers and the end record from
// state.offset; answers pending, sized (end record reached) or invalid.
uint32_t WalkZipRecords(const CarveBuffer& buffer, CarveState& state, ZipLocalHeaderHook on_local_header);

}  // namespace trovium
