#include "scan/progress.h"

#include <cstring>
#include <mutex>

namespace trovium {
namespace {

struct ProgressMailbox {
  std::mutex lock;  // held only while the record is copied
  ProgressReport report{};
};

ProgressMailbox& mailbox() {
  static ProgressMailbox instance;
  return instance;
}

bool is_continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

bool CountScanHit(ScanStats& stats, uint32_t kind) {
  if (kind < 172) {
    ++stats.filesFound;
    return true;
  }
  switch (kind) {
    case 222: ++stats.ebrHits; return true;
    case 223: ++stats.ntfsBootHits; return true;
    case 226: case 228: ++stats.fatBootHits; return true;
    case 233: ++stats.exfatBootHits; return true;
    case 224: ++stats.fileRecordHits; return true;
    case 231: ++stats.fatDirHits; return true;
    case 225: ++stats.indxHits; return true;
    case 235: ++stats.exfatDirHits; return true;
    default: return false;
  }
}

void SetProgressText(char* field, size_t field_size, std::string_view text, size_t max_chars) {
  if (field == nullptr || field_size == 0) return;
  size_t used = 0;
  size_t chars = 0;
  size_t at = 0;
  while (at < text.size() && chars < max_chars) {
    // A character is a lead byte and at most three continuation bytes; stray
    // continuation bytes count as characters of their own, so a character
    // never exceeds four bytes and malformed text cannot overrun the field.
    size_t len = 1;
    while (len < 4 && at + len < text.size() && is_continuation(static_cast<unsigned char>(text[at + len]))) ++len;
    if (used + len > field_size - 1) break;
    std::memcpy(field + used, text.data() + at, len);
    used += len;
    at += len;
    ++chars;
  }
  std::memset(field + used, 0, field_size - used);
}

bool PostProgress(const ProgressReport& report) {
  if (report.reportKind == kProgressEmpty) return false;
  ProgressMailbox& m = mailbox();
  std::lock_guard<std::mutex> guard(m.lock);
  if (m.report.reportKind != kProgressEmpty) return false;
  m.report = report;
  return true;
}

bool TakeProgress(ProgressReport& out) {
  ProgressMailbox& m = mailbox();
  std::lock_guard<std::mutex> guard(m.lock);
  if (m.report.reportKind == kProgressEmpty) return false;
  out = m.report;
  m.report.reportKind = kProgressEmpty;
  return true;
}

void ClearProgress() {
  ProgressMailbox& m = mailbox();
  std::lock_guard<std::mutex> guard(m.lock);
  m.report = ProgressReport{};
}

bool PostStatusText(std::string_view title, std::string_view text) {
  ProgressReport report{};
  report.reportKind = kProgressStatusText;
  SetProgressText(report.status.title, title, kStatusTitleChars);
  SetProgressText(report.status.text, text, kStatusTextChars);
  return PostProgress(report);
}

}  // namespace trovium
