#pragma once
// Device numbers, to tell whether an output folder lies on the device under
// recovery: compare devices, not names.

#include <cstdint>
#include <string>
#include <vector>

namespace trovium::platform {

// st_dev of the file system holding path (stat). False when path cannot be stat'ed.
bool DeviceOfPath(const std::string& path, uint64_t& dev);

// The device numbers a source occupies: for a block device node its own
// number, its parent disk's and those of all the disk's partitions (from
// sysfs under sysfs_root); for anything else (an image file) none.
std::vector<uint64_t> SourceDeviceNumbers(const std::string& source_path, const std::string& sysfs_root = "/sys");

// True when path is a folder we may create files in (exists, is a folder,
// write and search permission).
bool IsWritableFolder(const std::string& path);

}  // namespace trovium::platform
