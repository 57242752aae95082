#include "fs/device_enum.h"

#include <gtest/gtest.h>

#include "common/test_support.h"
#include "platform/fake_block_tree.h"
#include "scan/job_state.h"
#include "scan/progress.h"
#include "store/volume_record.h"

namespace trovium {
namespace {

constexpr uint64_t kTiB = 1ull << 40;
constexpr char kAtaParent[] = "pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0";
constexpr char kUsbParent[] = "pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host6/target6:0:0/6:0:0:0";
constexpr char kNvmeParent[] = "pci0000:00/0000:00:1d.0/0000:3d:00.0/nvme/nvme0";
constexpr char kMmcParent[] = "pci0000:00/0000:00:1e.6/mmc_host/mmc0/mmc0:0001";

// A machine with a 3 TiB SATA disk (one of its two partitions mounted), a USB
// stick, an NVMe drive, a memory card, a virtio disk, an attached and an idle
// loop device and a CD-ROM drive. No node can be opened: nothing is on them.
struct Machine {
  test::TempDir dir;
  test::FakeBlockTree tree{dir.path()};
  std::string mounted_at = dir.File("mnt");
  Machine() {
    std::filesystem::create_directories(mounted_at);
    tree.AddDisk("sda", kAtaParent, 3 * kTiB / 512, false, "8:0", "ATA     ", "WDC WD30EFRX-68E");
    tree.AddPartition("sda", "sda1", 1, 2048, 1048576, "8:1");
    tree.AddPartition("sda", "sda2", 2, 4294969344ull, 2147481600ull, "8:2");  // starts past 2 TiB
    tree.AddDisk("sdb", kUsbParent, 30031872, true, "8:16", "SanDisk ", "Cruzer Blade    ");
    tree.AddPartition("sdb", "sdb1", 1, 2048, 30029824, "8:17");
    tree.AddDisk("nvme0n1", kNvmeParent, 1953525168, false, "259:0", "", "Samsung SSD 970 EVO Plus 1TB");
    tree.AddPartition("nvme0n1", "nvme0n1p1", 1, 2048, 1953523120, "259:1");
    tree.AddDisk("mmcblk0", kMmcParent, 31116288, false, "179:0");
    tree.SetAttr("mmcblk0/device/name", "SD32G");
    tree.AddPartition("mmcblk0", "mmcblk0p1", 1, 8192, 31108096, "179:1");
    tree.AddDisk("vda", "pci0000:00/0000:00:02.0/virtio1", 1048576, false, "254:0");
    tree.AddDisk("loop0", "", 2048, false, "7:0");
    tree.SetAttr("loop0/loop/backing_file", "/images/card.img");
    tree.AddDisk("loop1", "", 0, false, "7:1");
    tree.AddDisk("sr0", "pci0000:00/0000:00:1f.2/ata2/host1/target1:0:0/1:0:0:0", 2097152, true, "11:0");
    tree.AddMount("8:1", mounted_at, "ext4", tree.DevNode("sda1"));
  }
};

const DeviceEntry* ByName(const std::vector<DeviceEntry>& list, const std::string& name) {
  for (const DeviceEntry& e : list)
    if ((e.kind == kDeviceDrive ? e.device_path.substr(e.device_path.rfind('/') + 1) : e.drive_letter) == name)
      return &e;
  return nullptr;
}

std::vector<std::string> Names(const std::vector<DeviceEntry>& list) {
  std::vector<std::string> out;
  for (const DeviceEntry& e : list)
    out.push_back(e.kind == kDeviceDrive ? e.device_path.substr(e.device_path.rfind('/') + 1) : e.drive_letter);
  return out;
}

TEST(DeviceEnum, DrivesWithNamesBusesAndSizes) {
  Machine m;
  std::vector<DeviceEntry> drives, volumes;
  ASSERT_TRUE(CollectDevices(m.tree.roots(), nullptr, drives, volumes));
  EXPECT_EQ(Names(drives), (std::vector<std::string>{"mmcblk0", "nvme0n1", "sda", "sdb", "vda", "loop0"}));

  struct Want {
    const char* name;
    std::string display_name;
    const char* bus;
    int32_t removable;
    uint64_t sectors;
  };
  const Want wants[] = {
      {"mmcblk0", "SD32G", "mmc", 1, 31116288},
      {"nvme0n1", "Samsung SSD 970 EVO Plus 1TB", "nvme", 0, 1953525168},
      {"sda", "ATA WDC WD30EFRX-68E", "ata", 0, 3 * kTiB / 512},
      {"sdb", "SanDisk Cruzer Blade", "usb", 1, 30031872},
      {"vda", m.tree.DevNode("vda"), "virtio", 0, 1048576},  // a virtual bus is named by its node
      {"loop0", m.tree.DevNode("loop0"), "loop", 0, 2048},
  };
  for (uint32_t i = 0; i < std::size(wants); ++i) {
    const Want& w = wants[i];
    const DeviceEntry* d = ByName(drives, w.name);
    ASSERT_NE(d, nullptr) << w.name;
    EXPECT_EQ(d->kind, kDeviceDrive);
    EXPECT_EQ(d->disk_number, i) << w.name;
    EXPECT_EQ(d->display_name, w.display_name);
    EXPECT_EQ(d->disk_name, w.display_name);
    EXPECT_EQ(d->bus, w.bus) << w.name;
    EXPECT_EQ(d->removable, w.removable) << w.name;
    EXPECT_EQ(d->start_lba, 0u);
    EXPECT_EQ(d->sector_count, w.sectors) << w.name;
    EXPECT_EQ(d->device_sectors, w.sectors) << w.name;
    EXPECT_EQ(d->device_path, m.tree.DevNode(w.name));
  }
}

TEST(DeviceEnum, VolumesAreThePartitionsOfTheDrives) {
  Machine m;
  std::vector<DeviceEntry> drives, volumes;
  ASSERT_TRUE(CollectDevices(m.tree.roots(), nullptr, drives, volumes));
  // A disk without partitions and with nothing recognisable on it (loop0,
  // vda) is no volume.
  EXPECT_EQ(Names(volumes), (std::vector<std::string>{"mmcblk0p1", "nvme0n1p1", "sda1", "sda2", "sdb1"}));

  const DeviceEntry& sda2 = *ByName(volumes, "sda2");
  EXPECT_EQ(sda2.kind, kDeviceVolume);
  EXPECT_EQ(sda2.start_lba, 4294969344ull);
  EXPECT_EQ(sda2.sector_count, 2147481600ull);
  EXPECT_EQ(sda2.volume_path, m.tree.DevNode("sda2"));
  EXPECT_EQ(sda2.device_path, m.tree.DevNode("sda"));
  EXPECT_EQ(sda2.device_sectors, 3 * kTiB / 512);
  EXPECT_EQ(sda2.disk_number, 2u);
  EXPECT_EQ(sda2.disk_name, "ATA WDC WD30EFRX-68E");
  // Nothing known of it: no label, no file system, no boot sector.
  EXPECT_EQ(sda2.label, "");
  EXPECT_EQ(sda2.fs_kind, 0);
  EXPECT_EQ(sda2.display_name, " (sda2: )");
  EXPECT_EQ(sda2.free_sectors, 0u);
  EXPECT_EQ(sda2.boot_sector, (std::array<uint8_t, 512>{}));

  // Mounted: the file system the kernel mounted, free space of the mount.
  const DeviceEntry& sda1 = *ByName(volumes, "sda1");
  EXPECT_EQ(sda1.mount_point, m.mounted_at);
  EXPECT_EQ(sda1.fs_name, "ext4");
  EXPECT_EQ(sda1.fs_kind, 0);
  EXPECT_EQ(sda1.label, kDefaultVolumeLabel);
  EXPECT_EQ(sda1.display_name, "本地磁盘 (sda1: ext4)");
  EXPECT_GT(sda1.free_sectors, 0u);

  EXPECT_EQ(ByName(volumes, "sdb1")->removable, 1);
  EXPECT_EQ(ByName(volumes, "mmcblk0p1")->removable, 1);  // a memory card, whatever the kernel flag says
  EXPECT_EQ(ByName(volumes, "nvme0n1p1")->removable, 0);
  EXPECT_EQ(ByName(volumes, "sda1")->removable, 0);
}

TEST(DeviceEnum, ListTypesAndTheUsbRule) {
  Machine m;
  std::vector<DeviceEntry> drives, volumes;
  ASSERT_TRUE(CollectDevices(m.tree.roots(), nullptr, drives, volumes));
  const std::vector<std::string> all = {"mmcblk0p1", "nvme0n1p1", "sda1", "sda2", "sdb1",
                                        "mmcblk0",   "nvme0n1",   "sda",  "sdb",  "vda",  "loop0"};
  const std::vector<std::string> removable = {"mmcblk0p1", "sdb1", "mmcblk0", "sdb"};
  struct Case {
    int list_type;
    bool usb_only;
    std::vector<std::string> want;
  };
  const Case cases[] = {
      {kListAll, false, all},
      {kListVolumes, false, {"mmcblk0p1", "nvme0n1p1", "sda1", "sda2", "sdb1"}},
      {kListDrives, false, {"mmcblk0", "nvme0n1", "sda", "sdb", "vda", "loop0"}},
      {kListRemovable, false, removable},
      {7, false, all},
      {-1, false, all},
      {kListAll, true, removable},
      {kListVolumes, true, removable},
      {kListDrives, true, removable},
      {kListRemovable, true, removable},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Names(SelectDeviceList(c.list_type, c.usb_only, drives, volumes)), c.want)
        << c.list_type << " " << c.usb_only;
  }
  EXPECT_EQ(DeviceListTypeForMode(kModeUsb), kListRemovable);
  EXPECT_EQ(DeviceListTypeForMode(kModeDisk), kListDrives);
  EXPECT_EQ(DeviceListTypeForMode(kModeDeleted), kListVolumes);
  EXPECT_EQ(DeviceListTypeForMode(kModeAll), kListAll);
}

TEST(DeviceEnum, TenDrivesAtMostAndLoopDevicesLast) {
  test::TempDir dir;
  test::FakeBlockTree tree(dir.path());
  for (int i = 0; i < 3; ++i) {
    const std::string loop = "loop" + std::to_string(i);
    tree.AddDisk(loop, "", 2048, false, "7:" + std::to_string(i));
    tree.SetAttr(loop + "/loop/backing_file", "/var/lib/snapd/snaps/s" + std::to_string(i) + ".snap");
  }
  const std::string letters = "abcdefghijkl";
  for (size_t i = 0; i < letters.size(); ++i) {
    const std::string parent = "pci0000:00/0000:00:1f.2/ata" + std::to_string(i + 1) + "/host" + std::to_string(i) +
                               "/target" + std::to_string(i) + ":0:0/" + std::to_string(i) + ":0:0:0";
    tree.AddDisk(std::string("sd") + letters[i], parent, 4096, false, "8:" + std::to_string(16 * i));
  }
  std::vector<DeviceEntry> drives, volumes;
  ASSERT_TRUE(CollectDevices(tree.roots(), nullptr, drives, volumes));
  EXPECT_EQ(Names(drives),
            (std::vector<std::string>{"sda", "sdb", "sdc", "sdd", "sde", "sdf", "sdg", "sdh", "sdi", "sdj"}));
  EXPECT_EQ(drives.back().disk_number, 9u);
}

TEST(DeviceEnum, EnumerationPublishesTheListsAndReportsProgress) {
  Machine m;
  ClearProgress();
  std::atomic<int> status{kEnumRunning};
  GetAllPartInfoThread(status, m.tree.roots());
  EXPECT_EQ(status.load(), kEnumDone);
  EXPECT_EQ(DriveList().size(), 6u);
  EXPECT_EQ(VolumeList().size(), 5u);
  ProgressReport report{};
  ASSERT_TRUE(TakeProgress(report));
  EXPECT_EQ(report.reportKind, kProgressPartitions);
  EXPECT_EQ(report.partitions.partitionsFound, 1u);  // later ones were dropped: nobody took the first

  std::vector<DeviceEntry> out;
  EXPECT_TRUE(VolumesOnDiskRange(2, 0, 4294969344ull, out));
  EXPECT_EQ(Names(out), (std::vector<std::string>{"sda1"}));
  out.clear();
  EXPECT_TRUE(VolumesOnDiskRange(2, 4294969344ull, 3 * kTiB / 512, out));
  EXPECT_EQ(Names(out), (std::vector<std::string>{"sda2"}));
  out.clear();
  EXPECT_FALSE(VolumesOnDiskRange(5, 0, ~0ull, out));  // loop0 has no volume

  ASSERT_TRUE(EnumerateDevices(kListDrives, out, m.tree.roots()));
  EXPECT_EQ(out.size(), 6u);

  // A stop asked before the walk: status stays at stop, the lists are emptied.
  status.store(kEnumStop);
  GetAllPartInfo(m.tree.roots(), status);
  EXPECT_EQ(status.load(), kEnumStop);
  EXPECT_TRUE(VolumeList().empty());

  // No drive at all: status 2, nothing listed, the enumeration fails.
  test::TempDir empty;
  test::FakeBlockTree none(empty.path());
  status.store(kEnumRunning);
  GetAllPartInfo(none.roots(), status);
  EXPECT_EQ(status.load(), kEnumStop);
  EXPECT_TRUE(DriveList().empty());
  EXPECT_FALSE(EnumerateDevices(kListAll, out, none.roots()));
  EXPECT_TRUE(out.empty());
  ClearProgress();  // the later runs' reports are of no interest to other tests
}

TEST(DeviceEnum, NameRules) {
  struct FsCase {
    const char* name;
    const char* version;
    int32_t kind;
  };
  for (const FsCase& c : std::initializer_list<FsCase>{{"ntfs", "", kFsNtfs},
                                                       {"ntfs3", "", kFsNtfs},
                                                       {"NTFS", "", kFsNtfs},
                                                       {"vfat", "FAT32", kFsFat32},
                                                       {"vfat", "FAT16", kFsFat16},
                                                       {"vfat", "FAT12", kFsFat16},
                                                       {"vfat", "", kFsUnknown},
                                                       {"FAT", "", kFsFat16},
                                                       {"FAT32", "", kFsFat32},
                                                       {"exfat", "1.0", kFsExfat},
                                                       {"ext4", "1.0", kFsUnknown},
                                                       {"", "", kFsUnknown}}) {
    EXPECT_EQ(FsKindFromOsName(c.name, c.version), c.kind) << c.name << " " << c.version;
  }

  EXPECT_EQ(VolumeDisplayName("Data", "sdb1", "ntfs"), "Data (sdb1: ntfs)");
  EXPECT_EQ(VolumeDisplayName("", "sdb1", ""), " (sdb1: )");
  const std::string label31(31, 'L'), label32(32, 'L');
  EXPECT_EQ(VolumeDisplayName(label31, "sdb1", "vfat"), label31 + " (sdb1: vfat)");
  EXPECT_EQ(VolumeDisplayName(label32, "sdb1", "vfat"), " (sdb1: vfat)");
  // Characters, not bytes: 31 Chinese characters still fit.
  std::string cjk31;
  for (int i = 0; i < 31; ++i) cjk31 += "盘";
  EXPECT_EQ(VolumeDisplayName(cjk31, "sdb1", "exfat"), cjk31 + " (sdb1: exfat)");

  EXPECT_EQ(DriveNameFromVendorModel("ATA     ", "ST2000DM008-2FR1 "), "ATA ST2000DM008-2FR1");
  EXPECT_EQ(DriveNameFromVendorModel("Kingston", "DataTraveler 3.0"), "Kingston DataTraveler 3.0");
  EXPECT_EQ(DriveNameFromVendorModel("", "SD32G"), "SD32G");
  EXPECT_EQ(DriveNameFromVendorModel("        ", "   "), "");
  EXPECT_EQ(DriveNameFromVendorModel("Generic ", std::string("\xB4\xC5\xC5\xCC", 4)), "Generic 磁盘");  // CP936
}

}  // namespace
}  // namespace trovium
