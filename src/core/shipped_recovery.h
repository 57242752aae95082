#pragma once
// Size and uppercase MD5 digest of the "Recovery.dat" built with this program.
// The definitions are generated at build time from the file itself.

#include <cstdint>

namespace trovium {

uint64_t ShippedRecoveryDatSize();
const char* ShippedRecoveryDatMd5();

}  // namespace trovium
