#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

#include "platform/paths.h"

namespace trovium::platform {

std::string InstanceLockFileName(std::string_view name) {
  constexpr size_t kMaxKept = 120;  // well inside NAME_MAX with prefix and hash
  std::string safe;
  bool changed = name.empty() || name.size() > kMaxKept;
  for (char c : name.substr(0, kMaxKept)) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
              c == '_';
    safe += ok ? c : '_';
    changed = changed || !ok;
  }
  if (changed) {
    uint32_t hash = 2166136261u;  // FNV-1a
    for (char c : name) hash = (hash ^ static_cast<uint8_t>(c)) * 16777619u;
    char hex[16];
    std::snprintf(hex, sizeof(hex), "-%08x", hash);
    safe += hex;
  }
  return "trovium-" + safe + ".lock";
}

InstanceLock::InstanceLock(std::string_view name) {
  std::string folder = RuntimeFolder();
  if (folder.empty()) return;
  path_ = folder + "/" + InstanceLockFileName(name);
  int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return;
  }
  fd_ = fd;
}

InstanceLock::~InstanceLock() {
  // Closing the descriptor releases the lock. The file stays: removing it
  // could let two processes lock two different files of the same name.
  if (fd_ >= 0) ::close(fd_);
}

InstanceLock::InstanceLock(InstanceLock&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)) {
  other.fd_ = -1;
}

InstanceLock& InstanceLock::operator=(InstanceLock&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    path_ = std::move(other.path_);
    other.fd_ = -1;
  }
  return *this;
}

}  // namespace trovium::platform
