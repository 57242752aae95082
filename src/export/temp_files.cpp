#include "export/temp_files.h"

#include <mutex>
#include <vector>

#include "core/path_util.h"
#include "platform/paths.h"
#include "platform/private_folder.h"

namespace trovium {
namespace {

struct TempFile {
  std::string path;
  uint64_t size = 0;
};

struct TempFileList {
  std::mutex lock;
  std::vector<TempFile> files;
};

TempFileList& List() {
  static TempFileList list;
  return list;
}

// The folder's path without creating anything; "" when there is no state folder.
std::string TempFolderPath() {
  std::string state = platform::StateFolder();
  return state.empty() ? "" : JoinPath(state, kTempFolderName);
}

// Whether path lies inside folder (a copy inside a removed subfolder).
bool Inside(const std::string& path, const std::string& folder) {
  return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/';
}

}  // namespace

std::string TempFolder() {
  std::string folder = TempFolderPath();
  if (folder.empty() || !platform::MakePrivateFolder(folder)) return "";
  return folder;
}

std::string NewOpenFolder() {
  std::string folder = TempFolder();
  return folder.empty() ? "" : platform::MakeUniqueSubfolder(folder, "open-");
}

void AddTempFile(const std::string& path, uint64_t size) {
  TempFileList& list = List();
  std::lock_guard<std::mutex> hold(list.lock);
  list.files.push_back({path, size});
}

size_t TempFileCount() {
  TempFileList& list = List();
  std::lock_guard<std::mutex> hold(list.lock);
  return list.files.size();
}

bool CheckTempFiles(UserPrompt& prompt) {
  const std::string folder = TempFolder();
  if (folder.empty()) return false;
  uint32_t kept = 0;
  uint64_t kept_bytes = 0;
  {
    TempFileList& list = List();
    std::lock_guard<std::mutex> hold(list.lock);
    std::vector<platform::FolderEntry> entries;
    platform::ListFolder(folder, entries);
    const int64_t now = platform::NowSeconds();
    for (const platform::FolderEntry& e : entries) {
      // A clock set back makes an age negative: such a copy is kept.
      if (now - e.mtime_seconds < kTempCopyKeepSeconds) continue;
      platform::RemoveTree(JoinPath(folder, e.name));
    }
    std::vector<TempFile> still;
    for (TempFile& f : list.files) {
      if (!platform::PathExists(f.path)) continue;
      ++kept;
      kept_bytes += f.size;
      still.push_back(std::move(f));
    }
    list.files = std::move(still);
  }
  if (kept > kMaxKeptCopies || kept_bytes > kMaxKeptBytes) {
    prompt.Inform(kCloseTempFilesText, "");
    return false;
  }
  return true;
}

void RemoveAllTempFiles() {
  TempFileList& list = List();
  std::lock_guard<std::mutex> hold(list.lock);
  const std::string folder = TempFolderPath();
  std::vector<platform::FolderEntry> entries;
  if (!folder.empty() && platform::ListFolder(folder, entries)) {
    for (const platform::FolderEntry& e : entries) platform::RemoveTree(JoinPath(folder, e.name));
  }
  std::vector<TempFile> still;
  for (TempFile& f : list.files)
    if (!Inside(f.path, folder) && platform::PathExists(f.path)) still.push_back(std::move(f));
  list.files = std::move(still);
}

}  // namespace trovium
