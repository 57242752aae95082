#include "core/registry.h"

#include "core/soft_config.h"
#include "platform/settings_file.h"

namespace trovium {

std::string RegistryKeyPath() {
  std::string company = GetSoftCfg("Company");
  std::string local = GetSoftCfg("LocalName");
  if (company.empty() || local.empty()) return "";
  return "SOFTWARE\\" + company + "\\" + local;
}

std::optional<std::string> ReadRegistryValue(std::string_view name) {
  std::string key = RegistryKeyPath();
  std::string value;
  if (key.empty() || !platform::ReadSetting(platform::SettingsFilePath(), key, std::string(name), value)) {
    return std::nullopt;
  }
  return value;
}

bool WriteRegistryValue(std::string_view name, std::string_view value) {
  std::string key = RegistryKeyPath();
  if (key.empty()) return false;
  return platform::WriteSetting(platform::SettingsFilePath(), key, std::string(name), std::string(value));
}

bool WriteRunNum(char unit) { return WriteRegistryValue("RunNum", std::string(1, unit)); }

int UpdateRunNum() {
  std::optional<std::string> stored = ReadRegistryValue("RunNum");
  if (stored && !stored->empty()) {
    char c = (*stored)[0];
    if (c >= '0' && c <= '~') {
      if (c < '~') WriteRunNum(static_cast<char>(c + 1));
      return c - 0x2F;
    }
  }
  WriteRunNum('1');
  return 1;
}

std::string ValidInstallDetail(std::string_view value) {
  if (value.empty()) return "0";
  for (char c : value) {
    bool ok = c == '0' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!ok) return "0";
  }
  return std::string(value);
}

std::string ReadInstallDetail() { return ValidInstallDetail(ReadRegistryValue("Detail").value_or("")); }

bool ReadJoinImproveSoft() { return ReadRegistryValue("JoinImproveSoft").value_or("") == "1"; }

}  // namespace trovium
