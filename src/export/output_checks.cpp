#include "export/output_checks.h"

#include <algorithm>
#include <vector>

#include "core/path_util.h"
#include "platform/device_identity.h"

namespace trovium {

bool EnoughRoom(uint64_t free_bytes, uint64_t total_bytes) {
  return free_bytes == 0 || free_bytes > (total_bytes / 100) * 103;
}

OutputCheckResult CheckOutputFolder(const std::string& folder, const std::string& source_path,
                                    uint64_t total_bytes, const std::string& sysfs_root) {
  if (folder.empty()) return {OutputCheck::kEmpty, kChooseFolderText};
  if (!platform::IsWritableFolder(folder)) return {OutputCheck::kInvalid, kInvalidFolderText};
  uint64_t dev = 0;
  if (!platform::DeviceOfPath(folder, dev)) return {OutputCheck::kInvalid, kInvalidFolderText};
  const std::vector<uint64_t> source_devs = platform::SourceDeviceNumbers(source_path, sysfs_root);
  if (std::find(source_devs.begin(), source_devs.end(), dev) != source_devs.end()) {
    return {OutputCheck::kOnSource, kOnSourceText};
  }
  if (!EnoughRoom(DriveFreeBytes(folder), total_bytes)) return {OutputCheck::kNoRoom, kNoRoomText};
  return {};
}

}  // namespace trovium
