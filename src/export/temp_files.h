#pragma once
// Quick open's temporary copies. They live in a folder only this user may
// enter (under the state folder, since the program's own folder is not
// writable), one fresh subfolder per open. A copy is kept for a few minutes,
// long enough for the viewer it was handed to to open it, then removed at the
// next open; every copy is removed when the program ends.

#include <cstdint>
#include <string>

#include "core/user_prompt.h"

namespace trovium {

inline constexpr char kTempFolderName[] = "DataRecoveryTemp";
inline constexpr char kCloseTempFilesText[] = "请关闭刚才打开的临时文件，再打开新的文件！";

// A copy younger than this is left alone: its viewer may not have opened it yet.
inline constexpr int64_t kTempCopyKeepSeconds = 5 * 60;
// Limits on the copies kept: more open files than this refuse a new open.
inline constexpr uint32_t kMaxKeptCopies = 10;
inline constexpr uint64_t kMaxKeptBytes = 0x20000000;  // 512 MiB

// The state folder's "DataRecoveryTemp", created with mode 0700 (an existing
// one is set to 0700). "" when it cannot be made or is not ours.
std::string TempFolder();

// A new private subfolder of TempFolder() for one open; "" on failure.
std::string NewOpenFolder();

// Remembers a planned copy (TempFileList).
void AddTempFile(const std::string& path, uint64_t size);

// Number of copies remembered (tests).
size_t TempFileCount();

// The housekeeping before an open: removes the subfolders of the temporary
// folder (ours and those left by an earlier run) that are older than
// kTempCopyKeepSeconds, forgets copies that are gone, and refuses, with
// kCloseTempFilesText through the prompt, when the copies still kept exceed
// kMaxKeptCopies or kMaxKeptBytes.
bool CheckTempFiles(UserPrompt& prompt);

// Removes every copy and subfolder of the temporary folder, whatever its age,
// and forgets the list. The folder itself stays. At program end.
void RemoveAllTempFiles();

}  // namespace trovium
