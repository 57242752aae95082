#include "platform/crash_handler.h"

#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/paths.h"
#include "platform/report_file.h"

namespace trovium::platform {
namespace {

constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
// /proc/self/maps is cut here so that the crash file stays below the report limit.
constexpr uint64_t kMapsLimit = kCrashReportLimit - 0x8000;

// Everything the handler needs, prepared at install time.
struct CrashState {
  char folder[4096] = {};       // state folder with a trailing '/', "" when none
  char report_path[4096] = {};  // reports.log
  char version[32] = {};
  uint32_t build = 0;
  long gmtoff = 0;
};
CrashState g_state;
std::atomic<bool> g_installed{false};
std::atomic<bool> g_handling{false};

bool CopyString(char* out, size_t cap, const std::string& s) {
  if (s.size() + 1 > cap) return false;
  std::memcpy(out, s.c_str(), s.size() + 1);
  return true;
}

void WriteAll(int fd, const char* data, size_t len) {
  while (len > 0) {
    ssize_t n = ::write(fd, data, len);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    data += n;
    len -= static_cast<size_t>(n);
  }
}

void Put(int fd, const char* s) { WriteAll(fd, s, std::strlen(s)); }

void PutNumber(int fd, uint64_t v, unsigned base) {
  char buf[24];
  size_t n = sizeof(buf);
  do {
    buf[--n] = "0123456789abcdef"[v % base];
    v /= base;
  } while (v != 0);
  WriteAll(fd, buf + n, sizeof(buf) - n);
}

const char* SignalName(int sig) {
  switch (sig) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGILL: return "SIGILL";
    case SIGFPE: return "SIGFPE";
    case SIGABRT: return "SIGABRT";
    default: return "?";
  }
}

void WriteCrashFile(int fd, int sig, const siginfo_t* info) {
  Put(fd, "Program: ");
  Put(fd, g_state.version);
  Put(fd, " build ");
  PutNumber(fd, g_state.build, 10);
  Put(fd, "\nSignal: ");
  PutNumber(fd, static_cast<uint64_t>(sig), 10);
  Put(fd, " (");
  Put(fd, SignalName(sig));
  Put(fd, ")\nAddress: 0x");
  PutNumber(fd, info ? reinterpret_cast<uintptr_t>(info->si_addr) : 0, 16);
  Put(fd, "\nBacktrace:\n");
  void* frames[64];
  int count = ::backtrace(frames, 64);
  ::backtrace_symbols_fd(frames, count, fd);
  Put(fd, "Maps (/proc/self/maps):\n");
  int maps = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
  if (maps < 0) return;
  char buf[4096];
  uint64_t copied = 0;
  for (;;) {
    ssize_t n = ::read(maps, buf, sizeof(buf));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (copied + static_cast<uint64_t>(n) > kMapsLimit) {
      Put(fd, "(cut)\n");
      break;
    }
    WriteAll(fd, buf, static_cast<size_t>(n));
    copied += static_cast<uint64_t>(n);
  }
  ::close(maps);
}

// The crash file's lines follow its report line in the report file, each
// indented by a tab so that they cannot be taken for reports.
void HandCrashFileToReports(const char* crash_path, const char* name) {
  int in = ::open(crash_path, O_RDONLY | O_CLOEXEC);
  if (in < 0) return;
  struct stat st {};
  if (::fstat(in, &st) != 0 || st.st_size <= 0 || static_cast<uint64_t>(st.st_size) >= kCrashReportLimit) {
    ::close(in);
    return;
  }
  char title[128] = "Crash report: ";
  std::strncat(title, name, sizeof(title) - std::strlen(title) - 1);
  AppendReportLineRaw(g_state.report_path, g_state.gmtoff, 27, title);
  int out = ::open(g_state.report_path, O_WRONLY | O_APPEND | O_CLOEXEC);
  if (out < 0) {
    ::close(in);
    return;
  }
  char buf[2048];
  char line[2 * sizeof(buf) + 2];
  bool at_line_start = true;
  for (;;) {
    ssize_t n = ::read(in, buf, sizeof(buf));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    size_t len = 0;
    for (ssize_t i = 0; i < n; ++i) {
      if (at_line_start) line[len++] = '\t';
      line[len++] = buf[i];
      at_line_start = buf[i] == '\n';
    }
    WriteAll(out, line, len);
  }
  if (!at_line_start) WriteAll(out, "\n", 1);
  ::close(out);
  ::close(in);
}

void OnCrash(int sig, siginfo_t* info, void* /*context*/) {
  // Whatever happens below, the process ends within 10 s.
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  ::sigaction(SIGALRM, &dfl, nullptr);
  ::alarm(10);
  if (g_handling.exchange(true)) {
    // Another thread crashed first; it ends the process.
    for (;;) ::pause();
  }

  if (g_state.folder[0] != '\0') {
    struct timespec ts {};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    char stamp[32];
    FormatReportTimestamp(ts.tv_sec, g_state.gmtoff, stamp);  // "YYYY-MM-DD HH:MM:SS"
    auto field = [&](int at) { return (stamp[at] - '0') * 10 + (stamp[at + 1] - '0'); };
    char name[64];
    FormatCrashFileName(name, sizeof(name), g_state.build, field(8), field(11), field(14));
    char path[sizeof(g_state.folder) + sizeof(name)];
    size_t folder_len = std::strlen(g_state.folder);
    std::memcpy(path, g_state.folder, folder_len);
    std::memcpy(path + folder_len, name, std::strlen(name) + 1);

    int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd >= 0) {
      WriteCrashFile(fd, sig, info);
      ::close(fd);
    }
    AppendReportLineRaw(g_state.report_path, g_state.gmtoff, 27, "Exit exception");
    if (fd >= 0) {
      HandCrashFileToReports(path, name);
      ::unlink(path);
    }
  }

