#pragma once
// The drives and volumes the user picks a source from. A drive is a whole
// disk; a volume is a partition of one (or a disk formatted without a
// partition table). The partition's kernel name ("sdb1") stands where a
// drive letter would, and its node ("/dev/sdb1") is its volume path.
// Enumeration fills two process-wide lists, replaced as a whole at the end of
// every run; list types filter them for the device-selection step.

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/block_devices.h"

namespace trovium {

inline constexpr uint32_t kMaxDrives = 10;     // drives 0 to 9 are listed, no more
inline constexpr size_t kMaxLabelChars = 31;   // longer labels stay out of the display name
inline constexpr char kDefaultVolumeLabel[] = "本地磁盘";

enum DeviceKind : int32_t { kDeviceDrive = 0, kDeviceVolume = 1 };

// Status word of an enumeration: the caller writes kEnumStop to stop it early.
enum EnumStatus : int { kEnumRunning = 0, kEnumStop = 2, kEnumDone = 3 };

// Device lists for the device-selection step.
enum DeviceListType : int {
  kListAll = 0,        // volumes, then drives (also any unknown value)
  kListVolumes = 1,
  kListDrives = 2,
  kListRemovable = 3,  // removable volumes, then removable drives
};

struct DeviceEntry {
  int32_t kind = kDeviceDrive;
  int32_t removable = 0;       // drive: USB or memory card; volume: on removable media
  uint64_t start_lba = 0;      // volume: first sector on its disk
  uint64_t sector_count = 0;
  std::string display_name;
  std::string drive_letter;    // volume: partition name, "sdb1"
  uint64_t free_sectors = 0;   // volume: all free bytes of its mounted file system / 512
  int32_t fs_kind = 0;         // FsKind
  std::string volume_path;     // volume: "/dev/sdb1"
  std::string label;
  std::string fs_name;         // the OS's name: "ntfs", "vfat", "exfat", "ext4", ...
  uint32_t serial = 0;
  std::array<uint8_t, 512> boot_sector{};  // volume with a known FsKind: its sector 0
  uint32_t disk_number = 0;
  std::string disk_name;       // display name of the drive
  std::string device_path;     // the drive's node, "/dev/sdb"
  uint64_t device_sectors = 0;
  // Shown by the command line.
  std::string bus;             // "usb", "ata", "nvme", ...
  std::string mount_point;     // volume: empty when not mounted
};

// FsKind of an OS file-system name. FAT names need the FAT width ("FAT12",
// "FAT16", "FAT32"), which libblkid reports as the version; "FAT" and "FAT32"
// are also accepted as names. Anything unknown is 0.
int32_t FsKindFromOsName(const std::string& fs_name, const std::string& version);

// A drive's name from its vendor and model texts: the vendor without its
// trailing blanks, one blank, the model without its trailing blanks; code
// page text converted. Empty when both are blank.
std::string DriveNameFromVendorModel(const std::string& vendor, const std::string& model);

// "<label> (<partition>: <fs_name>)", the label only when 1 to 31 characters long.
std::string VolumeDisplayName(const std::string& label, const std::string& partition, const std::string& fs_name);

// Builds both lists from the machine (or a fake tree). Polls status for
// kEnumStop between devices; posts a kind-5 progress report per volume.
// Returns false when stopped early.
bool CollectDevices(const platform::BlockDeviceRoots& roots, const std::atomic<int>* status,
                    std::vector<DeviceEntry>& drives, std::vector<DeviceEntry>& volumes);

// One enumeration: collects, replaces the process-wide lists, and leaves
// status at kEnumDone when a drive was found, else at kEnumStop (also when
// stopped early; both lists are then emptied).
void GetAllPartInfo(const platform::BlockDeviceRoots& roots, std::atomic<int>& status);

// The worker thread's procedure: GetAllPartInfo between ThreadBegin and ThreadEnd.
void GetAllPartInfoThread(std::atomic<int>& status,
                          const platform::BlockDeviceRoots& roots = platform::BlockDeviceRoots{});

// Copies of the process-wide lists.
std::vector<DeviceEntry> DriveList();
std::vector<DeviceEntry> VolumeList();

// The output list of list_type. With usb_only ("ShowUsbDev") every type gives
// the removable list.
std::vector<DeviceEntry> SelectDeviceList(int list_type, bool usb_only, const std::vector<DeviceEntry>& drives,
                                          const std::vector<DeviceEntry>& volumes);

// The list type the device selection uses in a recovery mode: mode 4 (USB
// sticks and memory cards) shows removable devices.
int DeviceListTypeForMode(int32_t recovery_mode);

// Runs the worker, waits for it and selects list_type (with "ShowUsbDev" from
// the configuration). True only when it finished and the list is not empty;
// false at once while another enumeration runs.
bool EnumerateDevices(int list_type, std::vector<DeviceEntry>& out,
                      const platform::BlockDeviceRoots& roots = platform::BlockDeviceRoots{});

// Appends the volumes of the list on disk_number whose start lies in
// [from, to); true when out is not empty afterwards.
bool VolumesOnDiskRange(uint32_t disk_number, uint64_t from, uint64_t to, std::vector<DeviceEntry>& out);

}  // namespace trovium
