#include "core/report.h"
#include "scan/scan_clock.h"

namespace trovium {

void ReportScanMinutes() {
  std::string text;
  if (ScanMinuteText(ScanElapsedSeconds(), text)) ReportEvent(kScanMinuteReportCode, text);
}

}  // namespace trovium
