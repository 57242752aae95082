// Fixture images attached read-only as loop devices appear in the real lists.
// Needs root and loop support; skips with the reason otherwise.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "common/test_support.h"
#include "fs/device_enum.h"
#include "store/volume_record.h"

namespace trovium {
namespace {

std::string Run(const std::string& cmd) {
  std::string out;
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[256];
  while (std::fgets(buf, sizeof buf, p)) out += buf;
  ::pclose(p);
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

// A loop device over an image, read-only, detached when the object goes.
class LoopDevice {
 public:
  LoopDevice(const std::string& image, bool partitions) {
    path_ = Run(std::string("losetup -f --show -r ") + (partitions ? "-P " : "") + image + " 2>/dev/null");
    if (path_.rfind("/dev/loop", 0) != 0) path_.clear();
  }
  ~LoopDevice() {
    if (!path_.empty()) Run("losetup -d " + path_ + " 2>/dev/null");
  }
  LoopDevice(const LoopDevice&) = delete;
  LoopDevice& operator=(const LoopDevice&) = delete;
  bool attached() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  std::string name() const { return path_.substr(path_.rfind('/') + 1); }

 private:
  std::string path_;
};

std::string SkipReason() {
  if (::geteuid() != 0) return "needs root to attach loop devices";
  if (!std::filesystem::exists("/dev/loop-control")) return "no loop device support";
  if (Run("command -v losetup").empty()) return "losetup is not installed";
  return {};
}

nlohmann::json Truth(const std::string& image) {
  std::ifstream f(std::string(TROVIUM_SOURCE_TESTDATA_DIR) + "/fixtures/" + image + ".truth.json");
  return nlohmann::json::parse(f, nullptr, false);
}

const DeviceEntry* FindByPath(const std::vector<DeviceEntry>& list, const std::string& path) {
  for (const DeviceEntry& e : list)
    if ((e.kind == kDeviceDrive ? e.device_path : e.volume_path) == path) return &e;
  return nullptr;
}

TEST(DeviceEnumPrivileged, AttachedVolumeImageIsADriveAndAVolume) {
  if (std::string why = SkipReason(); !why.empty()) GTEST_SKIP() << why;
  const std::string image = test::TestDataPath("fixtures/ntfs.img");
  LoopDevice loop(image, false);
  if (!loop.attached()) GTEST_SKIP() << "losetup could not attach " << image;
  const uint64_t sectors = Truth("ntfs.img")["size_bytes"].get<uint64_t>() / 512;

  std::vector<platform::BlockDisk> disks = platform::ListBlockDisks(platform::BlockDeviceRoots{});
  size_t index = disks.size();
  for (size_t i = 0; i < disks.size(); ++i)
    if (disks[i].name == loop.name()) index = i;
  ASSERT_LT(index, disks.size()) << loop.path() << " is not listed";
  EXPECT_EQ(disks[index].size_bytes, sectors * 512);
  EXPECT_EQ(disks[index].bus, platform::BusType::kLoop);
  EXPECT_EQ(std::filesystem::canonical(disks[index].backing_file), std::filesystem::canonical(image));
  if (index >= kMaxDrives) GTEST_SKIP() << "more than " << kMaxDrives << " drives are attached";

  std::vector<DeviceEntry> drives, volumes;
  ASSERT_TRUE(CollectDevices(platform::BlockDeviceRoots{}, nullptr, drives, volumes));
  const DeviceEntry* drive = FindByPath(drives, loop.path());
  ASSERT_NE(drive, nullptr);
  EXPECT_EQ(drive->device_sectors, sectors);
  EXPECT_EQ(drive->display_name, loop.path());
  // Formatted without a partition table: the whole device is the volume.
  const DeviceEntry* volume = FindByPath(volumes, loop.path());
  ASSERT_NE(volume, nullptr);
  EXPECT_EQ(volume->start_lba, 0u);
  EXPECT_EQ(volume->sector_count, sectors);
  EXPECT_EQ(volume->fs_kind, kFsNtfs);
  EXPECT_EQ(volume->label, Truth("ntfs.img")["partitions"][0]["label"].get<std::string>());
}

TEST(DeviceEnumPrivileged, PartitionsOfALoopDeviceAreVolumes) {
  if (std::string why = SkipReason(); !why.empty()) GTEST_SKIP() << why;
  const std::string image = test::TestDataPath("fixtures/disk-mbr.img");
  LoopDevice loop(image, true);
  if (!loop.attached()) GTEST_SKIP() << "losetup could not attach " << image;
  const nlohmann::json truth = Truth("disk-mbr.img");
  const std::string first = loop.name() + "p1";
  if (!std::filesystem::exists("/sys/block/" + loop.name() + "/" + first))
    GTEST_SKIP() << "this kernel exposes no partitions of loop devices";

  std::vector<DeviceEntry> drives, volumes;
  ASSERT_TRUE(CollectDevices(platform::BlockDeviceRoots{}, nullptr, drives, volumes));
  const DeviceEntry* drive = FindByPath(drives, loop.path());
  if (!drive) GTEST_SKIP() << "more than " << kMaxDrives << " drives are attached";
  for (const auto& part : truth["partitions"]) {
    const uint64_t start = part["start_lba"].get<uint64_t>();
    const DeviceEntry* found = nullptr;
    for (const DeviceEntry& v : volumes)
      if (v.device_path == loop.path() && v.start_lba == start) found = &v;
    ASSERT_NE(found, nullptr) << "partition at " << start;
    EXPECT_EQ(found->sector_count, part["sector_count"].get<uint64_t>());
    EXPECT_EQ(found->disk_number, drive->disk_number);
    EXPECT_EQ(found->label, part["label"].get<std::string>());
  }
}

}  // namespace
}  // namespace trovium
