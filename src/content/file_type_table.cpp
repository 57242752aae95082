#include "content/file_type_table.h"

#include <algorithm>
#include <array>
#include <mutex>

#include "content/file_type_rows.h"

namespace trovium {
namespace {

constexpr const char* kCategoryNames[] = {"文档", "照片", "图像", "音频", "视频", "压缩文件", "其他"};

struct ProcessTable {
  std::once_flag built;
  // Guards the `selected` flags against the settings page's write-back while
  // a copy is taken; every other field is fixed once built.
  std::mutex lock;
  FileTypeTable table;
};

ProcessTable& process_table() {
  static ProcessTable instance;
  return instance;
}

void add_row(FileTypeTable& table, const FileTypeRowDef& def) {
  FileTypeRow& row = table.rows[def.code];
  row.category = def.category;
  row.code = def.code;
  row.description = def.description;
  row.extension = def.extension;
  row.extension_list = def.extension_list ? def.extension_list : def.extension;
  row.selected = 1;
  table.categories[def.category].codes.push_back(def.code);
  if (def.category == kCategoryPhoto) table.photo_codes.push_back(def.code);
  if (def.category == kCategoryVideo) table.video_codes.push_back(def.code);
}

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Text after the last dot; empty when there is no dot or the dot starts the
// name (".profile" is a hidden file, not an extension).
std::string_view extension_of(std::string_view name) {
  if (name.size() < 2) return {};
  size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return {};
  return name.substr(dot + 1);
}

bool equal_ignoring_ascii_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  return true;
}

template <size_t N>
bool extension_in(std::string_view name, const std::array<std::string_view, N>& list) {
  std::string_view ext = extension_of(name);
  if (ext.empty()) return false;
  for (std::string_view candidate : list)
    if (equal_ignoring_ascii_case(ext, candidate)) return true;
  return false;
}

bool contains(const std::vector<uint32_t>& codes, uint32_t code) {
  return std::find(codes.begin(), codes.end(), code) != codes.end();
}

}  // namespace

void fill_file_type_table(FileTypeTable& table) {
  table.categories.clear();
  table.rows.clear();
  table.photo_codes.clear();
  table.video_codes.clear();

  table.categories.resize(kFileTypeCategoryCount);
  for (uint32_t id = kFirstShownCategory; id < kFileTypeCategoryCount; ++id) {
    table.categories[id].id = id;
    table.categories[id].name = kCategoryNames[id - kFirstShownCategory];
  }
  table.rows.resize(kFileTypeSlotCount);
  for (const FileTypeRowDef& def : file_type_row_defs()) add_row(table, def);
}

const FileTypeTable& build_file_type_table() {
  ProcessTable& p = process_table();
  std::call_once(p.built, [&p] { fill_file_type_table(p.table); });
  return p.table;
}

FileTypeTable copy_file_type_table() {
  const FileTypeTable& table = build_file_type_table();
  std::lock_guard<std::mutex> guard(process_table().lock);
  return table;
}

void copy_file_type_rows(std::vector<FileTypeRow>& destination, bool all) {
  const FileTypeTable& table = build_file_type_table();
  std::lock_guard<std::mutex> guard(process_table().lock);
  auto first = table.rows.begin() + (all ? 0 : kFirstFileTypeCode);
  destination.assign(first, table.rows.end());
}

void copy_file_type_categories(std::vector<FileTypeCategory>& destination, bool all) {
  const FileTypeTable& table = build_file_type_table();
  std::lock_guard<std::mutex> guard(process_table().lock);
  auto first = table.categories.begin() + (all ? 0 : kFirstShownCategory);
  destination.assign(first, table.categories.end());
}

void write_back_file_type_selection(const std::vector<FileTypeCategory>& categories,
                                    const std::vector<FileTypeRow>& rows) {
  build_file_type_table();
  ProcessTable& p = process_table();
  std::lock_guard<std::mutex> guard(p.lock);
  for (size_t i = 0; i < categories.size() && i < p.table.categories.size(); ++i)
    p.table.categories[i].selected = categories[i].selected;
  for (size_t i = 0; i < rows.size() && i < p.table.rows.size(); ++i)
    p.table.rows[i].selected = rows[i].selected;
}

FileTypeCode type_from_file_name(std::string_view name) {
  std::string_view ext = extension_of(name);
  if (ext.empty()) return kUnknownFileType;
  const FileTypeTable& table = build_file_type_table();
  for (uint32_t code = kFirstFileTypeCode; code <= kLastFileTypeCode; ++code) {
    const FileTypeRow& row = table.rows[code];
    if (row.code == 0) continue;  // empty slot: its "XXX" must never match
    if (equal_ignoring_ascii_case(ext, row.extension)) return static_cast<FileTypeCode>(code);
  }
  return kUnknownFileType;
}

bool is_photo_type(uint32_t code) { return contains(build_file_type_table().photo_codes, code); }

bool is_video_type(uint32_t code) { return contains(build_file_type_table().video_codes, code); }

bool is_listed_type(uint32_t code, bool video_fragment_mode) {
  if (!video_fragment_mode) return true;
  return is_photo_type(code) || is_video_type(code);
}

bool is_text_type(uint32_t code) {
  switch (code) {
    case kFileTypeHtml: case kFileTypeTxt: case kFileTypeXml: case kFileTypeH: case kFileTypeC:
    case kFileTypeCpp: case kFileTypeJava: case kFileTypePhp: case kFileTypeJs: case kFileTypeCss:
      return true;
    default:
      return false;
  }
}

bool is_image_file_name(std::string_view name) {
  static constexpr std::array<std::string_view, 6> kImages = {"bmp", "jpg", "png", "ico", "gif", "tif"};
  return extension_in(name, kImages);
}

bool is_text_file_name(std::string_view name) {
  static constexpr std::array<std::string_view, 17> kTexts = {
      "txt", "h", "c", "cpp", "cc", "cxx", "php", "xml", "htm",
      "html", "lua", "js", "css", "inf", "ini", "json", "log"};
  return extension_in(name, kTexts);
}

}  // namespace trovium
