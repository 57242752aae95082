#include <vector>

#include "content/file_type_table.h"
#include "core/byte_view.h"
#include "core/text_convert.h"
#include "store/volume_record.h"

namespace trovium {

namespace {
constexpr uint64_t kMaxInfoFileSize = 10240;
constexpr size_t kMaxNameChars = 260;

size_t CountCodePoints(const std::string& text) {
  size_t n = 0, pos = 0;
  char32_t cp = 0;
  while (pos < text.size() && NextCodePoint(text, pos, cp)) ++n;
  return n;
}
}  // namespace

bool ParseRecycleInfoName(const std::vector<uint8_t>& content, std::string& name) {
  const ByteView bytes(content.data(), content.size());
  const size_t units = bytes.size() / 2;
  // The last ":\" pair, then the last "\" after it.
  size_t drive = SIZE_MAX;
  for (size_t i = 0; i + 1 < units; ++i)
    if (bytes.le16_or0(2 * i) == u':' && bytes.le16_or0(2 * i + 2) == u'\\') drive = i + 1;
  if (drive == SIZE_MAX) return false;
  size_t slash = drive;
  size_t end = units;
  for (size_t i = drive; i < units; ++i) {
    const uint16_t u = bytes.le16_or0(2 * i);
    if (u == 0) {
      end = i;
      break;
    }
    if (u == u'\\') slash = i;
  }
  const size_t first = slash + 1;
  if (first >= end) return false;
  std::string text = Utf16LeToUtf8(bytes.sub(2 * first, 2 * (end - first)));
  const size_t chars = CountCodePoints(text);
  if (chars < 1 || chars > kMaxNameChars) return false;
  name = std::move(text);
  return true;
}

uint32_t RestoreRecycleBinNames(VolumeRecord& v, const RecordContentReader& reader) {
  if (!reader) return 0;  // no way to the device: nothing is renamed
  const FileRecord* root = GetRecord(v, kRootIndex);
  if (!root) return 0;
  uint32_t bin = 0;
  for (uint32_t c : root->children)
    if (const FileRecord* r = GetRecord(v, c); r && r->is_dir() && r->name == kRecycleBinName) bin = c;
  if (!bin) return 0;

  uint32_t renamed = 0;
  const std::vector<uint32_t> users = v.files[bin].children;
  for (uint32_t user : users) {
    const FileRecord* u = GetRecord(v, user);
    if (!u || !u->is_dir()) continue;
    std::vector<uint32_t> deleted_files, others;
    for (uint32_t c : u->children) {
      const FileRecord* r = GetRecord(v, c);
      if (!r) continue;
      (r->name.size() > 2 && r->name.compare(0, 2, "$R") == 0 ? deleted_files : others).push_back(c);
    }
    for (uint32_t rf : deleted_files) {
      const std::string rest = v.files[rf].name.substr(2);
      for (uint32_t& oc : others) {
        const FileRecord* companion = GetRecord(v, oc);
        if (!companion || companion->name.size() < 2 || companion->name.compare(2, std::string::npos, rest) != 0)
          continue;
        if (companion->size > kMaxInfoFileSize) break;
        std::vector<uint8_t> content;
        std::string original;
        if (!reader(v, *companion, kMaxInfoFileSize, content) || content.size() > kMaxInfoFileSize ||
            !ParseRecycleInfoName(content, original))
          break;
        v.files[rf].name = original;
        v.files[rf].type_code = type_from_file_name(original);  // the "$R" name kept only the extension
        RemoveSubtree(v, oc);
        oc = 0;
        ++renamed;
        break;
      }
    }
  }
  return renamed;
}

}  // namespace trovium
