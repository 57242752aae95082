#include "core/config_text.h"

#include "core/text_convert.h"

namespace trovium {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Applies the comment rules to one line (already UTF-8). False for a comment line.
bool StripComment(std::string& line) {
  if (line.compare(0, 2, "//") == 0) return false;
  for (size_t at = line.find("//", 1); at != std::string::npos; at = line.find("//", at + 1)) {
    if (IsBlank(line[at - 1])) {
      line.resize(at);
      break;
    }
  }
  return true;
}

std::string TrimBlanks(std::string_view text) {
  size_t begin = 0, end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return std::string(text.substr(begin, end - begin));
}

void ParseLine(const uint16_t* units, size_t count, const std::vector<std::string>& line_keys, ConfigTable& table) {
  if (count == 0 || count > kConfigLineMaxUnits) return;
  std::string line = Utf16ToUtf8(units, count);
  if (!StripComment(line)) return;
  for (const std::string& key : line_keys) {
    if (!key.empty() && line.compare(0, key.size(), key) == 0) {
      SetConfigValue(table, key, TrimBlanks(std::string_view(line).substr(key.size())));
      return;
    }
  }
}

}  // namespace

std::string NormalizeConfigKey(std::string_view key) {
  std::string out = ToLowerAscii(key);
  if (out.empty() || out.back() != ':') out += ':';
  return out;
}

void SetConfigValue(ConfigTable& table, std::string_view key, std::string value) {
  std::string normal = NormalizeConfigKey(key);
  for (auto& kv : table.pairs) {
    if (kv.first == normal) {
      kv.second = std::move(value);
      return;
    }
  }
  table.pairs.emplace_back(std::move(normal), std::move(value));
}

const std::string* FindConfigValue(const ConfigTable& table, std::string_view key) {
  std::string normal = NormalizeConfigKey(key);
  for (const auto& kv : table.pairs) {
    if (kv.first == normal) return &kv.second;
  }
  return nullptr;
}

void ParseConfigText(ByteView text, const std::vector<std::string>& line_keys, ConfigTable& table) {
  std::vector<uint16_t> units(text.size() / 2);
  for (size_t i = 0; i < units.size(); ++i) units[i] = text.le16_or0(2 * i);
  size_t pos = (!units.empty() && units[0] == 0xFEFF) ? 1 : 0;
  while (pos < units.size()) {
    size_t end = pos;
    while (end < units.size() && !(units[end] == 0x000D && end + 1 < units.size() && units[end + 1] == 0x000A)) ++end;
    ParseLine(units.data() + pos, end - pos, line_keys, table);
    pos = end + 2;  // past CR LF (or past the end)
  }
}

}  // namespace trovium
