#include "platform/block_devices.h"

#include <blkid/blkid.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <sstream>
#include <string_view>

namespace trovium::platform {
namespace {

namespace fs = std::filesystem;

// An attribute file's text without its end of line; empty when unreadable.
std::string ReadAttr(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '\0')) text.pop_back();
  return text;
}

std::optional<uint64_t> ParseU64(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  uint64_t v = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return v;
}

std::optional<uint64_t> ReadU64Attr(const std::string& path) { return ParseU64(ReadAttr(path)); }

// "8:17" -> (8, 17).
bool ParseDevNumbers(std::string_view text, uint32_t& major, uint32_t& minor) {
  size_t colon = text.find(':');
  if (colon == std::string_view::npos) return false;
  auto ma = ParseU64(text.substr(0, colon));
  auto mi = ParseU64(text.substr(colon + 1));
  if (!ma || !mi || *ma > std::numeric_limits<uint32_t>::max() || *mi > std::numeric_limits<uint32_t>::max())
    return false;
  major = static_cast<uint32_t>(*ma);
  minor = static_cast<uint32_t>(*mi);
  return true;
}

bool AllDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}
bool AllLower(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

// Whole-disk names we offer: sd<letters>, vd<letters>, xvd<letters>,
// nvme<N>n<M> (not the hidden nvme<N>c<C>n<M> paths), mmcblk<N> (not its boot
// and RPMB areas), loop<N>. Returns the family prefix, empty for others.
std::string_view DiskFamily(std::string_view name) {
  for (std::string_view prefix : {"sd", "xvd", "vd"}) {
    if (name.substr(0, prefix.size()) == prefix && AllLower(name.substr(prefix.size()))) return prefix;
  }
  for (std::string_view prefix : {"mmcblk", "loop"}) {
    if (name.substr(0, prefix.size()) == prefix && AllDigits(name.substr(prefix.size()))) return prefix;
  }
  if (name.substr(0, 4) == "nvme") {
    std::string_view rest = name.substr(4);
    size_t n = rest.find('n');
    if (n != std::string_view::npos && AllDigits(rest.substr(0, n)) && AllDigits(rest.substr(n + 1))) return "nvme";
  }
  return {};
}

// Kernel order within a family: numbers by value, letters shorter first
// (sdz before sdaa).
bool NaturalLess(std::string_view a, std::string_view b) {
  std::string_view fa = DiskFamily(a), fb = DiskFamily(b);
  if (fa != fb) return fa < fb;
  a.remove_prefix(fa.size());
  b.remove_prefix(fb.size());
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const bool da = digit(a[i]), db = digit(b[j]);
    if (da != db) return da;
    size_t ie = i, je = j;
    while (ie < a.size() && digit(a[ie]) == da) ++ie;
    while (je < b.size() && digit(b[je]) == db) ++je;
    std::string_view ra = a.substr(i, ie - i), rb = b.substr(j, je - j);
    if (da) {
      while (ra.size() > 1 && ra.front() == '0') ra.remove_prefix(1);
      while (rb.size() > 1 && rb.front() == '0') rb.remove_prefix(1);
    }
    if (ra.size() != rb.size()) return ra.size() < rb.size();
    if (ra != rb) return ra < rb;
    i = ie;
    j = je;
  }
  return a.size() - i < b.size() - j;
}

bool StartsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }
bool StartsWithThenDigit(std::string_view s, std::string_view p) {
  return StartsWith(s, p) && s.size() > p.size() && std::isdigit(static_cast<unsigned char>(s[p.size()]));
}

// The bus from the path the disk's `device` link resolves to, below the sysfs
// root. A USB bridge in front of an ATA or SCSI disk makes it a USB disk.
BusType BusFromDevicePath(const fs::path& resolved) {
  bool usb = false, mmc = false, nvme = false, ata = false, scsi = false, virtio = false, xen = false;
  for (const fs::path& part : resolved) {
    std::string c = part.string();
    if (StartsWithThenDigit(c, "usb")) usb = true;
    else if (c == "mmc_host" || StartsWithThenDigit(c, "mmc")) mmc = true;
    else if (StartsWith(c, "nvme")) nvme = true;
    else if (StartsWithThenDigit(c, "ata")) ata = true;
    else if (StartsWithThenDigit(c, "host") || StartsWithThenDigit(c, "target")) scsi = true;
    else if (StartsWithThenDigit(c, "virtio")) virtio = true;
    else if (StartsWith(c, "vbd-") || c == "xen") xen = true;
  }
  if (usb) return BusType::kUsb;
  if (mmc) return BusType::kMmc;
  if (nvme) return BusType::kNvme;
  if (ata) return BusType::kAta;
  if (scsi) return BusType::kScsi;
  if (virtio) return BusType::kVirtio;
  if (xen) return BusType::kXen;
  return BusType::kUnknown;
}

