#pragma once
// Display names of every one-byte kind code: file types by their extension,
// file-system structures by name, "***" for everything else.

#include <string>

namespace trovium {

// Builds the table once (later calls do nothing). Thread-safe.
void BuildKindNames();

// Name of a kind code 0..236; "***" for codes without a name and for codes
// outside the table. Builds the table on first use.
const std::string& KindName(int code);

}  // namespace trovium
