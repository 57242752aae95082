#include "export/output_names.h"

#include <cstdint>

namespace trovium {
namespace {

// Length of the UTF-8 character starting at s[i], 0 when malformed.
size_t Utf8Length(std::string_view s, size_t i) {
  const auto c = static_cast<uint8_t>(s[i]);
  size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
  if (n == 0 || i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((static_cast<uint8_t>(s[i + k]) & 0xC0) != 0x80) return 0;
  }
  if (n == 2 && c < 0xC2) return 0;  // overlong
  return n;
}

// Cut at a character boundary (s is well formed).
std::string_view CutUtf8(std::string_view s, size_t max_bytes) {
  if (s.size() <= max_bytes) return s;
  size_t end = max_bytes;
  while (end > 0 && (static_cast<uint8_t>(s[end]) & 0xC0) == 0x80) --end;
  return s.substr(0, end);
}

}  // namespace

std::string CutNameKeepingExtension(std::string_view name, size_t max_bytes) {
  if (name.size() <= max_bytes) return std::string(name);
  const size_t dot = name.rfind('.');
  // An extension is kept when it is short beside the limit and not the whole name.
  if (dot != std::string_view::npos && dot > 0 && name.size() - dot <= max_bytes / 4) {
    const std::string_view ext = name.substr(dot);
    return std::string(CutUtf8(name.substr(0, dot), max_bytes - ext.size())) + std::string(ext);
  }
  return std::string(CutUtf8(name, max_bytes));
}

std::string SafeNameComponent(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (size_t i = 0; i < name.size();) {
    const auto c = static_cast<uint8_t>(name[i]);
    if (c == '/' || c == '\\' || c == 0) {
      out += '_';
      ++i;
      continue;
    }
    if (c < 0x20 || c == 0x7F) {
      ++i;
      continue;
    }
    const size_t n = Utf8Length(name, i);
    if (n == 0) {
      out += '_';
      ++i;
      continue;
    }
    // C1 control characters (U+0080..U+009F) are dropped as well.
    if (n == 2 && c == 0xC2 && static_cast<uint8_t>(name[i + 1]) < 0xA0) {
      i += 2;
      continue;
    }
    out.append(name.substr(i, n));
    i += n;
  }
  if (out.empty() || out == "." || out == "..") out = out.empty() ? "_" : std::string(out.size(), '_');
  return CutNameKeepingExtension(out, kMaxNameBytes);
}

std::string NumberedName(std::string_view name, unsigned n) {
  const std::string suffix = " (" + std::to_string(n) + ")";
  const size_t dot = name.rfind('.');
  const bool has_ext = dot != std::string_view::npos && dot > 0 && name.size() - dot <= kMaxNameBytes / 4;
  const std::string_view stem = has_ext ? name.substr(0, dot) : name;
  const std::string_view ext = has_ext ? name.substr(dot) : std::string_view{};
  return std::string(CutUtf8(stem, kMaxNameBytes - suffix.size() - ext.size())) + suffix + std::string(ext);
}

}  // namespace trovium