BusType DiskBus(const fs::path& sysfs, const fs::path& disk_dir, const std::string& name) {
  if (StartsWith(name, "loop")) return BusType::kLoop;
  std::error_code ec;
  fs::path resolved = fs::canonical(disk_dir / "device", ec);
  if (ec) return BusType::kUnknown;
  fs::path root = fs::canonical(sysfs, ec);
  if (ec) return BusType::kUnknown;
  // Only what lies below the sysfs root says anything about the bus.
  fs::path rel = resolved.lexically_relative(root);
  if (rel.empty() || *rel.begin() == "..") return BusType::kUnknown;
  return BusFromDevicePath(rel);
}

// Mountinfo escapes blanks, tabs, newlines and backslashes as \ooo.
std::string DecodeMountField(std::string_view text) {
  std::string out;
  auto oct = [](char c) { return c >= '0' && c <= '7'; };
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && oct(text[i + 1]) && oct(text[i + 2]) && oct(text[i + 3])) {
      out.push_back(static_cast<char>(((text[i + 1] - '0') << 6) | ((text[i + 2] - '0') << 3) | (text[i + 3] - '0')));
      i += 3;
      continue;
    }
    out.push_back(text[i]);
  }
  return out;
}

MountPlace FindMount(const std::vector<MountInfoEntry>& mounts, const std::string& dev_attr,
                     const std::string& device_path) {
  uint32_t major = 0, minor = 0;
  bool have_numbers = ParseDevNumbers(dev_attr, major, minor);
  for (const MountInfoEntry& m : mounts) {
    if (have_numbers && m.major == major && m.minor == minor) return {m.mount_point, m.fs_type};
  }
  // FUSE mounts (ntfs-3g, exfat-fuse) carry the FUSE device's numbers; their
  // source names the block device.
  for (const MountInfoEntry& m : mounts) {
    if (m.source == device_path) return {m.mount_point, m.fs_type};
  }
  return {};
}

std::string DevPath(const BlockDeviceRoots& roots, const std::string& name) { return roots.dev + "/" + name; }

std::vector<BlockPartition> ListPartitions(const BlockDeviceRoots& roots, const fs::path& disk_dir,
                                           const std::vector<MountInfoEntry>& mounts) {
  std::vector<BlockPartition> parts;
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(disk_dir, ec)) {
    std::error_code ec2;
    if (!e.is_directory(ec2) || e.is_symlink(ec2)) continue;
    const fs::path dir = e.path();
    auto number = ReadU64Attr((dir / "partition").string());
    auto start = ReadU64Attr((dir / "start").string());
    auto size = ReadU64Attr((dir / "size").string());
    if (!number || !start || !size) continue;
    BlockPartition p;
    p.name = dir.filename().string();
    p.device_path = DevPath(roots, p.name);
    p.number = static_cast<uint32_t>(std::min<uint64_t>(*number, std::numeric_limits<uint32_t>::max()));
    p.start_sector = *start;
    p.sector_count = *size;
    p.mount = FindMount(mounts, ReadAttr((dir / "dev").string()), p.device_path);
    parts.push_back(std::move(p));
  }
  std::sort(parts.begin(), parts.end(), [](const BlockPartition& a, const BlockPartition& b) {
    if (a.start_sector != b.start_sector) return a.start_sector < b.start_sector;
    return a.number < b.number;
  });
  return parts;
}

}  // namespace

const char* BusTypeName(BusType bus) {
  switch (bus) {
    case BusType::kAta: return "ata";
    case BusType::kScsi: return "scsi";
    case BusType::kUsb: return "usb";
    case BusType::kNvme: return "nvme";
    case BusType::kMmc: return "mmc";
    case BusType::kVirtio: return "virtio";
    case BusType::kXen: return "xen";
    case BusType::kLoop: return "loop";
    case BusType::kUnknown: break;
  }
  return "unknown";
}

