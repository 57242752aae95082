#include "platform/paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace trovium::platform {
namespace {

std::string EnvOrEmpty(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// mkdir -p with mode 0700 for the folders we create.
bool MakeFolders(const std::string& path) {
  if (path.empty()) return false;
  if (IsDirectory(path)) return true;
  std::string part;
  size_t pos = 0;
  while (pos != std::string::npos) {
    pos = path.find('/', pos + 1);
    part = path.substr(0, pos);
    if (part.empty() || IsDirectory(part)) continue;
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return IsDirectory(path);
}

std::string HomeFolder() {
  std::string home = EnvOrEmpty("HOME");
  if (!home.empty()) return home;
  if (const passwd* pw = ::getpwuid(::getuid())) return pw->pw_dir ? pw->pw_dir : "";
  return "";
}

}  // namespace

std::string ExecutablePath() {
  std::vector<char> buf(4096);
  ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return "";
  return std::string(buf.data(), static_cast<size_t>(n));
}

std::string ExecutableFolder() {
  std::string exe = ExecutablePath();
  size_t slash = exe.rfind('/');
  if (slash == std::string::npos) return "";
  return exe.substr(0, slash + 1);
}

std::string FindDataFile(const std::string& name) {
  std::string folder = ExecutableFolder();
  if (folder.empty()) return "";
  for (const std::string& candidate : {folder + name, folder + "../share/trovium/" + name}) {
    struct stat st {};
    if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return candidate;
  }
  return "";
}

std::string StateFolder() {
  std::string folder = EnvOrEmpty("TROVIUM_HOME");
  if (folder.empty()) {
    std::string xdg = EnvOrEmpty("XDG_STATE_HOME");
    if (!xdg.empty() && xdg[0] == '/') {
      folder = xdg + "/trovium";
    } else {
      std::string home = HomeFolder();
      if (home.empty()) return "";
      folder = home + "/.local/state/trovium";
    }
  }
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return MakeFolders(folder) ? folder : "";
}

std::string RuntimeFolder() {
  std::string run = EnvOrEmpty("XDG_RUNTIME_DIR");
  if (!run.empty() && IsDirectory(run)) return run;
  return StateFolder();
}

}  // namespace trovium::platform
