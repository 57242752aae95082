#pragma once
// The scrambling of "Recovery.dat": every 16-bit little-endian unit is XORed
// with one fixed key. Shared by the program and the build-time generator, so it
// stays header-only and needs no library.

#include <cstddef>
#include <cstdint>

namespace trovium {

inline constexpr uint16_t kRecoveryScrambleKey = 0x6A3D;

// Scrambles or unscrambles in place (the operation is its own inverse). An odd
// last byte is not part of a unit and is left as it is.
inline void ScrambleRecoveryUnits(uint8_t* data, size_t size) {
  for (size_t i = 0; i + 1 < size; i += 2) {
    data[i] ^= static_cast<uint8_t>(kRecoveryScrambleKey & 0xFF);
    data[i + 1] ^= static_cast<uint8_t>(kRecoveryScrambleKey >> 8);
  }
}

}  // namespace trovium
