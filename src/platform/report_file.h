#pragma once
// The local transport of the diagnostic report channel: one line per report in
// "reports.log" in the state folder. The file is kept below about 1 MiB by
// dropping its oldest lines.
//
// Line format: "YYYY-MM-DD HH:MM:SS <code> <text>\n" in local time. Line breaks
// inside a text become spaces so that every report stays one line. Crash
// reports (see crash_handler.h) follow their report line with the crash file's
// lines, each indented by a tab.

#include <chrono>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>
#include <string_view>

namespace trovium::platform {

inline constexpr const char* kReportFileName = "reports.log";

struct ReportFileLimits {
  uint64_t max_bytes = 1u << 20;                  // past this the oldest half is dropped
  std::chrono::milliseconds deadline{7000};       // longest wait for the channel
};

// "<state folder>/reports.log", or "" when there is no state folder.
std::string ReportFilePath();

// Appends one report to ReportFilePath(). Returns false when the report was
// dropped (no state folder, the channel busy past the deadline, a failed
// write). Never throws; reports from all threads are serialised, and the
// caller waits at most limits.deadline for the others.
bool AppendReport(int code, std::string_view text, const ReportFileLimits& limits = {}) noexcept;

// The same into a given file (tests, tools).
bool AppendReportTo(const std::string& path, int code, std::string_view text,
                    const ReportFileLimits& limits = {}) noexcept;

// The process-wide lock that serialises the channel; tests hold it to see
// the deadline at work.
std::mutex& ReportChannelLockForTesting();

// Formats t (seconds since the epoch) as "YYYY-MM-DD HH:MM:SS" shifted by
// gmtoff seconds into out (at least 20 bytes, NUL-terminated). Pure arithmetic
// without locks or allocation, so that the crash handler may use it too.
void FormatReportTimestamp(time_t t, long gmtoff, char* out);

}  // namespace trovium::platform

namespace trovium::platform {

// Appends "<timestamp> <code> <text>\n" to path with open/write/close only:
// async-signal-safe, for the crash handler. gmtoff is the local offset taken
// beforehand (localtime is not safe in a signal handler). No lock, no
// rotation. Returns false when the line could not be written.
bool AppendReportLineRaw(const char* path, long gmtoff, int code, const char* text) noexcept;

}  // namespace trovium::platform
