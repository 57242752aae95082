#include "platform/settings_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/fs_info.h"
#include "platform/paths.h"

namespace trovium::platform {
namespace {

constexpr uint64_t kMaxSettingsFile = 16u << 20;

struct Section {
  std::string name;
  std::vector<std::pair<std::string, std::string>> values;
};

// Threads of this process update the file one at a time; between processes
// the last rename wins.
std::mutex& SettingsLock() {
  static std::mutex lock;
  return lock;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::vector<Section> Parse(const std::vector<uint8_t>& bytes) {
  std::vector<Section> sections;
  std::string text(bytes.begin(), bytes.end());
  size_t pos = 0;
  Section* current = nullptr;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    if (line[0] == '[') {
      std::string name;
      current = nullptr;
      if (line.back() != ']' || line.size() < 2 || !UnescapeSettingText(line.substr(1, line.size() - 2), name)) {
        continue;  // damaged header: its values are dropped with it
      }
      for (Section& s : sections) {
        if (s.name == name) current = &s;
      }
      if (!current) {
        sections.push_back(Section{name, {}});
        current = &sections.back();
      }
      continue;
    }
    size_t eq = line.find('=');
    std::string name, value;
    if (!current || eq == std::string::npos || !UnescapeSettingText(line.substr(0, eq), name) ||
        !UnescapeSettingText(line.substr(eq + 1), value)) {
      continue;
    }
    bool replaced = false;
    for (auto& kv : current->values) {
      if (kv.first == name) {
        kv.second = value;
        replaced = true;
      }
    }
    if (!replaced) current->values.emplace_back(std::move(name), std::move(value));
  }
  return sections;
}

std::string Serialize(const std::vector<Section>& sections) {
  std::string out;
  for (const Section& s : sections) {
    out += "[" + EscapeSettingText(s.name) + "]\n";
    for (const auto& kv : s.values) out += EscapeSettingText(kv.first) + "=" + EscapeSettingText(kv.second) + "\n";
    out += "\n";
  }
  return out;
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool ReplaceFile(const std::string& path, const std::string& text) {
  std::string temp = path + ".tmp." + std::to_string(::getpid());
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, text) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok && ::rename(temp.c_str(), path.c_str()) == 0) return true;
  ::unlink(temp.c_str());
  return false;
}

}  // namespace

std::string SettingsFilePath() {
  std::string folder = StateFolder();
  return folder.empty() ? std::string() : folder + "/registry.ini";
}

std::string EscapeSettingText(const std::string& text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c == '\\') {
      out += "\\\\";
    } else if (c < 0x20 || c == 0x7F || c == '=' || c == '[' || c == ']' || c == '#' || c == ';') {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += ch;
    }
  }
  return out;
}

bool UnescapeSettingText(const std::string& text, std::string& out) {
  out.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == '\\') {
      out += '\\';
      i += 1;
      continue;
    }
    if (i + 3 < text.size() && text[i + 1] == 'x') {
      int hi = HexDigit(text[i + 2]), lo = HexDigit(text[i + 3]);
      if (hi < 0 || lo < 0) return false;
      out += static_cast<char>(hi * 16 + lo);
      i += 3;
      continue;
    }
    return false;
  }
  return true;
}

bool ReadSetting(const std::string& path, const std::string& section, const std::string& name, std::string& value) {
  std::vector<uint8_t> bytes;
  {
    std::lock_guard<std::mutex> guard(SettingsLock());
    if (path.empty() || !ReadWholeFile(path, kMaxSettingsFile, bytes)) return false;
  }
  for (const Section& s : Parse(bytes)) {
    if (s.name != section) continue;
    for (const auto& kv : s.values) {
      if (kv.first == name) {
        value = kv.second;
        return true;
      }
    }
  }
  return false;
}

bool WriteSetting(const std::string& path, const std::string& section, const std::string& name,
                  const std::string& value) {
  if (path.empty()) return false;
  std::lock_guard<std::mutex> guard(SettingsLock());
  std::vector<uint8_t> bytes;
  std::vector<Section> sections;
  if (ReadWholeFile(path, kMaxSettingsFile, bytes)) sections = Parse(bytes);
  Section* target = nullptr;
  for (Section& s : sections) {
    if (s.name == section) target = &s;
  }
  if (!target) {
    sections.push_back(Section{section, {}});
    target = &sections.back();
  }
  bool replaced = false;
  for (auto& kv : target->values) {
    if (kv.first == name) {
      kv.second = value;
      replaced = true;
    }
  }
  if (!replaced) target->values.emplace_back(name, value);
  return ReplaceFile(path, Serialize(sections));
}

}  // namespace trovium::platform
