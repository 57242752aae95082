#pragma once
// Helpers of the export tests that need root: programs run without a shell,
// background servers that are always ended, loop devices and FUSE mounts
// that are always released, whatever happens to the test.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "core/md5.h"

namespace trovium::test {

// Starts argv with stdout and stderr on /dev/null (or stdout into a pipe when
// out_fd is given); the pid, or -1.
inline pid_t Start(const std::vector<std::string>& argv, int* out_fd = nullptr) {
  int fds[2] = {-1, -1};
  if (out_fd && pipe(fds) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(out_fd ? fds[1] : null, 1);
    dup2(null, 2);
    if (out_fd) {
      close(fds[0]);
      close(fds[1]);
    }
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  if (out_fd) {
    close(fds[1]);
    if (pid < 0) close(fds[0]);
    else *out_fd = fds[0];
  }
  return pid;
}

inline bool Wait(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Runs a program to its end; true when it exited with 0. Its stdout goes to out.
inline bool Run(const std::vector<std::string>& argv, std::string* out = nullptr) {
  int fd = -1;
  const pid_t pid = Start(argv, out ? &fd : nullptr);
  if (pid < 0) return false;
  if (out) {
    out->clear();
    char buf[4096];
    for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) out->append(buf, static_cast<size_t>(n));
    close(fd);
  }
  return Wait(pid);
}

inline bool HaveProgram(const std::string& name) {
  std::string out;
  return Run({"sh", "-c", "command -v \"$0\"", name}, &out) && !out.empty();
}

// Polls until `ready` holds, up to about ten seconds.
template <class F>
bool WaitUntil(F ready) {
  for (int i = 0; i < 1000; ++i) {
    if (ready()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return ready();
}

// A server in the foreground of its own process, ended with the object.
struct Background {
  pid_t pid = -1;
  ~Background() { Stop(); }
  void Stop() {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    Wait(pid);
    pid = -1;
  }
};

// A loop device attached to an image, detached with the object.
struct LoopDevice {
  std::string path;
  ~LoopDevice() {
    if (!path.empty()) Run({"losetup", "-d", path});
  }
  bool Attach(const std::string& image, bool read_only) {
    std::string out;
    std::vector<std::string> argv{"losetup", "-f", "--show"};
    if (read_only) argv.push_back("-r");
    argv.push_back(image);
    if (!Run(argv, &out)) return false;
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    path = out;
    return !path.empty();
  }
};

// A FUSE mount point, unmounted with the object.
struct FuseMount {
  std::string point;
  bool mounted = false;
  ~FuseMount() { Unmount(); }
  bool Unmount() {
    if (!mounted) return true;
    for (const char* tool : {"fusermount3", "fusermount"})
      if (mounted) mounted = !Run({tool, "-u", point});
    if (mounted) mounted = !Run({"fusermount", "-uz", point});
    return !mounted;
  }
};

inline std::string FileMd5(const std::string& path) {
  std::vector<uint8_t> bytes;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return "";
  uint8_t buf[1 << 16];
  for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) bytes.insert(bytes.end(), buf, buf + n);
  close(fd);
  return Md5Hex(bytes.data(), bytes.size());
}

}  // namespace trovium::test
