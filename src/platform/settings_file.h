#pragma once
// A small persistent key-value store in the state folder ("registry.ini"):
// one section per key path, any text as section, name or value.
//
// On disk: "[section]" lines followed by "name=value" lines; the characters
// "\", "=", "[", "]" and control bytes are written as escapes ("\\", "\xHH"),
// so every text round-trips. Writes go to a temporary file that is renamed over
// the old one, so a crash leaves either the old or the new file. Lines that do
// not parse are ignored when reading.

#include <string>

namespace trovium::platform {

// StateFolder() + "/registry.ini"; "" when there is no state folder.
std::string SettingsFilePath();

// Reads one value from the file at path. False when the file, the section or
// the name is missing.
bool ReadSetting(const std::string& path, const std::string& section, const std::string& name, std::string& value);

// Sets one value, replacing an earlier one, and writes the file atomically.
// Other sections and values are kept. False when the file cannot be written.
bool WriteSetting(const std::string& path, const std::string& section, const std::string& name,
                  const std::string& value);

// Escaping used on disk, exposed for tests.
std::string EscapeSettingText(const std::string& text);
bool UnescapeSettingText(const std::string& text, std::string& out);

}  // namespace trovium::platform
