#include "fs/device_enum.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <thread>

#include "core/byte_view.h"
#include "core/report.h"
#include "core/soft_config.h"
#include "core/text_convert.h"
#include "scan/job_state.h"
#include "scan/progress.h"
#include "scan/sector_source.h"
#include "scan/structure_detector.h"
#include "store/volume_record.h"

namespace trovium {
namespace {

constexpr size_t kDriveNameLimit = 4095;

struct DeviceLists {
  std::mutex lock;
  std::vector<DeviceEntry> drives;
  std::vector<DeviceEntry> volumes;
};

DeviceLists& Lists() {
  static DeviceLists lists;
  return lists;
}

// Only one enumeration (and its progress display) at a time.
std::atomic<bool> g_enumerating{false};

bool StopAsked(const std::atomic<int>* status) { return status && status->load() == kEnumStop; }

bool EqualsNoCase(const std::string& a, const char* b) {
  size_t n = std::char_traits<char>::length(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

std::string TrimTrailingBlanks(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
  return s;
}

bool IsValidUtf8(const std::string& s) {
  size_t pos = 0;
  char32_t cp = 0;
  while (pos < s.size()) {
    if (!NextCodePoint(s, pos, cp)) return false;
  }
  return true;
}

size_t CountChars(const std::string& s) {
  size_t pos = 0, n = 0;
  char32_t cp = 0;
  while (pos < s.size()) {
    NextCodePoint(s, pos, cp);
    ++n;
  }
  return n;
}

bool IsFatFamily(const std::string& fs_name) {
  return EqualsNoCase(fs_name, "vfat") || EqualsNoCase(fs_name, "msdos") || EqualsNoCase(fs_name, "fat") ||
         EqualsNoCase(fs_name, "fat32");
}

// The serial the volume's boot sector carries, as the OS reports it (the low
// half of NTFS's 64-bit serial).
uint32_t SerialFromBootSector(const std::array<uint8_t, 512>& boot, int32_t fs_kind) {
  ByteView v(boot.data(), boot.size());
  switch (fs_kind) {
    case kFsNtfs: return v.le32_or0(0x48);
    case kFsFat16: return v.le32_or0(0x27);
    case kFsFat32: return v.le32_or0(0x43);
    case kFsExfat: return v.le32_or0(0x64);
    default: return 0;
  }
}

// libblkid prints these serials as hex ("1234-ABCD", "0123456789ABCDEF").
bool SerialFromUuid(const std::string& uuid, uint32_t& serial) {
  uint64_t value = 0;
  size_t digits = 0;
  for (char c : uuid) {
    if (c == '-') continue;
    int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
            : (c >= 'a' && c <= 'f')                    ? c - 'a' + 10
            : (c >= 'A' && c <= 'F')                    ? c - 'A' + 10
                                                        : -1;
    if (d < 0 || ++digits > 16) return false;
    value = (value << 4) | static_cast<uint64_t>(d);
  }
  if (digits == 0) return false;
  serial = static_cast<uint32_t>(value);
  return true;
}

// Sector 0 of the volume through its own node, read-only.
bool ReadVolumeBootSector(const std::string& volume_path, std::array<uint8_t, 512>& out) {
  CSectorSource source;
  if (!OpenImage(volume_path, source)) return false;
  bool ok = ReadSectors(1, source, out.data(), 0);
  CloseSource(source);
  if (!ok) out.fill(0);
  return ok;
}

// The file system of a boot sector when the OS could not name it.
bool FsFromBootSector(const std::array<uint8_t, 512>& boot, std::string& fs_name, int32_t& fs_kind) {
  ByteView v(boot.data(), boot.size());
  if (IsNtfsBootSector(v)) fs_name = "ntfs", fs_kind = kFsNtfs;
  else if (IsExfatBootSector(v)) fs_name = "exfat", fs_kind = kFsExfat;
  else if (IsFat32BootSector(v)) fs_name = "vfat", fs_kind = kFsFat32;
  else if (IsFat16BootSector(v)) fs_name = "vfat", fs_kind = kFsFat16;
  else return false;
  return true;
}

// Label, file system, serial, boot sector and free space of one volume.
// Without the node (no permission) only what the mount table says is known.
void FillVolumeInfo(DeviceEntry& v, const platform::MountPlace& mount) {
  platform::VolumeProbe probe;
  platform::OpenError why = platform::OpenError::kNone;
  const bool probed = platform::ProbeVolume(v.volume_path, probe, &why);
  const bool node_readable = probed || why == platform::OpenError::kNone;

  std::array<uint8_t, 512> boot{};
  const bool have_boot = node_readable && ReadVolumeBootSector(v.volume_path, boot);

  std::string version;
  if (probed) {
    v.fs_name = probe.type;
    version = probe.version;
    v.label = IsValidUtf8(probe.label) ? probe.label : AnsiToUtf8(probe.label);
  } else if (!mount.fs_type.empty() && mount.fs_type != "fuseblk") {
    v.fs_name = mount.fs_type;
  }
  v.fs_kind = FsKindFromOsName(v.fs_name, version);
  // The boot sector decides when the OS named no file system, or a FAT
  // without its width.
  std::string boot_fs;
  int32_t boot_kind = 0;
  if (v.fs_kind == 0 && have_boot && FsFromBootSector(boot, boot_fs, boot_kind)) {
    if (v.fs_name.empty()) {
      v.fs_name = boot_fs;
      v.fs_kind = boot_kind;
    } else if (IsFatFamily(v.fs_name) && (boot_kind == kFsFat16 || boot_kind == kFsFat32)) {
      v.fs_kind = boot_kind;
    }
  }
  if (v.fs_kind != 0 && have_boot) v.boot_sector = boot;
  if (v.fs_kind != 0 && !(probed && SerialFromUuid(probe.uuid, v.serial))) {
    v.serial = SerialFromBootSector(v.boot_sector, v.fs_kind);
  }
  if (!v.fs_name.empty() && v.label.empty()) v.label = kDefaultVolumeLabel;
  v.mount_point = mount.mount_point;
  v.free_sectors = platform::TotalFreeBytes(mount.mount_point) / 512;
}

void PostVolumeProgress(uint32_t found, const DeviceEntry& v) {
  ProgressReport report{};
  report.reportKind = kProgressPartitions;
  report.partitions.partitionsFound = found;
  report.partitions.driveLetter = 0;  // partitions have names, not letters
  SetProgressText(report.partitions.fileSystem, v.fs_name, kPartitionFieldChars);
  SetProgressText(report.partitions.label, v.label, kPartitionFieldChars);
  PostProgress(report);
}

DeviceEntry DriveEntry(const platform::BlockDisk& d, uint32_t number) {
  DeviceEntry e;
  e.kind = kDeviceDrive;
  e.disk_number = number;
  e.device_path = d.device_path;
  e.bus = platform::BusTypeName(d.bus);
  std::string name;
  switch (d.bus) {
    case platform::BusType::kAta:
    case platform::BusType::kScsi:
    case platform::BusType::kUsb:
    case platform::BusType::kNvme:
    case platform::BusType::kMmc:
      name = DriveNameFromVendorModel(d.vendor, d.model);
      break;
    default:  // virtual buses and loop devices are named by their node
      break;
  }
  e.display_name = e.disk_name = name.empty() ? d.device_path : name;
  e.start_lba = 0;
  e.sector_count = e.device_sectors = d.size_bytes / 512;
  e.removable = d.bus == platform::BusType::kUsb || d.bus == platform::BusType::kMmc ? 1 : 0;
  return e;
}

DeviceEntry VolumeEntry(const DeviceEntry& drive, const platform::BlockDisk& d, const std::string& name,
                        const std::string& node, uint64_t start, uint64_t count) {
  DeviceEntry v;
  v.kind = kDeviceVolume;
  v.start_lba = start;
  v.sector_count = count;
  v.drive_letter = name;
  v.volume_path = node;
  v.disk_number = drive.disk_number;
  v.disk_name = drive.disk_name;
  v.device_path = drive.device_path;
  v.device_sectors = drive.device_sectors;
  v.bus = drive.bus;
  // Memory cards are removable media even where the kernel flag says otherwise.
  v.removable = d.removable || d.bus == platform::BusType::kMmc ? 1 : 0;
  return v;
}

}  // namespace

int32_t FsKindFromOsName(const std::string& fs_name, const std::string& version) {
  if (EqualsNoCase(fs_name, "ntfs") || EqualsNoCase(fs_name, "ntfs3")) return kFsNtfs;
  if (EqualsNoCase(fs_name, "exfat")) return kFsExfat;
  if (EqualsNoCase(fs_name, "fat32")) return kFsFat32;
  if (EqualsNoCase(fs_name, "fat")) return kFsFat16;
  if (IsFatFamily(fs_name)) {
    if (EqualsNoCase(version, "FAT32")) return kFsFat32;
    if (EqualsNoCase(version, "FAT16") || EqualsNoCase(version, "FAT12")) return kFsFat16;
  }
  return kFsUnknown;
}

std::string DriveNameFromVendorModel(const std::string& vendor, const std::string& model) {
  std::string v = TrimTrailingBlanks(vendor), m = TrimTrailingBlanks(model);
  std::string name = v;
  if (!v.empty() && !m.empty()) name += ' ';
  name += m;
  if (name.size() > kDriveNameLimit) name.resize(kDriveNameLimit);
  return AnsiToUtf8(name);
}

std::string VolumeDisplayName(const std::string& label, const std::string& partition, const std::string& fs_name) {
  size_t chars = CountChars(label);
  std::string name = chars >= 1 && chars <= kMaxLabelChars ? label : std::string();
  return name + " (" + partition + ": " + fs_name + ")";
}

bool CollectDevices(const platform::BlockDeviceRoots& roots, const std::atomic<int>* status,
                    std::vector<DeviceEntry>& drives, std::vector<DeviceEntry>& volumes) {
  drives.clear();
  volumes.clear();
  std::vector<platform::BlockDisk> disks = platform::ListBlockDisks(roots);
  if (disks.size() > kMaxDrives) disks.resize(kMaxDrives);
  for (uint32_t i = 0; i < disks.size(); ++i) drives.push_back(DriveEntry(disks[i], i));
  if (drives.empty()) return !StopAsked(status);

  for (size_t i = 0; i < disks.size(); ++i) {
    const platform::BlockDisk& d = disks[i];
    std::vector<DeviceEntry> found;
    for (const platform::BlockPartition& p : d.partitions) {
      if (StopAsked(status)) return false;
      // The container of logical partitions shows up as a 1 KiB partition.
      if (p.sector_count <= 2) continue;
      DeviceEntry v = VolumeEntry(drives[i], d, p.name, p.device_path, p.start_sector, p.sector_count);
      FillVolumeInfo(v, p.mount);
      found.push_back(std::move(v));
    }
    if (d.partitions.empty()) {
      if (StopAsked(status)) return false;
      // A disk formatted without a partition table is one volume.
      DeviceEntry v = VolumeEntry(drives[i], d, d.name, d.device_path, 0, drives[i].device_sectors);
      FillVolumeInfo(v, d.mount);
      if (!v.fs_name.empty()) found.push_back(std::move(v));
    }
    for (DeviceEntry& v : found) {
      v.display_name = VolumeDisplayName(v.label, v.drive_letter, v.fs_name);
      volumes.push_back(std::move(v));
      PostVolumeProgress(static_cast<uint32_t>(volumes.size()), volumes.back());
    }
  }
  return true;
}

void GetAllPartInfo(const platform::BlockDeviceRoots& roots, std::atomic<int>& status) {
  std::vector<DeviceEntry> drives, volumes;
  const bool completed = CollectDevices(roots, &status, drives, volumes);
  const bool ok = completed && !drives.empty();
  if (!ok) {
    drives.clear();
    volumes.clear();
  }
  {
    DeviceLists& lists = Lists();
    std::lock_guard<std::mutex> hold(lists.lock);
    lists.drives = std::move(drives);
    lists.volumes = std::move(volumes);
  }
  status.store(ok ? kEnumDone : kEnumStop);
}

void GetAllPartInfoThread(std::atomic<int>& status, const platform::BlockDeviceRoots& roots) {
  WorkerScope scope("GetAllPartInfoThread");
  GetAllPartInfo(roots, status);
}

std::vector<DeviceEntry> DriveList() {
  DeviceLists& lists = Lists();
  std::lock_guard<std::mutex> hold(lists.lock);
  return lists.drives;
}

std::vector<DeviceEntry> VolumeList() {
  DeviceLists& lists = Lists();
  std::lock_guard<std::mutex> hold(lists.lock);
  return lists.volumes;
}

std::vector<DeviceEntry> SelectDeviceList(int list_type, bool usb_only, const std::vector<DeviceEntry>& drives,
                                          const std::vector<DeviceEntry>& volumes) {
  std::vector<DeviceEntry> out;
  if (usb_only) list_type = kListRemovable;
  switch (list_type) {
    case kListVolumes:
      out = volumes;
      break;
    case kListDrives:
      out = drives;
      break;
    case kListRemovable:
      for (const DeviceEntry& v : volumes)
        if (v.removable) out.push_back(v);
      for (const DeviceEntry& d : drives)
        if (d.removable) out.push_back(d);
      break;
    default:
      out = volumes;
      out.insert(out.end(), drives.begin(), drives.end());
      break;
  }
  return out;
}

int DeviceListTypeForMode(int32_t recovery_mode) {
  switch (recovery_mode) {
    case kModeDeleted:
    case kModePartition:
    case kModeRecycle: return kListVolumes;
    case kModeUsb: return kListRemovable;
    case kModeDisk: return kListDrives;
    default: return kListAll;
  }
}

bool EnumerateDevices(int list_type, std::vector<DeviceEntry>& out, const platform::BlockDeviceRoots& roots) {
  if (g_enumerating.exchange(true)) return false;
  std::atomic<int> status{kEnumRunning};
  std::thread worker([&] { GetAllPartInfoThread(status, roots); });
  worker.join();
  const bool done = status.load() == kEnumDone;
  out = SelectDeviceList(list_type, IsSoftCfgOn("ShowUsbDev"), DriveList(), VolumeList());
  g_enumerating.store(false);
  return done && !out.empty();
}

bool VolumesOnDiskRange(uint32_t disk_number, uint64_t from, uint64_t to, std::vector<DeviceEntry>& out) {
  for (const DeviceEntry& v : VolumeList()) {
    if (v.disk_number == disk_number && v.start_lba >= from && v.start_lba < to) out.push_back(v);
  }
  return !out.empty();
}

}  // namespace trovium
