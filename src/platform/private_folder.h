#pragma once
// Folders that only this user may enter, for copies of recovered files that
// are handed to other programs, and their cleanup.

#include <cstdint>
#include <string>
#include <vector>

namespace trovium::platform {

// Creates the folder with mode 0700 (the parent must exist), or takes an
// existing one when it is a real folder (not a link) owned by this user, and
// sets its mode to 0700. False otherwise.
bool MakePrivateFolder(const std::string& path);

// A new, empty folder (mode 0700) inside parent, named prefix + six random
// characters. Its path, or "" on failure.
std::string MakeUniqueSubfolder(const std::string& parent, const std::string& prefix);

struct FolderEntry {
  std::string name;
  bool is_dir = false;       // a real folder, not a link to one
  int64_t mtime_seconds = 0; // last change of the entry itself
};
// Entries of a folder without "." and ".."; false when it cannot be read.
bool ListFolder(const std::string& path, std::vector<FolderEntry>& out);

// Removes a file, or a folder with everything in it. Links are removed, never
// followed. True when nothing is left at path.
bool RemoveTree(const std::string& path);

// Sets a regular file's mode to owner read and write only (no execute bit).
// Does not follow a link.
bool MakePrivateFile(const std::string& path);

// Whether anything (a link too) exists at path.
bool PathExists(const std::string& path);

// Size of a regular file; false when it is not one.
bool RegularFileSize(const std::string& path, uint64_t& size);

// Seconds since the epoch, the clock of mtime_seconds.
int64_t NowSeconds();

}  // namespace trovium::platform
