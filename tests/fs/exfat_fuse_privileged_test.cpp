// An exFAT volume made at test time with mkfs.exfat and written through
// exfat-fuse, read back: names, sizes, deleted entries and file contents.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/test_support.h"
#include "fs/exfat_volume.h"
#include "scan/sector_source.h"
#include "store/extents.h"

namespace trovium {
namespace {

bool Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// Unmounts and detaches whatever happens to the test.
struct Mount {
  std::string point;
  std::string loop;
  bool mounted = false;
  ~Mount() {
    if (mounted) Shell("umount " + point + " || fusermount -u " + point);
    if (!loop.empty()) Shell("losetup -d " + loop);
  }
};

// exfat-fuse wants a block device: the image behind a loop device.
std::string AttachLoop(const std::string& image) {
  std::string out;
  if (FILE* p = popen(("losetup -f --show " + image + " 2>/dev/null").c_str(), "r")) {
    char line[256];
    if (fgets(line, sizeof line, p)) out = line;
    pclose(p);
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
  std::vector<uint8_t> bytes(size);
  uint32_t x = seed * 2654435761u + 1;
  for (auto& b : bytes) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  return bytes;
}

std::vector<uint8_t> Content(const VolumeRecord& v, const FileRecord& r) {
  std::vector<DataExtent> extents;
  if (!BuildExtents(v, r, extents)) return {};
  CSectorSource source;
  if (!OpenImage(v.device_path, source)) return {};
  std::vector<uint8_t> data;
  for (const DataExtent& e : extents) {
    std::vector<uint8_t> part(e.sector_count * kSectorBytes);
    ReadSectors(static_cast<uint32_t>(e.sector_count), source, part.data(), e.start_lba);
    data.insert(data.end(), part.begin(), part.end());
  }
  CloseSource(source);
  data.resize(std::min<size_t>(data.size(), r.size));
  return data;
}

TEST(ExfatFusePrivilegedTest, ListsWhatExfatFuseWroteAndDeleted) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to mount through FUSE";
  if (access("/dev/fuse", R_OK | W_OK) != 0) GTEST_SKIP() << "no /dev/fuse";
  if (!Shell("command -v mkfs.exfat") || !Shell("command -v mount.exfat-fuse"))
    GTEST_SKIP() << "mkfs.exfat or exfat-fuse is not installed";
  test::TempDir dir;
  const std::string img = dir.File("v.img");
  Mount mount;
  mount.point = dir.File("mnt");
  ASSERT_TRUE(Shell("truncate -s 32M " + img + " && mkfs.exfat -L FUSEVOL " + img + " >/dev/null" + " && mkdir " + mount.point));
  mount.loop = AttachLoop(img);
  if (mount.loop.empty()) GTEST_SKIP() << "no loop device available";
  ASSERT_TRUE(Shell("mount.exfat-fuse " + mount.loop + " " + mount.point));
  mount.mounted = true;
  struct Written {
    std::string path;
    size_t size;
  } files[] = {{"A long name well over fifteen.txt", 20000},
               {"Sub/Deep/数据.txt", 1500},
               {"Sub/big.bin", 300000},
               {"Sub/empty.dat", 0}};
  ASSERT_TRUE(Shell("mkdir -p " + mount.point + "/Sub/Deep"));
  for (size_t i = 0; i < std::size(files); ++i)
    ASSERT_TRUE(test::WriteFile(mount.point + "/" + files[i].path, Pattern(files[i].size, static_cast<uint8_t>(i))));
  ASSERT_TRUE(test::WriteFile(mount.point + "/Sub/gone.txt", Pattern(5000, 99)));
  ASSERT_TRUE(Shell("rm " + mount.point + "/Sub/gone.txt"));
  ASSERT_TRUE(Shell("umount " + mount.point + " || fusermount -u " + mount.point));
  mount.mounted = false;
  Shell("losetup -d " + mount.loop);
  mount.loop.clear();

  VolumeRecord v;
  v.device_path = img;
  v.fs_kind = kFsExfat;
  v.sector_count = kUnknownSectorCount;
  CSectorSource source;
  ASSERT_TRUE(OpenImage(img, source));
  ASSERT_TRUE(ReadSectors(1, source, v.boot_sector.data(), 0));
  ASSERT_TRUE(ReadExfatVolumeLabel(v, source));
  CloseSource(source);
  EXPECT_EQ(v.label, "FUSEVOL");
  RegisterExfatExtentBuilder();
  ASSERT_TRUE(ReadExfatVolume(v, nullptr));

  std::map<std::string, uint32_t> by_path;
  for (uint32_t i = kRootIndex + 1; i < v.file_count; ++i) {
    if (!GetRecord(v, i)) continue;
    std::string path;
    for (uint32_t at : PathToRoot(v, i)) {
      if (at == kRootIndex) break;
      path = GetRecord(v, at)->name + (path.empty() ? "" : "/") + path;
    }
    by_path[path] = i;
  }
  for (size_t i = 0; i < std::size(files); ++i) {
    SCOPED_TRACE(files[i].path);
    ASSERT_EQ(by_path.count(files[i].path), 1u);
    const FileRecord& r = *GetRecord(v, by_path[files[i].path]);
    EXPECT_FALSE(r.is_deleted());
    EXPECT_EQ(r.size, files[i].size);
    if (files[i].size > 0) {
      EXPECT_EQ(Content(v, r), Pattern(files[i].size, static_cast<uint8_t>(i)));
    }
  }
  ASSERT_EQ(by_path.count("Sub/gone.txt"), 1u);
  const FileRecord& gone = *GetRecord(v, by_path["Sub/gone.txt"]);
  EXPECT_TRUE(gone.is_deleted());
  EXPECT_EQ(gone.size, 5000u);
}

}  // namespace
}  // namespace trovium
