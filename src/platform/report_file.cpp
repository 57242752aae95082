#include "platform/report_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <thread>
#include <vector>

#include "platform/paths.h"

namespace trovium::platform {
namespace {

bool WriteAll(int fd, const char* data, size_t len) {
  while (len > 0) {
    ssize_t n = ::write(fd, data, len);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    len -= static_cast<size_t>(n);
  }
  return true;
}

long LocalOffsetSeconds(time_t t) {
  struct tm local {};
  if (!::localtime_r(&t, &local)) return 0;
  return local.tm_gmtoff;
}

// Keeps the newest half of the file, starting at a line boundary. The new
// content goes to a temporary file first so that a crash in between leaves
// either the old or the new file, never a cut one.
void DropOldestLines(const std::string& path, uint64_t max_bytes) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || static_cast<uint64_t>(st.st_size) <= max_bytes) {
    ::close(fd);
    return;
  }
  uint64_t size = static_cast<uint64_t>(st.st_size);
  uint64_t keep = max_bytes / 2;
  std::vector<char> tail(static_cast<size_t>(keep));
  ssize_t got = ::pread(fd, tail.data(), tail.size(), static_cast<off_t>(size - keep));
  ::close(fd);
  if (got <= 0) return;
  tail.resize(static_cast<size_t>(got));
  size_t start = 0;
  while (start < tail.size() && tail[start] != '\n') ++start;
  start = start < tail.size() ? start + 1 : 0;

  std::string tmp = path + "." + std::to_string(::getpid()) + ".tmp";
  int out = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (out < 0) return;
  bool ok = WriteAll(out, tail.data() + start, tail.size() - start);
  ok = ::close(out) == 0 && ok;
  if (!ok || ::rename(tmp.c_str(), path.c_str()) != 0) ::unlink(tmp.c_str());
}

}  // namespace

std::mutex& ReportChannelLockForTesting() {
  static std::mutex lock;
  return lock;
}

namespace {

// A plain mutex polled until the deadline: timed waits on a mutex go through
// a call that ThreadSanitizer does not follow, and reports are rare enough
// that a 1-ms poll costs nothing.
bool TryLockUntil(std::unique_lock<std::mutex>& lock, std::chrono::milliseconds deadline) {
  auto until = std::chrono::steady_clock::now() + deadline;
  while (!lock.try_lock()) {
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace

void FormatReportTimestamp(time_t t, long gmtoff, char* out) {
  int64_t secs = static_cast<int64_t>(t) + gmtoff;
  int64_t days = secs / 86400;
  int64_t rem = secs % 86400;
  if (rem < 0) {
    rem += 86400;
    --days;
  }
  // Civil date from a day count (Howard Hinnant's algorithm).
  int64_t z = days + 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  int64_t day = doy - (153 * mp + 2) / 5 + 1;
  int64_t month = mp < 10 ? mp + 3 : mp - 9;
  int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  int fields[6] = {static_cast<int>(year % 10000), static_cast<int>(month), static_cast<int>(day),
                   static_cast<int>(rem / 3600), static_cast<int>(rem / 60 % 60), static_cast<int>(rem % 60)};
  char* p = out;
  for (int i = 0; i < 6; ++i) {
    int v = fields[i] < 0 ? 0 : fields[i];
    if (i == 0) {
      *p++ = static_cast<char>('0' + v / 1000);
      *p++ = static_cast<char>('0' + v / 100 % 10);
    }
    *p++ = static_cast<char>('0' + v / 10 % 10);
    *p++ = static_cast<char>('0' + v % 10);
    if (i < 5) *p++ = (i < 2) ? '-' : (i == 2 ? ' ' : ':');
  }
  *p = '\0';
}

std::string ReportFilePath() {
  std::string folder = StateFolder();
  return folder.empty() ? std::string() : folder + "/" + kReportFileName;
}

bool AppendReportTo(const std::string& path, int code, std::string_view text,
                    const ReportFileLimits& limits) noexcept {
  try {
    if (path.empty()) return false;
    std::unique_lock<std::mutex> lock(ReportChannelLockForTesting(), std::defer_lock);
    if (!TryLockUntil(lock, limits.deadline)) return false;

    time_t now = ::time(nullptr);
    char stamp[32];
    FormatReportTimestamp(now, LocalOffsetSeconds(now), stamp);
    std::string line = stamp;
    line += ' ';
    line += std::to_string(code);
    line += ' ';
    for (char c : text) line += (c == '\n' || c == '\r') ? ' ' : c;
    line += '\n';

    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    // One write per line: with O_APPEND, lines of other writers (the crash
    // handler, a second process) never interleave inside a line.
    bool ok = WriteAll(fd, line.data(), line.size());
    struct stat st {};
    bool too_big = ::fstat(fd, &st) == 0 && static_cast<uint64_t>(st.st_size) > limits.max_bytes;
    ::close(fd);
    if (too_big) DropOldestLines(path, limits.max_bytes);
    return ok;
  } catch (...) {
    return false;
  }
}

bool AppendReport(int code, std::string_view text, const ReportFileLimits& limits) noexcept {
  try {
    return AppendReportTo(ReportFilePath(), code, text, limits);
  } catch (...) {
    return false;
  }
}

}  // namespace trovium::platform

namespace trovium::platform {

bool AppendReportLineRaw(const char* path, long gmtoff, int code, const char* text) noexcept {
  char line[1200];
  struct timespec ts {};
  ::clock_gettime(CLOCK_REALTIME, &ts);
  FormatReportTimestamp(ts.tv_sec, gmtoff, line);
  size_t n = 0;
  while (line[n] != '\0') ++n;
  line[n++] = ' ';
  char digits[16];
  size_t d = 0;
  unsigned v = code < 0 ? static_cast<unsigned>(-static_cast<long>(code)) : static_cast<unsigned>(code);
  if (code < 0) line[n++] = '-';
  do {
    digits[d++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  while (d > 0) line[n++] = digits[--d];
  line[n++] = ' ';
  for (const char* p = text; p && *p && n < sizeof(line) - 1; ++p) line[n++] = (*p == '\n' || *p == '\r') ? ' ' : *p;
  line[n++] = '\n';
  int fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, line, n);
  ::close(fd);
  return ok;
}

}  // namespace trovium::platform
