#include "platform/output_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace trovium::platform {

bool OutputStatus::no_space() const { return err_no == ENOSPC || err_no == EDQUOT; }

bool OutputStatus::name_refused() const {
  return err_no == EINVAL || err_no == EILSEQ || err_no == ENAMETOOLONG || err_no == EACCES || err_no == EPERM;
}

bool OutputExists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

bool IsRealFolder(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

OutputStatus CreateOutputFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0755) == 0) return {};
  const int e = errno;
  if (e == EEXIST) {
    // Only a real folder is merged into: a file or a link planted there is refused.
    if (IsRealFolder(path)) return {};
    return {ENOTDIR};
  }
  return {e};
}

OutputFile::~OutputFile() {
  if (fd_ >= 0) ::close(fd_);
}

OutputStatus OutputFile::Create(const std::string& path, bool exclusive) {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  const int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | (exclusive ? O_EXCL : O_TRUNC);
  int fd;
  do {
    fd = ::open(path.c_str(), flags, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return {errno == ELOOP ? EEXIST : errno};
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {  // a FIFO or device planted there
    ::close(fd);
    return {EEXIST};
  }
  fd_ = fd;
  return {};
}

OutputStatus OutputFile::Write(const void* data, size_t bytes) {
  if (fd_ < 0) return {EBADF};
  const auto* p = static_cast<const uint8_t*>(data);
  while (bytes > 0) {
    const ssize_t n = ::write(fd_, p, bytes);
    if (n < 0) {
      if (errno == EINTR) continue;
      return {errno};
    }
    if (n == 0) return {EIO};
    p += n;
    bytes -= static_cast<size_t>(n);
  }
  return {};
}

OutputStatus OutputFile::Truncate(uint64_t length) {
  if (fd_ < 0) return {EBADF};
  if (::ftruncate(fd_, static_cast<off_t>(length)) != 0) return {errno};
  return {};
}

OutputStatus OutputFile::Close() {
  if (fd_ < 0) return {};
  const int fd = fd_;
  fd_ = -1;
  // Delayed write errors (NFS, FUSE, full disks) surface here; EINTR still closed the descriptor.
  if (::close(fd) != 0 && errno != EINTR) return {errno};
  return {};
}

bool RemoveOutputFile(const std::string& path) { return ::unlink(path.c_str()) == 0 || errno == ENOENT; }

}  // namespace trovium::platform
