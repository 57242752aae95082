#pragma once
// What the deep scan tells the user about failed chunk reads when it ends.

#include <cstdint>
#include <string>

namespace trovium {

inline constexpr int kScanReadErrorReportCode = 23;

// The message for `errors` failed chunk reads out of `reads`: false (and no
// text) for ten failures or fewer, or for more failures than reads. Each
// failure stands for one 8-MiB chunk; up to 2000 MB the loss is given in MB,
// beyond in GB with two decimals (independent of the locale). A removable
// device gets the advice about cables and ports appended.
bool ScanReadErrorText(uint32_t errors, uint32_t reads, bool removable, std::string& out);

// "Disk scan error: errors / reads", the report that follows the message.
std::string ScanReadErrorReportText(uint32_t errors, uint32_t reads);

// Shows the message through the user prompt and reports it (code 23) when
// ScanReadErrorText gives one; true when it did.
bool ReportScanReadErrors(uint32_t errors, uint32_t reads, bool removable);

}  // namespace trovium
