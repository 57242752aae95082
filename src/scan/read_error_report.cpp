#include "scan/read_error_report.h"

#include <charconv>

#include "core/report.h"
#include "core/user_prompt.h"

namespace trovium {
namespace {

constexpr uint64_t kChunkMiB = 8;
constexpr uint64_t kMaxMiBText = 2000;

std::string FixedTwoDecimals(double value) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 2);
  return std::string(buf, r.ptr);
}

}  // namespace

bool ScanReadErrorText(uint32_t errors, uint32_t reads, bool removable, std::string& out) {
  if (errors <= 10 || errors > reads) return false;
  const uint64_t mb = uint64_t{errors} * kChunkMiB;
  const std::string count = std::to_string(errors);
  if (mb <= kMaxMiBText) {
    out = "扫描数据时，发生了" + count + "次读磁盘错误，至少" + std::to_string(mb) + "(MB)数据读失败，可能影响您的恢复效果！";
  } else {
    out = "扫描数据时，发生了" + count + "次读磁盘错误，至少" + FixedTwoDecimals(static_cast<double>(mb) / 1024.0) +
          "(GB)数据读失败，可能会严重影响您的恢复效果！";
  }
  if (removable) {
    out += "\n可能是电脑、读卡器、USB线、USB口等设备接触不良。建议您更换电脑、读卡器、USB线，"
           "并将存储设备插在电脑机箱后面的USB口，再重新恢复您的数据！";
  }
  return true;
}

std::string ScanReadErrorReportText(uint32_t errors, uint32_t reads) {
  return "Disk scan error: " + std::to_string(errors) + " / " + std::to_string(reads);
}

bool ReportScanReadErrors(uint32_t errors, uint32_t reads, bool removable) {
  std::string text;
  if (!ScanReadErrorText(errors, reads, removable, text)) return false;
  GetUserPrompt().Inform(text, "");
  ReportEvent(kScanReadErrorReportCode, ScanReadErrorReportText(errors, reads));
  return true;
}

}  // namespace trovium
