#pragma once
// The line format of "Base.dat" and of the configuration text inside
// "Recovery.dat", and the table of keys and values read from it.
//
// Text: UTF-16LE, an optional byte-order mark first, lines ending in CR LF (the
// text after the last CR LF is the last line). A line starting with "//" is a
// comment; otherwise the first "//" preceded by a space or a tab starts a
// trailing comment. A line sets a key when it begins with the key text, colon
// included, matched case-sensitively against the known keys in their order;
// the value is the rest, without leading and trailing spaces and tabs.
// Lines of more than 1023 units are ignored as a whole: cutting them would
// hand out a value nobody wrote.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/byte_view.h"

namespace trovium {

inline constexpr size_t kConfigLineMaxUnits = 1023;

// Keys are kept in lower case with a trailing colon; values as written (UTF-8).
struct ConfigTable {
  std::vector<std::pair<std::string, std::string>> pairs;
};

// Lower-cases key (ASCII), adds a trailing ":" when missing.
std::string NormalizeConfigKey(std::string_view key);

// Replaces the value of a key already present, else appends the pair.
void SetConfigValue(ConfigTable& table, std::string_view key, std::string value);

// The value stored for key (normalised first), or nullptr.
const std::string* FindConfigValue(const ConfigTable& table, std::string_view key);

// Reads every line of text into table. line_keys are the known keys with their
// colon (e.g. "Default-SaveDir:"), in matching order; the first that begins a
// line wins. Malformed UTF-16 becomes U+FFFD; an odd last byte is ignored.
void ParseConfigText(ByteView text, const std::vector<std::string>& line_keys, ConfigTable& table);

}  // namespace trovium
