#pragma once
// Text conversion and comparison. Text inside the engine is UTF-8 std::string;
// other encodings are converted where they enter (file names on disk, the
// configuration, 8.3 names in the ANSI code page CP936).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/byte_view.h"

namespace trovium {

// Decodes the code point at pos and moves pos past it. Malformed UTF-8 (bad
// lead or continuation byte, overlong form, surrogate, beyond U+10FFFF) gives
// U+FFFD for one byte and returns false. pos must be below text.size().
bool NextCodePoint(std::string_view text, size_t& pos, char32_t& cp);

// Appends cp as UTF-8 (surrogates and values past U+10FFFF as U+FFFD).
void AppendUtf8(std::string& out, char32_t cp);

// UTF-8 up to the first NUL, with every malformed byte replaced by U+FFFD.
std::string Utf8ToWide(std::string_view bytes);

// CP936 (GBK) up to the first NUL, converted to UTF-8; a byte sequence that
// does not convert becomes U+FFFD and conversion goes on after it.
std::string AnsiToUtf8(std::string_view bytes);

// UTF-16 to UTF-8; every unpaired surrogate becomes U+FFFD. Zero units are
// kept (names on disk are counted, not terminated).
std::string Utf16ToUtf8(const uint16_t* units, size_t count);
// The same for little-endian bytes as stored on disk; an odd last byte is ignored.
std::string Utf16LeToUtf8(ByteView bytes);

// Compares at most count bytes, ASCII letters without case, the end of a text
// reading as NUL. Returns -1, 0 or 1.
int CompareNoCase(size_t count, std::string_view a, std::string_view b);

// True when part occurs in text, ASCII letters compared without case. An empty
// part occurs everywhere.
bool ContainsNoCase(std::string_view text, std::string_view part);

// ASCII letters lowered, every other byte kept.
std::string ToLowerAscii(std::string_view text);

// The text after the last "." in lower case. Nothing for a name of one byte or
// less, a name without a dot, or one whose last dot is its first character.
std::optional<std::string> FileExtension(std::string_view name);

}  // namespace trovium
