#pragma once
// The single-instance lock: an exclusive flock on a lock file in the runtime
// folder, named after the program's instance name. The kernel drops the lock
// when the process ends, however it ends.

#include <string>
#include <string_view>

namespace trovium::platform {

class InstanceLock {
 public:
  // Tries once, without waiting; held() says whether this process now owns
  // the name. Another process (or another InstanceLock object) holding the
  // same name makes it fail.
  explicit InstanceLock(std::string_view name);
  ~InstanceLock();
  InstanceLock(InstanceLock&& other) noexcept;
  InstanceLock& operator=(InstanceLock&& other) noexcept;
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  bool held() const { return fd_ >= 0; }
  // Full path of the lock file ("" when there is no runtime folder).
  const std::string& path() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
};

// The lock file's name for an instance name: ASCII letters, digits, '-' and '_'
// are kept, everything else becomes '_'; a name that had to be changed gets a
// hash of the original so that different names stay different files.
std::string InstanceLockFileName(std::string_view name);

}  // namespace trovium::platform
