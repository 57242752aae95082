#include "core/text_convert.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

namespace trovium {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view UpToNul(std::string_view bytes) {
  size_t nul = bytes.find('\0');
  return nul == std::string_view::npos ? bytes : bytes.substr(0, nul);
}

// One converter per thread: iconv descriptors keep shift state and are not
// safe to share.
class Cp936Converter {
 public:
  Cp936Converter() : cd_(::iconv_open("UTF-8", "CP936")) {}
  ~Cp936Converter() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) ::iconv_close(cd_);
  }
  Cp936Converter(const Cp936Converter&) = delete;
  Cp936Converter& operator=(const Cp936Converter&) = delete;

  std::string Convert(std::string_view in) {
    std::string out;
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      // No converter installed: keep ASCII, mark the rest.
      for (char c : in) {
        if (static_cast<unsigned char>(c) < 0x80) out += c;
        else AppendUtf8(out, kReplacement);
      }
      return out;
    }
    ::iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* src = const_cast<char*>(in.data());
    size_t src_left = in.size();
    char buf[256];
    while (src_left > 0) {
      char* dst = buf;
      size_t dst_left = sizeof(buf);
      size_t r = ::iconv(cd_, &src, &src_left, &dst, &dst_left);
      int err = errno;
      out.append(buf, static_cast<size_t>(dst - buf));
      if (r != static_cast<size_t>(-1)) continue;
      if (err == E2BIG) continue;
      // EILSEQ or a sequence cut off at the end: skip one byte.
      AppendUtf8(out, kReplacement);
      ++src;
      --src_left;
      ::iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
  }

 private:
  iconv_t cd_;
};

}  // namespace

bool NextCodePoint(std::string_view text, size_t& pos, char32_t& cp) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(pos);
  size_t extra = 0;
  char32_t value = 0;
  char32_t min = 0;
  if (lead < 0x80) {
    cp = lead;
    pos += 1;
    return true;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1, value = lead & 0x1F, min = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2, value = lead & 0x0F, min = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3, value = lead & 0x07, min = 0x10000;
  } else {
    cp = kReplacement;
    pos += 1;
    return false;
  }
  if (text.size() - pos <= extra) {
    cp = kReplacement;
    pos += 1;
    return false;
  }
  for (size_t i = 1; i <= extra; ++i) {
    unsigned char c = byte(pos + i);
    if ((c & 0xC0) != 0x80) {
      cp = kReplacement;
      pos += 1;
      return false;
    }
    value = (value << 6) | (c & 0x3F);
  }
  if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    cp = kReplacement;
    pos += 1;
    return false;
  }
  cp = value;
  pos += extra + 1;
  return true;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string Utf8ToWide(std::string_view bytes) {
  bytes = UpToNul(bytes);
  std::string out;
  out.reserve(bytes.size());
  size_t pos = 0;
  while (pos < bytes.size()) {
    char32_t cp = 0;
    NextCodePoint(bytes, pos, cp);
    AppendUtf8(out, cp);
  }
  return out;
}

std::string AnsiToUtf8(std::string_view bytes) {
  thread_local Cp936Converter converter;
  return converter.Convert(UpToNul(bytes));
}

std::string Utf16ToUtf8(const uint16_t* units, size_t count) {
  std::string out;
  out.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    char32_t u = units[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      u = 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    }
    AppendUtf8(out, u);  // a lone surrogate comes out as U+FFFD
  }
  return out;
}

std::string Utf16LeToUtf8(ByteView bytes) {
  std::vector<uint16_t> units(bytes.size() / 2);
  for (size_t i = 0; i < units.size(); ++i) units[i] = bytes.le16_or0(2 * i);
  return Utf16ToUtf8(units.data(), units.size());
}

int CompareNoCase(size_t count, std::string_view a, std::string_view b) {
  for (size_t i = 0; i < count; ++i) {
    unsigned char ca = static_cast<unsigned char>(i < a.size() ? LowerAscii(a[i]) : '\0');
    unsigned char cb = static_cast<unsigned char>(i < b.size() ? LowerAscii(b[i]) : '\0');
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) return 0;
  }
  return 0;
}

bool ContainsNoCase(std::string_view text, std::string_view part) {
  if (part.size() > text.size()) return false;
  for (size_t at = 0; at + part.size() <= text.size(); ++at) {
    size_t i = 0;
    while (i < part.size() && LowerAscii(text[at + i]) == LowerAscii(part[i])) ++i;
    if (i == part.size()) return true;
  }
  return false;
}

std::string ToLowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = LowerAscii(c);
  return out;
}

std::optional<std::string> FileExtension(std::string_view name) {
  if (name.size() <= 1) return std::nullopt;
  size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return std::nullopt;
  return ToLowerAscii(name.substr(dot + 1));
}

}  // namespace trovium
