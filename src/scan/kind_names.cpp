#include "scan/kind_names.h"

#include <array>
#include <mutex>
#include <vector>

#include "content/file_type_table.h"

namespace trovium {
namespace {

constexpr int kKindNameCount = 237;  // codes 0..236

struct KindNameTable {
  std::once_flag built;
  std::array<std::string, kKindNameCount> names;
};

KindNameTable& kind_name_table() {
  static KindNameTable instance;
  return instance;
}

const std::string& unnamed() {
  static const std::string text = "***";
  return text;
}

constexpr const char* kStructNames[] = {
    "MBR", "EBR", "NTFS DBR", "FILE RECORD", "DIR ENTRY", "FAT16 DBR", "FAT16 fat table",
    "FAT32 DBR", "FAT32 FAT Table", "FAT32 file sys info", "FAT Dir entry", "FAT Root Dir entry",
    "EXFAT DBR", "Exfat root dir entry", "Exfat dir entry"};
static_assert(sizeof(kStructNames) / sizeof(kStructNames[0]) == 235 - 221 + 1);

void fill(KindNameTable& t) {
  t.names.fill(unnamed());
  std::vector<FileTypeRow> rows;
  copy_file_type_rows(rows, true);
  for (const FileTypeRow& row : rows) {
    // Empty slots carry code 0 and the placeholder "XXX"; copying them would
    // give code 0 a name no file type has.
    if (row.code == 0 || row.code >= static_cast<uint32_t>(kKindNameCount)) continue;
    t.names[row.code] = row.extension;
  }
  for (int code = 221; code <= 235; ++code) t.names[code] = kStructNames[code - 221];
}

}  // namespace

void BuildKindNames() {
  KindNameTable& t = kind_name_table();
  std::call_once(t.built, [&t] { fill(t); });
}

const std::string& KindName(int code) {
  if (code < 0 || code >= kKindNameCount) return unnamed();
  BuildKindNames();
  return kind_name_table().names[code];
}

}  // namespace trovium
