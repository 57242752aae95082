// Volumes whose nodes are the fixture images: file system, label, serial and
// boot sector as libblkid and the images themselves say, checked against the
// Sleuth Kit's manifests and fsstat.

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>

#include "common/test_support.h"
#include "fs/device_enum.h"
#include "platform/fake_block_tree.h"
#include "store/volume_record.h"

namespace trovium {
namespace {

constexpr char kUsbParent[] = "pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host6/target6:0:0/6:0:0:0";
constexpr char kAtaParent[] = "pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0";
constexpr char kNvmeParent[] = "pci0000:00/0000:00:1d.0/0000:3d:00.0/nvme/nvme0";
constexpr char kMmcParent[] = "pci0000:00/0000:00:1e.6/mmc_host/mmc0/mmc0:0001";

std::string TruthLabel(const std::string& image) {
  std::ifstream f(std::string(TROVIUM_SOURCE_TESTDATA_DIR) + "/fixtures/" + image + ".truth.json");
  auto truth = nlohmann::json::parse(f, nullptr, false);
  return truth.is_object() ? truth["partitions"][0]["label"].get<std::string>() : std::string();
}

// The volume serial as fsstat prints it ("Volume ID: 0x1234abcd", "Volume
// Serial Number: ebdb-6d24" or the 64-bit NTFS one), low 32 bits.
bool FsstatSerial(const std::string& image, uint32_t& serial) {
  FILE* p = ::popen(("fsstat " + image + " 2>/dev/null").c_str(), "r");
  if (!p) return false;
  char line[512];
  bool found = false;
  while (!found && std::fgets(line, sizeof line, p)) {
    std::string s(line);
    for (const char* key : {"Volume ID: ", "Volume Serial Number: "}) {
      size_t at = s.find(key);
      if (at != 0) continue;
      std::string hex;
      for (char c : s.substr(std::strlen(key))) {
        if (std::isxdigit(static_cast<unsigned char>(c))) hex += c;
        else if (c != '-' && c != 'x') break;
      }
      if (hex.empty()) continue;
      serial = static_cast<uint32_t>(std::stoull(hex.substr(hex.size() > 8 ? hex.size() - 8 : 0), nullptr, 16));
      found = true;
    }
  }
  ::pclose(p);
  return found;
}

std::array<uint8_t, 512> FirstSector(const std::string& path) {
  std::array<uint8_t, 512> s{};
  std::ifstream(path, std::ios::binary).read(reinterpret_cast<char*>(s.data()), 512);
  return s;
}

TEST(DeviceEnumFixture, VolumesTellTheirFileSystemLabelSerialAndBootSector) {
  test::TempDir dir;
  test::FakeBlockTree tree(dir.path());
  tree.AddDisk("sdb", kUsbParent, 1048576, true, "8:16", "SanDisk ", "Cruzer Blade");
  tree.AddPartition("sdb", "sdb1", 1, 2048, 131072, "8:17");
  tree.LinkNode("sdb1", test::TestDataPath("fixtures/fat32.img"));
  tree.AddDisk("nvme0n1", kNvmeParent, 1048576, false, "259:0", "", "Some NVMe");
  tree.AddPartition("nvme0n1", "nvme0n1p1", 1, 2048, 98304, "259:1");
  tree.LinkNode("nvme0n1p1", test::TestDataPath("fixtures/ntfs.img"));
  tree.AddDisk("mmcblk0", kMmcParent, 1048576, false, "179:0");
  tree.AddPartition("mmcblk0", "mmcblk0p1", 1, 8192, 65536, "179:1");
  tree.LinkNode("mmcblk0p1", test::TestDataPath("fixtures/exfat.img"));
  // A FAT16 image attached whole: the loop device itself is the volume.
  tree.AddDisk("loop0", "", 65536, false, "7:0");
  tree.SetAttr("loop0/loop/backing_file", test::TestDataPath("fixtures/fat16.img"));
  tree.LinkNode("loop0", test::TestDataPath("fixtures/fat16.img"));

  std::vector<DeviceEntry> drives, volumes;
  ASSERT_TRUE(CollectDevices(tree.roots(), nullptr, drives, volumes));
  ASSERT_EQ(volumes.size(), 4u);

  struct Want {
    const char* partition;
    const char* image;
    const char* fs_name;
    int32_t fs_kind;
    uint64_t start_lba;
  };
  const Want wants[] = {
      {"mmcblk0p1", "exfat.img", "exfat", kFsExfat, 8192},
      {"nvme0n1p1", "ntfs.img", "ntfs", kFsNtfs, 2048},
      {"sdb1", "fat32.img", "vfat", kFsFat32, 2048},
      {"loop0", "fat16.img", "vfat", kFsFat16, 0},
  };
  for (size_t i = 0; i < std::size(wants); ++i) {
    const Want& w = wants[i];
    const DeviceEntry& v = volumes[i];
    const std::string image = test::TestDataPath(std::string("fixtures/") + w.image);
    SCOPED_TRACE(w.partition);
    EXPECT_EQ(v.drive_letter, w.partition);
    EXPECT_EQ(v.volume_path, tree.DevNode(w.partition));
    EXPECT_EQ(v.start_lba, w.start_lba);
    EXPECT_EQ(v.fs_name, w.fs_name);
    EXPECT_EQ(v.fs_kind, w.fs_kind);
    const std::string label = TruthLabel(w.image);
    ASSERT_FALSE(label.empty());
    EXPECT_EQ(v.label, label);
    EXPECT_EQ(v.display_name, label + " (" + w.partition + ": " + w.fs_name + ")");
    uint32_t serial = 0;
    ASSERT_TRUE(FsstatSerial(image, serial));
    EXPECT_EQ(v.serial, serial);
    EXPECT_EQ(v.boot_sector, FirstSector(image));
  }
  EXPECT_EQ(volumes[3].sector_count, 65536u);
  EXPECT_EQ(volumes[3].device_path, tree.DevNode("loop0"));
}

TEST(DeviceEnumFixture, BootSectorNamesAFileSystemTheOsDoesNotRecognise) {
  // An NTFS boot sector with nothing behind it: libblkid finds no volume, the
  // boot sector still says NTFS and carries the serial.
  const std::string ntfs = test::TestDataPath("fixtures/ntfs.img");
  std::array<uint8_t, 512> boot = FirstSector(ntfs);
  std::vector<uint8_t> bytes(1 << 20);
  std::copy(boot.begin(), boot.end(), bytes.begin());
  test::TempDir dir;
  ASSERT_TRUE(test::WriteFile(dir.File("bare.img"), bytes));
  test::FakeBlockTree tree(dir.path());
  tree.AddDisk("sda", kAtaParent, 4096, false, "8:0", "ATA     ", "Disk");
  tree.AddPartition("sda", "sda1", 1, 2048, 2048, "8:1");
  tree.LinkNode("sda1", dir.File("bare.img"));

  std::vector<DeviceEntry> drives, volumes;
  ASSERT_TRUE(CollectDevices(tree.roots(), nullptr, drives, volumes));
  ASSERT_EQ(volumes.size(), 1u);
  EXPECT_EQ(volumes[0].fs_name, "ntfs");
  EXPECT_EQ(volumes[0].fs_kind, kFsNtfs);
  EXPECT_EQ(volumes[0].label, kDefaultVolumeLabel);
  EXPECT_EQ(volumes[0].display_name, "本地磁盘 (sda1: ntfs)");
  EXPECT_EQ(volumes[0].boot_sector, boot);
  uint32_t serial = 0;
  ASSERT_TRUE(FsstatSerial(ntfs, serial));
  EXPECT_EQ(volumes[0].serial, serial);
}

}  // namespace
}  // namespace trovium
