#include "platform/block_devices.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "common/test_support.h"
#include "platform/fake_block_tree.h"

namespace trovium::platform {
namespace {

constexpr uint64_t kTiB = 1ull << 40;

const BlockDisk* Find(const std::vector<BlockDisk>& disks, const std::string& name) {
  for (const BlockDisk& d : disks)
    if (d.name == name) return &d;
  return nullptr;
}

TEST(BlockDevices, ListsWholeDisksWithBusSizeAndPartitions) {
  test::TempDir dir;
  test::FakeBlockTree tree(dir.path());
  // A 3 TiB SATA disk: sizes and starts beyond 32 bits of sectors.
  tree.AddDisk("sda", "pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0", 3 * kTiB / 512, false, "8:0",
               "ATA     ", "WDC WD30EFRX-68E");
  tree.AddPartition("sda", "sda2", 2, 4294969344ull, 2147481600ull, "8:2");
  tree.AddPartition("sda", "sda1", 1, 2048, 1048576, "8:1");
  tree.AddDisk("sdb", "pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host6/target6:0:0/6:0:0:0", 30031872, true,
               "8:16", "SanDisk ", "Cruzer Blade    ");
  tree.AddDisk("sdaa", "pci0000:00/0000:00:1f.2/ata2/host1/target1:0:0/1:0:0:0", 2048, false, "65:160");
  tree.AddDisk("nvme0n1", "pci0000:00/0000:00:1d.0/0000:3d:00.0/nvme/nvme0", 1953525168, false, "259:0", "",
               "Samsung SSD 970 EVO Plus 1TB");
  tree.AddDisk("mmcblk0", "pci0000:00/0000:00:1e.6/mmc_host/mmc0/mmc0:0001", 31116288, false, "179:0");
  tree.SetAttr("mmcblk0/device/name", "SD32G");
  tree.AddDisk("vda", "pci0000:00/0000:00:02.0/virtio1", 1048576, false, "254:0");
  tree.AddDisk("sdc", "pci0000:00/0000:00:02.0/virtio2/host2/target2:0:0/2:0:0:0", 4096, false, "8:32");
  tree.AddDisk("loop0", "", 2048, false, "7:0");
  tree.SetAttr("loop0/loop/backing_file", "/images/card.img");
  // Not offered: unattached loop, optical drive, eMMC boot area, hidden
  // multipath path, RAM disk, an empty card reader.
  tree.AddDisk("loop1", "", 0, false, "7:1");
  tree.AddDisk("sr0", "pci0000:00/0000:00:1f.2/ata3/host2/target2:0:0/2:0:0:0", 2097152, true, "11:0");
  tree.AddDisk("mmcblk0boot0", "pci0000:00/0000:00:1e.6/mmc_host/mmc0/mmc0:0001", 8192, false, "179:8");
  tree.AddDisk("nvme0c0n1", "pci0000:00/0000:00:1d.0/0000:3d:00.0/nvme/nvme0", 2048, false, "259:9");
  tree.AddDisk("zram0", "", 2048, false, "252:0");
  tree.AddDisk("sdd", "pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/host7/target7:0:0/7:0:0:0", 0, true, "8:48");

  std::vector<BlockDisk> disks = ListBlockDisks(tree.roots());
  std::vector<std::string> names;
  for (const BlockDisk& d : disks) names.push_back(d.name);
  EXPECT_EQ(names, (std::vector<std::string>{"mmcblk0", "nvme0n1", "sda", "sdb", "sdc", "sdaa", "vda", "loop0"}));

  const std::map<std::string, BusType> bus = {{"mmcblk0", BusType::kMmc}, {"nvme0n1", BusType::kNvme},
                                              {"sda", BusType::kAta},     {"sdb", BusType::kUsb},
                                              {"sdc", BusType::kScsi},    {"vda", BusType::kVirtio},
                                              {"loop0", BusType::kLoop}};
  for (const auto& [name, expected] : bus) {
    ASSERT_NE(Find(disks, name), nullptr) << name;
    EXPECT_EQ(Find(disks, name)->bus, expected) << name;
  }

  const BlockDisk& sda = *Find(disks, "sda");
  EXPECT_EQ(sda.size_bytes, 3 * kTiB);
  EXPECT_EQ(sda.device_path, tree.DevNode("sda"));
  EXPECT_EQ(sda.vendor, "ATA     ");
  EXPECT_EQ(sda.model, "WDC WD30EFRX-68E");
  EXPECT_FALSE(sda.removable);
  ASSERT_EQ(sda.partitions.size(), 2u);
  EXPECT_EQ(sda.partitions[0].name, "sda1");
  EXPECT_EQ(sda.partitions[0].start_sector, 2048u);
  EXPECT_EQ(sda.partitions[1].name, "sda2");
  EXPECT_EQ(sda.partitions[1].number, 2u);
  EXPECT_EQ(sda.partitions[1].start_sector, 4294969344ull);
  EXPECT_EQ(sda.partitions[1].sector_count, 2147481600ull);
  EXPECT_EQ(sda.partitions[1].device_path, tree.DevNode("sda2"));

  EXPECT_TRUE(Find(disks, "sdb")->removable);
  EXPECT_EQ(Find(disks, "mmcblk0")->model, "SD32G");
  EXPECT_EQ(Find(disks, "loop0")->backing_file, "/images/card.img");
  EXPECT_TRUE(Find(disks, "loop0")->partitions.empty());
}

TEST(BlockDevices, MountPointsByDeviceNumberOrFuseSource) {
  test::TempDir dir;
  test::FakeBlockTree tree(dir.path());
  tree.AddDisk("sdb", "pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host6/target6:0:0/6:0:0:0", 30031872, true,
               "8:16");
  tree.AddPartition("sdb", "sdb1", 1, 2048, 1000000, "8:17");
  tree.AddPartition("sdb", "sdb2", 2, 1002048, 1000000, "8:18");
  tree.AddPartition("sdb", "sdb3", 3, 2002048, 1000000, "8:19");
  tree.AddDisk("vda", "pci0000:00/0000:00:02.0/virtio1", 1048576, false, "254:0");
  tree.AddMount("8:17", "/media/user/My\\040Stick", "vfat", tree.DevNode("sdb1"));
  tree.AddMount("0:52", "/media/user/win", "fuseblk", tree.DevNode("sdb2"));
  tree.AddMount("8:17", "/mnt/again", "vfat", tree.DevNode("sdb1"));
  tree.AddMount("254:0", "/", "ext4", "/dev/root");

  std::vector<BlockDisk> disks = ListBlockDisks(tree.roots());
  const BlockDisk& sdb = *Find(disks, "sdb");
  ASSERT_EQ(sdb.partitions.size(), 3u);
  EXPECT_EQ(sdb.partitions[0].mount.mount_point, "/media/user/My Stick");
  EXPECT_EQ(sdb.partitions[0].mount.fs_type, "vfat");
  EXPECT_EQ(sdb.partitions[1].mount.mount_point, "/media/user/win");
  EXPECT_EQ(sdb.partitions[2].mount.mount_point, "");
  EXPECT_EQ(sdb.mount.mount_point, "");
  EXPECT_EQ(Find(disks, "vda")->mount.mount_point, "/");
  EXPECT_EQ(Find(disks, "vda")->mount.fs_type, "ext4");
}

TEST(BlockDevices, ProbeReadsWhatMkfsWrote) {
  test::TempDir dir;
  const std::string image = dir.File("fat16.img");
  const std::string cmd = "mkfs.fat -C -F 16 -n TROVIUMTST -i 1234ABCD " + image + " 16384 >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0) GTEST_SKIP() << "mkfs.fat is not installed";
  VolumeProbe probe;
  OpenError why = OpenError::kOther;
  ASSERT_TRUE(ProbeVolume(image, probe, &why));
  EXPECT_EQ(why, OpenError::kNone);
  EXPECT_EQ(probe.type, "vfat");
  EXPECT_EQ(probe.version, "FAT16");
  EXPECT_EQ(probe.label, "TROVIUMTST");
  EXPECT_EQ(probe.uuid, "1234-ABCD");

  ASSERT_TRUE(test::WriteFile(dir.File("zeros.img"), std::vector<uint8_t>(65536)));
  EXPECT_FALSE(ProbeVolume(dir.File("zeros.img"), probe, &why));
  EXPECT_EQ(why, OpenError::kNone);  // readable, just nothing on it
  EXPECT_FALSE(ProbeVolume(dir.File("missing"), probe, &why));
  EXPECT_EQ(why, OpenError::kNotFound);
}

TEST(BlockDevices, FreeSpaceOfAMountPoint) {
  test::TempDir dir;
  EXPECT_GT(TotalFreeBytes(dir.path()), 0u);
  EXPECT_EQ(TotalFreeBytes(""), 0u);
  EXPECT_EQ(TotalFreeBytes(dir.File("not-there")), 0u);
}

}  // namespace
}  // namespace trovium::platform
