#pragma once
// Folders and small files on the output side: existence, creation, free space,
// whole-file reads of the program's own data files.

#include <cstdint>
#include <string>
#include <vector>

namespace trovium::platform {

bool IsDirectory(const std::string& path);

// Creates one folder (mode 0777 before the umask). True when it was created or
// already exists as a folder; the parent must exist.
bool MakeDirectory(const std::string& path);

// Bytes an unprivileged writer may still use on the file system holding path
// (statvfs: f_bavail * f_frsize). A path that does not exist yet is measured at
// its nearest existing parent. 0 on failure.
uint64_t FreeBytes(const std::string& path);

// Reads a whole regular file of at most max_bytes. False when it is missing,
// unreadable, not a regular file or larger than max_bytes.
bool ReadWholeFile(const std::string& path, uint64_t max_bytes, std::vector<uint8_t>& out);

}  // namespace trovium::platform