std::vector<MountInfoEntry> ReadMountInfo(const std::string& path) {
  std::vector<MountInfoEntry> out;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::vector<std::string> f;
    std::string word;
    while (fields >> word) f.push_back(word);
    // id parent major:minor root mount-point options [optional...] - type source super-options
    if (f.size() < 9) continue;
    auto dash = std::find(f.begin() + 6, f.end(), "-");
    if (dash == f.end() || f.end() - dash < 3) continue;
    MountInfoEntry m;
    if (!ParseDevNumbers(f[2], m.major, m.minor)) continue;
    m.mount_point = DecodeMountField(f[4]);
    m.fs_type = DecodeMountField(*(dash + 1));
    m.source = DecodeMountField(*(dash + 2));
    out.push_back(std::move(m));
  }
  return out;
}

std::vector<BlockDisk> ListBlockDisks(const BlockDeviceRoots& roots) {
  std::vector<BlockDisk> disks;
  const fs::path sysfs(roots.sysfs);
  const fs::path block = sysfs / "block";
  const std::vector<MountInfoEntry> mounts = ReadMountInfo(roots.mountinfo);
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(block, ec)) {
    const std::string name = e.path().filename().string();
    if (DiskFamily(name).empty()) continue;
    const fs::path dir = e.path();
    if (ReadAttr((dir / "hidden").string()) == "1") continue;
    BlockDisk d;
    d.name = name;
    d.device_path = DevPath(roots, name);
    if (StartsWith(name, "loop")) {
      // An unattached loop device has no backing file and nothing to read.
      d.backing_file = ReadAttr((dir / "loop" / "backing_file").string());
      if (d.backing_file.empty()) continue;
    }
    auto sectors = ReadU64Attr((dir / "size").string());
    // sysfs counts 512-byte sectors whatever the logical sector size is.
    if (!sectors || *sectors == 0 || *sectors > std::numeric_limits<uint64_t>::max() / 512) continue;
    d.size_bytes = *sectors * 512;
    d.removable = ReadAttr((dir / "removable").string()) == "1";
    d.bus = DiskBus(sysfs, dir, name);
    d.vendor = ReadAttr((dir / "device" / "vendor").string());
    d.model = ReadAttr((dir / "device" / "model").string());
    if (d.model.empty()) d.model = ReadAttr((dir / "device" / "name").string());  // memory cards
    d.partitions = ListPartitions(roots, dir, mounts);
    d.mount = FindMount(mounts, ReadAttr((dir / "dev").string()), d.device_path);
    disks.push_back(std::move(d));
  }
  std::sort(disks.begin(), disks.end(), [](const BlockDisk& a, const BlockDisk& b) {
    bool la = a.bus == BusType::kLoop, lb = b.bus == BusType::kLoop;
    if (la != lb) return lb;
    return NaturalLess(a.name, b.name);
  });
  return disks;
}

bool ProbeVolume(const std::string& device_path, VolumeProbe& out, OpenError* open_error) {
  out = VolumeProbe{};
  if (open_error) *open_error = OpenError::kNone;
  SourceOpenResult opened = OpenSourceReadOnly(device_path);
  if (opened.fd < 0) {
    if (open_error) *open_error = opened.error;
    return false;
  }
  bool found = false;
  if (blkid_probe pr = blkid_new_probe()) {
    if (blkid_probe_set_device(pr, opened.fd, 0, 0) == 0) {
      blkid_probe_enable_superblocks(pr, 1);
      blkid_probe_set_superblocks_flags(pr, BLKID_SUBLKS_TYPE | BLKID_SUBLKS_LABEL | BLKID_SUBLKS_UUID |
                                                BLKID_SUBLKS_VERSION);
      if (blkid_do_safeprobe(pr) == 0) {
        auto value = [&](const char* tag) {
          const char* data = nullptr;
          size_t len = 0;
          if (blkid_probe_lookup_value(pr, tag, &data, &len) != 0 || !data) return std::string();
          std::string s(data, len);
          while (!s.empty() && s.back() == '\0') s.pop_back();
          return s;
        };
        out.type = value("TYPE");
        out.label = value("LABEL");
        out.uuid = value("UUID");
        out.version = value("VERSION");
        found = !out.type.empty();
      }
    }
    blkid_free_probe(pr);
  }
  CloseSource(opened.fd);
  return found;
}

uint64_t TotalFreeBytes(const std::string& mount_point) {
  if (mount_point.empty()) return 0;
  struct statvfs st {};
  if (::statvfs(mount_point.c_str(), &st) != 0) return 0;
  const uint64_t blocks = st.f_bfree, unit = st.f_frsize ? st.f_frsize : st.f_bsize;
  if (unit != 0 && blocks > std::numeric_limits<uint64_t>::max() / unit) return std::numeric_limits<uint64_t>::max();
  return blocks * unit;
}

}  // namespace trovium::platform