  // The default action ends the process once the handler returns.
  ::sigaction(sig, &dfl, nullptr);
  ::raise(sig);
}

struct ThreadCrashStack {
  void* memory = nullptr;
  ~ThreadCrashStack() {
    if (!memory) return;
    stack_t current {};
    if (::sigaltstack(nullptr, &current) == 0 && current.ss_sp == memory) {
      stack_t off {};
      off.ss_flags = SS_DISABLE;
      ::sigaltstack(&off, nullptr);
    }
    std::free(memory);
  }
};

}  // namespace

size_t FormatCrashFileName(char* out, size_t cap, uint32_t build, int day, int hour, int minute) {
  if (cap == 0) return 0;
  char buf[32];
  size_t n = 0;
  char digits[12];
  size_t d = 0;
  do {
    digits[d++] = static_cast<char>('0' + build % 10);
    build /= 10;
  } while (build != 0);
  while (d > 0) buf[n++] = digits[--d];
  buf[n++] = '_';
  for (int v : {day, hour, minute}) {
    v = std::clamp(v, 0, 99);
    buf[n++] = static_cast<char>('0' + v / 10);
    buf[n++] = static_cast<char>('0' + v % 10);
  }
  for (char c : {'.', 'd', 'm', 'p'}) buf[n++] = c;
  size_t len = std::min(n, cap - 1);
  std::memcpy(out, buf, len);
  out[len] = '\0';
  return len;
}

std::string CrashFileName(uint32_t build, int day, int hour, int minute) {
  char buf[32];
  size_t n = FormatCrashFileName(buf, sizeof(buf), build, day, hour, minute);
  return std::string(buf, n);
}

void PrepareCrashStackForThisThread() {
  thread_local ThreadCrashStack stack;
  if (stack.memory) return;
  stack_t current {};
  if (::sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE)) return;  // someone else's
  size_t size = std::max<size_t>(SIGSTKSZ, 64 * 1024);
  void* memory = std::malloc(size);
  if (!memory) return;
  stack_t alt {};
  alt.ss_sp = memory;
  alt.ss_size = size;
  if (::sigaltstack(&alt, nullptr) != 0) {
    std::free(memory);
    return;
  }
  stack.memory = memory;
}

bool InstallCrashHandler(const char* version, uint32_t build) {
  if (g_installed.exchange(true)) return true;
  std::string folder = StateFolder();
  if (!folder.empty()) {
    if (!CopyString(g_state.folder, sizeof(g_state.folder), folder + "/") ||
        !CopyString(g_state.report_path, sizeof(g_state.report_path), folder + "/" + kReportFileName)) {
      g_state.folder[0] = '\0';
    }
  }
  std::strncpy(g_state.version, version ? version : "", sizeof(g_state.version) - 1);
  g_state.build = build;
  time_t now = ::time(nullptr);
  struct tm local {};
  if (::localtime_r(&now, &local)) g_state.gmtoff = local.tm_gmtoff;

  // backtrace() loads its unwinder on first use, which allocates: do that now.
  void* warm[4];
  ::backtrace(warm, 4);
  PrepareCrashStackForThisThread();

  struct sigaction action {};
  action.sa_sigaction = OnCrash;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  // A second fault inside the handler then ends the process at once.
  for (int sig : kCrashSignals) sigaddset(&action.sa_mask, sig);
  bool ok = true;
  for (int sig : kCrashSignals) ok = ::sigaction(sig, &action, nullptr) == 0 && ok;
  return ok;
}

}  // namespace trovium::platform
