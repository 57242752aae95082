#pragma once
// The program's persistent values ("RunNum", "Detail", "JoinImproveSoft"),
// kept in the settings file under the key "SOFTWARE\<Company>\<LocalName>"
// named by the configuration. Values that cannot be read count as absent;
// failed writes are ignored by the callers.

#include <optional>
#include <string>
#include <string_view>

namespace trovium {

// "SOFTWARE\<Company>\<LocalName>", or "" while either is not configured.
std::string RegistryKeyPath();

std::optional<std::string> ReadRegistryValue(std::string_view name);
bool WriteRegistryValue(std::string_view name, std::string_view value);

// Stores the one-character start counter.
bool WriteRunNum(char unit);

// Once per start: "1" and 1 the first time; later the stored character c is
// raised by one while below "~" and c - 0x2F is the start number ("~" stays and
// gives 79). A stored value outside "0".."~" is damage and starts over at 1.
int UpdateRunNum();

// "Detail" when it is made only of "0", a-z and A-Z; "0" otherwise.
std::string ReadInstallDetail();
std::string ValidInstallDetail(std::string_view value);

// "JoinImproveSoft" is "1".
bool ReadJoinImproveSoft();

}  // namespace trovium
