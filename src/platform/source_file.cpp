#include "platform/source_file.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace trovium::platform {

SourceOpenResult OpenSourceReadOnly(const std::string& path) {
  SourceOpenResult r;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    r.err_no = errno;
    switch (errno) {
      case ENOENT: case ENOTDIR: r.error = OpenError::kNotFound; break;
      case EACCES: case EPERM: r.error = OpenError::kPermission; break;
      default: r.error = OpenError::kOther; break;
    }
    return r;
  }
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    r.error = OpenError::kIsDirectory;
    r.err_no = EISDIR;
    return r;
  }
  r.fd = fd;
  return r;
}

void CloseSource(int fd) {
  if (fd >= 0) ::close(fd);
}

int64_t ReadAt(int fd, void* dest, uint64_t len, uint64_t offset, uint64_t* bytes_read_before_error) {
  auto* out = static_cast<uint8_t*>(dest);
  uint64_t done = 0;
  if (bytes_read_before_error) *bytes_read_before_error = 0;
  if (fd < 0) return -1;
  while (done < len) {
    uint64_t want = len - done;
    if (want > (1ull << 30)) want = 1ull << 30;
    ssize_t n = ::pread(fd, out + done, static_cast<size_t>(want), static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      if (bytes_read_before_error) *bytes_read_before_error = done;
      return -1;
    }
    if (n == 0) break;  // end of the source
    done += static_cast<uint64_t>(n);
  }
  if (bytes_read_before_error) *bytes_read_before_error = done;
  return static_cast<int64_t>(done);
}

uint64_t SourceSizeBytes(int fd) {
  if (fd < 0) return 0;
  uint64_t size = 0;
  if (::ioctl(fd, BLKGETSIZE64, &size) == 0 && size != 0) return size;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) return static_cast<uint64_t>(st.st_size);
  off_t end = ::lseek(fd, 0, SEEK_END);
  if (end > 0) return static_cast<uint64_t>(end);
  return 0;
}

std::string DescribeOpenError(const SourceOpenResult& r, const std::string& path) {
  switch (r.error) {
    case OpenError::kNone: return "";
    case OpenError::kNotFound: return "cannot open " + path + ": no such file or device";
    case OpenError::kPermission:
      return "cannot open " + path +
             ": permission denied (reading a disk device needs root or membership of the 'disk' group)";
    case OpenError::kIsDirectory: return "cannot open " + path + ": it is a directory, not a device or image";
    case OpenError::kOther: break;
  }
  return "cannot open " + path + ": " + std::strerror(r.err_no);
}

}  // namespace trovium::platform
