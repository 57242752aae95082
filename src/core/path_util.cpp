#include "core/path_util.h"

#include <random>

#include "core/text_convert.h"
#include "platform/fs_info.h"

namespace trovium {
namespace {

char RandomDigit() {
  thread_local std::minstd_rand engine(std::random_device{}());
  return static_cast<char>('0' + std::uniform_int_distribution<int>(0, 9)(engine));
}

}  // namespace

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string out(folder);
  if (!out.empty() && out.back() != '/') out += '/';
  out += name;
  return out;
}

bool IsValidNameChar(char32_t cp) {
  if (cp < 0x20) return false;
  if (cp <= 0x7E) {
    switch (cp) {
      case '"': case '*': case '/': case ':': case '<': case '>': case '?': case '\\': case '|':
        return false;
      default:
        return true;
    }
  }
  return cp >= 0x4E00 && cp <= 0x9FA5;
}

bool SanitizeLastComponent(std::string& path) {
  std::string work = path;
  if (!work.empty() && work.back() == '/') work.pop_back();
  size_t slash = work.rfind('/');
  size_t start = slash == std::string::npos ? 0 : slash + 1;
  if (start >= work.size()) return false;
  std::string_view last(work.data() + start, work.size() - start);
  std::string cleaned;
  size_t pos = 0;
  while (pos < last.size()) {
    size_t from = pos;
    char32_t cp = 0;
    bool ok = NextCodePoint(last, pos, cp);
    if (ok && IsValidNameChar(cp)) cleaned.append(last.substr(from, pos - from));
    else cleaned += RandomDigit();
  }
  path = work.substr(0, start) + cleaned;
  return true;
}

bool CreateDirectoryChecked(std::string& path) {
  if (platform::MakeDirectory(path)) return true;
  std::string changed = path;
  if (!SanitizeLastComponent(changed) || !platform::MakeDirectory(changed)) return false;
  path = changed;
  return true;
}

uint64_t DriveFreeBytes(const std::string& path) { return platform::FreeBytes(path); }

}  // namespace trovium
