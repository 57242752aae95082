#pragma once
// Safe names for everything the export creates. Names come from the device
// (long names, NTFS names, recycle-bin texts, renames) and may hold "/",
// "..", control characters or be longer than a file system allows.

#include <cstddef>
#include <string>
#include <string_view>

namespace trovium {

// Longest name component in bytes (Linux file systems).
inline constexpr size_t kMaxNameBytes = 255;

// One path component that stays inside its folder: "/", "\" and NUL become
// "_", other control characters are dropped, malformed UTF-8 bytes become
// "_", "", "." and ".." are replaced, and the result is cut to
// kMaxNameBytes at a character boundary keeping the extension.
std::string SafeNameComponent(std::string_view name);

// name with " (n)" before its extension ("a.doc" -> "a (2).doc"), still
// within kMaxNameBytes.
std::string NumberedName(std::string_view name, unsigned n);

// name cut to at most max_bytes bytes at a UTF-8 character boundary, keeping
// the extension (the part from the last "." when it is short) when it can.
std::string CutNameKeepingExtension(std::string_view name, size_t max_bytes);

}  // namespace trovium
