#pragma once
// Version and build number that go into diagnostic reports and crash files.

#include <cstdint>

namespace trovium {

inline constexpr const char* kProgramVersion = "6.2.9";
inline constexpr uint32_t kProgramBuild = 3691;

}  // namespace trovium
