#include "platform/device_identity.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <fstream>

namespace trovium::platform {
namespace {

// "MAJ:MIN" of a sysfs "dev" file.
bool ReadDevFile(const std::string& path, uint64_t& dev) {
  std::ifstream in(path);
  unsigned maj = 0, min = 0;
  char colon = 0;
  if (!(in >> maj >> colon >> min) || colon != ':') return false;
  dev = makedev(maj, min);
  return true;
}

void AddUnique(std::vector<uint64_t>& out, uint64_t dev) {
  if (std::find(out.begin(), out.end(), dev) == out.end()) out.push_back(dev);
}

}  // namespace

bool DeviceOfPath(const std::string& path, uint64_t& dev) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  dev = st.st_dev;
  return true;
}

std::vector<uint64_t> SourceDeviceNumbers(const std::string& source_path, const std::string& sysfs_root) {
  std::vector<uint64_t> out;
  struct stat st;
  if (::stat(source_path.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return out;
  AddUnique(out, st.st_rdev);
  char link[64];
  std::snprintf(link, sizeof link, "/dev/block/%u:%u", major(st.st_rdev), minor(st.st_rdev));
  char resolved[PATH_MAX];
  if (!::realpath((sysfs_root + link).c_str(), resolved)) return out;
  std::string node = resolved;
  // A partition's sysfs folder holds a "partition" file and sits inside its disk's folder.
  struct stat pst;
  if (::stat((node + "/partition").c_str(), &pst) == 0) node = node.substr(0, node.rfind('/'));
  uint64_t dev = 0;
  if (ReadDevFile(node + "/dev", dev)) AddUnique(out, dev);
  if (DIR* d = ::opendir(node.c_str())) {
    while (dirent* e = ::readdir(d)) {
      const std::string child = node + "/" + e->d_name;
      if (e->d_name[0] == '.') continue;
      if (::stat((child + "/partition").c_str(), &pst) == 0 && ReadDevFile(child + "/dev", dev)) AddUnique(out, dev);
    }
    ::closedir(d);
  }
  return out;
}

bool IsWritableFolder(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && ::access(path.c_str(), W_OK | X_OK) == 0;
}

}  // namespace trovium::platform
