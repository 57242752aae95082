#include "platform/private_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace trovium::platform {
namespace {

// Removes everything inside the open folder fd; closes fd. Uses a worklist of
// open folders instead of recursion, so a deep tree cannot exhaust the stack.
bool EmptyFolderAt(int fd) {
  struct Level {
    int fd;
    DIR* dir;
    std::string name;  // name of this folder in its parent
  };
  DIR* top = fdopendir(fd);
  if (!top) {
    close(fd);
    return false;
  }
  std::vector<Level> stack{{fd, top, ""}};
  bool ok = true;
  while (!stack.empty()) {
    Level& cur = stack.back();
    errno = 0;
    dirent* e = readdir(cur.dir);
    if (!e) {
      std::string name = cur.name;
      closedir(cur.dir);
      stack.pop_back();
      if (!stack.empty() && unlinkat(stack.back().fd, name.c_str(), AT_REMOVEDIR) != 0) ok = false;
      continue;
    }
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    struct stat st;
    if (fstatat(cur.fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      ok = false;
      continue;
    }
    if (!S_ISDIR(st.st_mode)) {
      if (unlinkat(cur.fd, name.c_str(), 0) != 0) ok = false;
      continue;
    }
    int sub = openat(cur.fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    DIR* subdir = sub >= 0 ? fdopendir(sub) : nullptr;
    if (!subdir) {
      if (sub >= 0) close(sub);
      ok = false;
      continue;
    }
    stack.push_back({sub, subdir, name});
  }
  return ok;
}

}  // namespace

bool MakePrivateFolder(const std::string& path) {
  if (path.empty()) return false;
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool ok = fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
            ((st.st_mode & 07777) == 0700 || fchmod(fd, 0700) == 0);
  close(fd);
  return ok;
}

std::string MakeUniqueSubfolder(const std::string& parent, const std::string& prefix) {
  std::string pattern = parent + "/" + prefix + "XXXXXX";
  if (!mkdtemp(pattern.data())) return "";  // mkdtemp makes it 0700
  return pattern;
}

bool ListFolder(const std::string& path, std::vector<FolderEntry>& out) {
  out.clear();
  int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  DIR* dir = fdopendir(fd);
  if (!dir) {
    close(fd);
    return false;
  }
  while (dirent* e = readdir(dir)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    struct stat st;
    if (fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    out.push_back({name, S_ISDIR(st.st_mode), static_cast<int64_t>(st.st_mtim.tv_sec)});
  }
  closedir(dir);
  return true;
}

bool RemoveTree(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return errno == ENOENT;
  if (!S_ISDIR(st.st_mode)) return unlink(path.c_str()) == 0 || errno == ENOENT;
  int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = EmptyFolderAt(fd);
  return (rmdir(path.c_str()) == 0 || errno == ENOENT) && ok;
}

bool MakePrivateFile(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && fchmod(fd, 0600) == 0;
  close(fd);
  return ok;
}

bool PathExists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

bool RegularFileSize(const std::string& path, uint64_t& size) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  size = static_cast<uint64_t>(st.st_size);
  return true;
}

int64_t NowSeconds() { return static_cast<int64_t>(std::time(nullptr)); }

}  // namespace trovium::platform
