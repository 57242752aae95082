#include "core/size_text.h"

#include <charconv>
#include <cmath>

namespace trovium {

std::string FormatFixed2(double value) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof(buf), value, std::chars_format::fixed, 2);
  if (res.ec != std::errc()) return "0.00";
  return std::string(buf, res.ptr);
}

std::string FormatBytes(uint64_t bytes) {
  if (bytes < 0x100000ull) return FormatFixed2(static_cast<double>(bytes) / 1024.0) + " KB";
  if (bytes < 0x40000000ull) return FormatFixed2(static_cast<double>(bytes / 1024) / 1024.0) + " MB";
  if (bytes >= (1ull << 40)) return FormatFixed2(static_cast<double>(bytes >> 30) / 1024.0) + " TB";
  return FormatFixed2(static_cast<double>(bytes >> 20) / 1024.0) + " GB";
}

std::string FormatSectors(uint64_t sectors) {
  uint64_t mib = sectors / 2048;
  if (sectors <= 0x1FFFFFull) return FormatFixed2(static_cast<double>(mib)) + " MB";
  if (mib > 0xFFFFFull) return FormatFixed2(static_cast<double>(sectors >> 21) / 1024.0) + " TB";
  return FormatFixed2(static_cast<double>(mib) / 1024.0) + " GB";
}

}  // namespace trovium
