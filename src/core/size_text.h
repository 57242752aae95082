#pragma once
// Size texts shown to the user ("1.00 KB", "2.00 GB"), independent of the locale.

#include <cstdint>
#include <string>

namespace trovium {

// Bytes as KB below 1 MiB, MB below 1 GiB, TB from 1 TiB on, GB otherwise.
std::string FormatBytes(uint64_t bytes);

// 512-byte sectors as whole MiB up to 0x1FFFFF sectors, else GB or TB.
std::string FormatSectors(uint64_t sectors);

// "%0.2f" with a "." decimal point whatever the user's locale says.
std::string FormatFixed2(double value);

}  // namespace trovium
