// Listing an NTFS volume of 100 000 files: our reader against `fls -r -p` of
// The Sleuth Kit on the same image, in the same run. Prints both times and
// their ratio.
//
//   ntfs_list_bench FOLDER
//
// The image FOLDER/ntfs-100k.img is made when missing (mkntfs on a sparse
// file, then 100 folders of 1000 small files written through an ntfs-3g
// mount, which needs root).

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <vector>

#include "fs/ntfs_volume.h"
#include "scan/sector_source.h"

namespace {

constexpr int kFolders = 100;
constexpr int kFilesPerFolder = 1000;
constexpr uint64_t kImageBytes = 2ull << 30;

bool Run(const std::string& command) { return std::system(command.c_str()) == 0; }

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

bool MakeImage(const std::string& folder, const std::string& image) {
  if (::geteuid() != 0) {
    std::fprintf(stderr, "%s is missing and making it needs root (an ntfs-3g mount)\n", image.c_str());
    return false;
  }
  const std::string part = image + ".part";
  const std::string mnt = folder + "/ntfs-100k.mnt";
  std::printf("making %s ...\n", image.c_str());
  if (!Run("truncate -s " + std::to_string(kImageBytes) + " '" + part + "'") ||
      !Run("mkntfs -F -Q -q -L BENCH100K '" + part + "' >/dev/null 2>&1") || !Run("mkdir -p '" + mnt + "'") ||
      !Run("ntfs-3g '" + part + "' '" + mnt + "'"))
    return false;
  bool ok = true;
  for (int d = 0; d < kFolders && ok; ++d) {
    char dir[64];
    std::snprintf(dir, sizeof dir, "/folder_%03d", d);
    ok = ::mkdir((mnt + dir).c_str(), 0755) == 0;
    for (int f = 0; f < kFilesPerFolder && ok; ++f) {
      char name[64];
      std::snprintf(name, sizeof name, "/document_%05d.txt", f);
      std::ofstream out(mnt + dir + name, std::ios::binary);
      out << "file " << d << "/" << f << " of the listing benchmark\n";
      ok = out.good();
    }
  }
  ok = Run("umount '" + mnt + "'") && ok;
  ::rmdir(mnt.c_str());
  return ok && std::rename(part.c_str(), image.c_str()) == 0;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// One listing through our reader; returns the records listed.
uint64_t ListOurs(const std::string& image) {
  trovium::VolumeRecord v;
  v.fs_kind = trovium::kFsNtfs;
  v.device_path = image;
  v.sector_count = kImageBytes / 512;
  trovium::CSectorSource source;
  if (!trovium::OpenImage(image, source) || !trovium::ReadSectors(1, source, v.boot_sector.data(), 0)) return 0;
  trovium::CloseSource(source);
  if (!trovium::ReadNtfsVolume(v, nullptr)) return 0;
  uint64_t listed = 0;
  for (uint32_t i = 0; i < v.file_count; ++i) listed += trovium::IsValidRecord(v, i);
  return listed;
}

// `fls -r -p image`, its output thrown away.
bool ListFls(const std::string& image) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::execlp("fls", "fls", "-r", "-p", image.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  const std::string image = folder + "/ntfs-100k.img";
  if (!Exists(image) && !MakeImage(folder, image)) return 1;

  // A first pass of each brings the image into the page cache.
  const uint64_t listed = ListOurs(image);
  if (listed < uint64_t{kFolders} * kFilesPerFolder || !ListFls(image)) {
    std::fprintf(stderr, "listing failed (%llu records)\n", static_cast<unsigned long long>(listed));
    return 1;
  }
  std::vector<double> ours, fls;
  for (int round = 0; round < 3; ++round) {
    auto t = std::chrono::steady_clock::now();
    ListOurs(image);
    ours.push_back(Seconds(t));
    t = std::chrono::steady_clock::now();
    ListFls(image);
    fls.push_back(Seconds(t));
  }
  std::sort(ours.begin(), ours.end());
  std::sort(fls.begin(), fls.end());
  std::printf("records listed: %llu\n", static_cast<unsigned long long>(listed));
  std::printf("ours (median of 3): %.3f s\n", ours[1]);
  std::printf("fls -r -p (median of 3): %.3f s\n", fls[1]);
  std::printf("fls / ours: %.2f\n", fls[1] / ours[1]);
  return 0;
}
