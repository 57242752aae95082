#pragma once
// The checks of the chosen output folder, shared by the export dialog and
// `trovium-cli recover`: each gives a code and the text to show.

#include <cstdint>
#include <string>

namespace trovium {

enum class OutputCheck { kOk = 0, kEmpty, kInvalid, kOnSource, kNoRoom };

inline constexpr char kChooseFolderText[] = "请选择恢复目录！";
inline constexpr char kInvalidFolderText[] = "选择的目录不合法，恢复失败！";
inline constexpr char kOnSourceText[] = "您选择的文件导出目录在您需要恢复数据的分区里，请选择其他分区里的目录!";
inline constexpr char kNoRoomText[] = "您选择的文件导出目录所在磁盘的空间不足!";

struct OutputCheckResult {
  OutputCheck code = OutputCheck::kOk;
  std::string text;  // empty when kOk
  bool ok() const { return code == OutputCheck::kOk; }
};

// The folder must be given, be an existing writable folder (an existing file
// fails), lie on no device that the source occupies (its own, its disk's or
// any partition of its disk; an image file occupies none), and have free
// space above total_bytes plus 3 % (no check when the free space cannot be
// learnt).
OutputCheckResult CheckOutputFolder(const std::string& folder, const std::string& source_path,
                                    uint64_t total_bytes, const std::string& sysfs_root = "/sys");

// The free-space rule alone: free is 0 (unknown) or above (total / 100) * 103.
bool EnoughRoom(uint64_t free_bytes, uint64_t total_bytes);

}  // namespace trovium
