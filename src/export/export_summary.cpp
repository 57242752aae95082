// What the user is told after an export, and when export or open must wait
// for the scan.

#include <cstdio>

#include "core/program_identity.h"
#include "core/report.h"
#include "core/soft_config.h"
#include "export/export_engine.h"
#include "scan/job_state.h"

namespace trovium {

std::string ExportSummaryText(const ExportTotals& t) {
  const uint64_t b = t.bytes_written;
  const unsigned n = t.files_recovered;
  char text[256];
  // Thresholds 1.2 GiB, 1.2 MiB and 1.2 KiB, compared as whole bytes.
  if (b >= 1288490189ull) {
    std::snprintf(text, sizeof text, "导出结束！本次恢复%u个文件，共计%.2f(GB)数据！", n,
                  static_cast<double>(b >> 20) / 1024.0);
  } else if (b >= 1258292ull) {
    std::snprintf(text, sizeof text, "导出结束！本次恢复%u个文件，共计%.2f(MB)数据！", n,
                  static_cast<double>(b) / 1048576.0);
  } else if (b >= 1229ull) {
    std::snprintf(text, sizeof text, "导出结束！本次恢复%u个文件，共计%u(KB)数据！", n, static_cast<unsigned>(b >> 10));
  } else {
    std::snprintf(text, sizeof text, "导出结束！本次恢复%u个文件，共计%u(B)数据！", n, static_cast<unsigned>(b));
  }
  std::string out;
  if (t.out_of_space) out = std::string(kNoSpaceStoppedText) + "\n";
  out += text;
  if (t.files_failed) out += "\n" + std::to_string(t.files_failed) + "个文件导出失败！";
  if (t.files_skipped) out += "\n" + std::to_string(t.files_skipped) + "个已存在的文件被跳过。";
  return out;
}

std::string ShowExportSummary(const ExportJob& job, UserPrompt& prompt) {
  const uint32_t errors = ReadErrorCount();
  if (errors) {
    std::string text = "导出文件时，发生了" + std::to_string(errors) + "次读磁盘错误，导致部分文件导出失败！";
    if (job.source_removable) {
      text += "\n可能是电脑、读卡器、USB线、USB口等设备接触不良。建议您更换电脑、读卡器、USB线，并将存储设备插在电脑机箱后面的USB口，再重新恢复您的数据！";
    }
    prompt.Inform(text, "提示");
    ReportEvent(24, "Disk scan error: " + std::to_string(errors) + " / " + std::to_string(ReadCount()));
  }
  const std::string summary = ExportSummaryText(job.totals);
  prompt.Inform(summary, "恢复成功");
  return summary;
}

bool MustScanEndRule(const std::string& verb, const std::atomic<int>* last_scan_state, int32_t recovery_mode,
                     int32_t source_fs_kind, UserPrompt& prompt) {
  if (!last_scan_state || last_scan_state->load() != 0) return true;
  if (IsFreeSpaceMode(recovery_mode) && source_fs_kind == kFsFat32) {
    prompt.Inform("FAT32分区删除的文件，扫描完后才能" + verb + "，请耐心等待!", "提示");
    return false;
  }
  if (GetSoftCfg("MustScanEnd") == "1") {
    prompt.Inform("扫描完后才能" + verb + "，请耐心等待!", "提示");
    return false;
  }
  return true;
}

std::string CopySummaryLine(const ExportProgress& progress) {
  const auto& p = progress.report.exportCopy;
  char line[256];
  std::snprintf(line, sizeof line, "%s-%s-%s copy data(MB): %u / %u     File num: %u / %u", EditionBrand().c_str(),
                EditionVersion().c_str(), kProgramVersion, static_cast<unsigned>(p.copied_bytes >> 20),
                static_cast<unsigned>(p.total_bytes >> 20), p.files_done, p.total_files);
  return line;
}

}  // namespace trovium
