#pragma once
// What the kernel says about the block devices of this machine: whole disks
// and their partitions from sysfs, mount points from mountinfo, file-system
// type, label and serial from libblkid, free space from statvfs. Nothing here
// writes to a device; device nodes are opened read-only through
// OpenSourceReadOnly. The roots are parameters so tests can use fake trees.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/source_file.h"

namespace trovium::platform {

struct BlockDeviceRoots {
  std::string sysfs = "/sys";
  std::string mountinfo = "/proc/self/mountinfo";
  std::string dev = "/dev";
};

enum class BusType { kUnknown, kAta, kScsi, kUsb, kNvme, kMmc, kVirtio, kXen, kLoop };

// "ata", "scsi", "usb", "nvme", "mmc", "virtio", "xen", "loop" or "unknown".
const char* BusTypeName(BusType bus);

// Where a device is mounted (first entry of mountinfo that names it).
struct MountPlace {
  std::string mount_point;  // empty when not mounted
  std::string fs_type;      // the kernel's type ("vfat", "ntfs3", "fuseblk", ...)
};

struct BlockPartition {
  std::string name;          // "sdb1"
  std::string device_path;   // "<dev>/sdb1"
  uint32_t number = 0;       // the kernel's partition number
  uint64_t start_sector = 0; // 512-byte sectors from the start of the disk
  uint64_t sector_count = 0; // 512-byte sectors
  MountPlace mount;
};

struct BlockDisk {
  std::string name;          // "sdb"
  std::string device_path;   // "<dev>/sdb"
  std::string vendor;        // raw attribute text, end of line removed, blanks kept
  std::string model;         // the model, or a memory card's name
  BusType bus = BusType::kUnknown;
  bool removable = false;    // the kernel's removable-media flag
  uint64_t size_bytes = 0;
  std::string backing_file;  // loop devices only
  MountPlace mount;          // the whole disk mounted without a partition table
  std::vector<BlockPartition> partitions;  // by start sector
};

// Whole disks (sd*, nvme*n*, mmcblk*, vd*, xvd*, and loop* with a backing
// file) with a nonzero size, in natural name order, loop devices last.
// Optical drives, RAM disks, device-mapper and the like are not listed.
std::vector<BlockDisk> ListBlockDisks(const BlockDeviceRoots& roots);

// Mount entries of a mountinfo file, keyed by "major:minor" and by source.
struct MountInfoEntry {
  uint32_t major = 0;
  uint32_t minor = 0;
  std::string mount_point;  // octal escapes decoded
  std::string fs_type;
  std::string source;
};
std::vector<MountInfoEntry> ReadMountInfo(const std::string& path);

// What libblkid reads from a volume's superblock.
struct VolumeProbe {
  std::string type;     // "ntfs", "vfat", "exfat", "ext4", ...
  std::string label;    // as stored (FAT labels in the volume's code page)
  std::string uuid;     // "1234-ABCD", "0123456789ABCDEF", ...
  std::string version;  // "FAT16", "FAT32", ...
};

// Probes the device node read-only. False when the node cannot be opened
// (open_error says why) or no file system is recognised (open_error kNone).
bool ProbeVolume(const std::string& device_path, VolumeProbe& out, OpenError* open_error = nullptr);

// All free bytes of the file system mounted at mount_point (statvfs:
// f_bfree * f_frsize), including those reserved for root. 0 on failure.
uint64_t TotalFreeBytes(const std::string& mount_point);

}  // namespace trovium::platform
