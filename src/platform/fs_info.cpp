#include "platform/fs_info.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>

namespace trovium::platform {

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeDirectory(const std::string& path) {
  if (path.empty()) return false;
  if (::mkdir(path.c_str(), 0777) == 0) return true;
  return errno == EEXIST && IsDirectory(path);
}

uint64_t FreeBytes(const std::string& path) {
  std::string probe = path.empty() ? std::string(".") : path;
  for (;;) {
    struct statvfs vfs {};
    if (::statvfs(probe.c_str(), &vfs) == 0) {
      return static_cast<uint64_t>(vfs.f_bavail) * static_cast<uint64_t>(vfs.f_frsize);
    }
    if ((errno != ENOENT && errno != ENOTDIR) || probe == ".") return 0;
    // Not there yet: measure where it will be created.
    while (probe.size() > 1 && probe.back() == '/') probe.pop_back();
    size_t slash = probe.rfind('/');
    if (slash == std::string::npos) {
      probe = ".";
    } else if (slash == 0) {
      if (probe == "/") return 0;
      probe = "/";
    } else {
      probe.resize(slash);
    }
  }
}

bool ReadWholeFile(const std::string& path, uint64_t max_bytes, std::vector<uint8_t>& out) {
  out.clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0 &&
            static_cast<uint64_t>(st.st_size) <= max_bytes;
  if (ok) {
    out.resize(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (done < out.size()) {
      ssize_t n = ::read(fd, out.data() + done, out.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    // A file that shrank while we read it is read as what was there.
    out.resize(done);
  }
  ::close(fd);
  if (!ok) out.clear();
  return ok;
}

}  // namespace trovium::platform
