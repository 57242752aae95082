#pragma once
// Paths and names the program creates on the output drive.

#include <cstdint>
#include <string>
#include <string_view>

namespace trovium {

// folder + "/" + name; no second "/" when the folder already ends with one,
// and just the name when the folder is empty.
std::string JoinPath(std::string_view folder, std::string_view name);

// Characters allowed in the names we create, so that the output can be copied
// to any file system: printable ASCII except " * / : < > ? \ | and the CJK
// unified ideographs U+4E00..U+9FA5.
bool IsValidNameChar(char32_t cp);

// Drops one trailing "/" and replaces every character of the last component
// that IsValidNameChar refuses (and every malformed UTF-8 byte) by a random
// digit "0".."9". Fails, changing nothing, when the path is "/" or empty or
// the last component is empty.
bool SanitizeLastComponent(std::string& path);

// True when the folder exists or is created. When creation fails, the last
// component is sanitised and creation tried once more; path then holds the
// changed name.
bool CreateDirectoryChecked(std::string& path);

// Free bytes on the file system that holds path (or would hold it); 0 on failure.
uint64_t DriveFreeBytes(const std::string& path);

}  // namespace trovium
