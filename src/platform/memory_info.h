#pragma once
// Physical memory of the machine, for the out-of-memory report.

#include <cstdint>
#include <optional>
#include <string_view>

namespace trovium::platform {

struct MemoryStatus {
  uint64_t total_mib = 0;      // MemTotal
  uint64_t available_mib = 0;  // MemAvailable (MemFree on kernels without it)
};

// Read from /proc/meminfo; nothing when it cannot be read.
std::optional<MemoryStatus> ReadMemoryStatus();

// The parser behind it: the text of /proc/meminfo ("MemTotal:  16318412 kB").
std::optional<MemoryStatus> ParseMemInfo(std::string_view text);

}  // namespace trovium::platform
