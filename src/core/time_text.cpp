#include "core/time_text.h"

#include <ctime>
#include <limits>

namespace trovium {
namespace {

uint32_t Clamp(int value, int low, int high) {
  if (value < low) return static_cast<uint32_t>(low);
  if (value > high) return static_cast<uint32_t>(high);
  return static_cast<uint32_t>(value);
}

// Zero-padded decimal without the C library's locale.
void AppendNumber(std::string& out, uint32_t value, int width) {
  char digits[10];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0 && n < 10);
  for (int i = n; i < width; ++i) out += '0';
  while (n > 0) out += digits[--n];
}

}  // namespace

PackedTime PackTime(int year, int month, int day, int hour, int minute, int second) {
  if (year < 1900) year = 1900;
  uint32_t y = (static_cast<uint32_t>(year % 256) + 4) % 64;
  uint32_t mo = (month >= 1 && month <= 12) ? static_cast<uint32_t>(month) : 1;
  uint32_t d = (day >= 1 && day <= 31) ? static_cast<uint32_t>(day) : 1;
  uint32_t h = Clamp(hour, 0, 23);
  uint32_t mi = Clamp(minute, 0, 59);
  uint32_t s = Clamp(second, 0, 59);
  return (y << 26) | (mo << 22) | (d << 17) | (h << 12) | (mi << 6) | s;
}

PackedTime TimeToPacked(int64_t seconds_since_1970) {
  std::tm local {};
  bool converted = false;
  if (seconds_since_1970 >= std::numeric_limits<std::time_t>::min() &&
      seconds_since_1970 <= std::numeric_limits<std::time_t>::max()) {
    std::time_t t = static_cast<std::time_t>(seconds_since_1970);
    converted = ::localtime_r(&t, &local) != nullptr;
  }
  if (!converted) return PackTime(-1, -1, -1, -1, -1, -1);
  // Only the year modulo 256 is kept, so a far-future tm_year is reduced first
  // instead of overflowing when 1900 is added.
  int year = local.tm_year >= 0 ? 1900 + local.tm_year % 256 : 1899;
  return PackTime(year, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                  local.tm_sec);
}

std::string FormatPackedTime(PackedTime t) {
  if (t == 0) return "1900-01-01  00:00";
  std::string out;
  AppendNumber(out, (t >> 26) + 1980, 1);
  out += '-';
  AppendNumber(out, (t >> 22) & 0xF, 2);
  out += '-';
  AppendNumber(out, (t >> 17) & 0x1F, 2);
  out += "  ";
  AppendNumber(out, (t >> 12) & 0x1F, 2);
  out += ':';
  AppendNumber(out, (t >> 6) & 0x3F, 2);
  out += ':';
  AppendNumber(out, t & 0x3F, 2);
  return out;
}

}  // namespace trovium
