#include "store/title.h"

#include <cstdio>

namespace trovium {

namespace {
const char* FsWord(int32_t kind) {
  switch (kind) {
    case kFsExfat: return "EXFAT ";
    case kFsFat16: return "FAT16 ";
    case kFsFat32: return "FAT32 ";
    case kFsNtfs: return "NTFS ";
    case kFsFatDir: return "FatDir ";
    case kFsExfatDir: return "ExfatDir ";
    default: return "";
  }
}
}  // namespace

std::string VolumeTitle(const VolumeRecord& v, uint32_t index, const std::vector<VolumeRecord>& mounted,
                        const VolumeRecord& source) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02u ", index >= 3 ? index - 3 : 0u);
  std::string title = buf;
  if (v.mounted) {
    const uint64_t source_end = source.start_lba + source.sector_count;
    for (const VolumeRecord& m : mounted) {
      // The drive letter is the first character of a "X:" volume path.
      if (!m.mounted || m.volume_path.size() < 2 || m.volume_path[1] != ':') continue;
      if (m.disk_number != source.disk_number || m.start_lba < source.start_lba || m.start_lba >= source_end ||
          m.start_lba != v.start_lba)
        continue;
      title += m.volume_path[0];
      title += "盘 ";
    }
  }
  title += v.label;
  title += ' ';
  if (v.view == 1) title += "正常文件 ";
  if (v.view == 2) title += "删除文件 ";
  title += FsWord(v.fs_kind);
  std::snprintf(buf, sizeof buf, " (%u个文件)", v.shown_file_count);
  return title + buf;
}

std::string DirectoryRowText(const FileRecord& dir) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "     (%u个文件)", dir.subtree_file_count);
  return dir.name + buf;
}

}  // namespace trovium
