#include "platform/opener.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

extern char** environ;

namespace trovium::platform {
namespace {

struct SpawnState {
  std::mutex lock;
  std::vector<pid_t> children;
  std::string opener;  // "" means xdg-open
};

SpawnState& State() {
  static SpawnState state;
  return state;
}

}  // namespace

bool SpawnDetached(const std::vector<std::string>& argv) {
  if (argv.empty() || argv[0].empty()) return false;
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return false;
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  // The viewer gets its own process group, so a Ctrl-C meant for us does not
  // close it.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attr, 0);

  // Keep the lock across the spawn: a concurrent ReapSpawned(true) must see
  // the child in the list.
  SpawnState& s = State();
  std::lock_guard<std::mutex> hold(s.lock);
  pid_t pid = -1;
  int rc = posix_spawnp(&pid, args[0], &actions, &attr, args.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  s.children.push_back(pid);
  return true;
}

int ReapSpawned(bool wait) {
  SpawnState& s = State();
  std::lock_guard<std::mutex> hold(s.lock);
  int reaped = 0;
  for (size_t i = 0; i < s.children.size();) {
    int status = 0;
    pid_t r;
    do {
      r = waitpid(s.children[i], &status, wait ? 0 : WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == 0) {
      ++i;
      continue;
    }
    // Reaped, or no longer our child (someone else reaped it): forget it.
    s.children.erase(s.children.begin() + static_cast<std::ptrdiff_t>(i));
    if (r > 0) ++reaped;
  }
  return reaped;
}

bool OpenWithDesktop(const std::string& path) {
  if (path.empty()) return false;
  ReapSpawned(false);
  std::string program;
  {
    SpawnState& s = State();
    std::lock_guard<std::mutex> hold(s.lock);
    program = s.opener.empty() ? "xdg-open" : s.opener;
  }
  // A relative name starting with "-" would be read as an option.
  std::string arg = path[0] == '-' ? "./" + path : path;
  return SpawnDetached({program, arg});
}

void SetDesktopOpenerForTesting(const std::string& program) {
  SpawnState& s = State();
  std::lock_guard<std::mutex> hold(s.lock);
  s.opener = program;
}

}  // namespace trovium::platform
