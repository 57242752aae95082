#include "platform/crash_handler.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "common/test_support.h"

namespace trovium::platform {
namespace {

TEST(CrashFileName, BuildDayHourMinute) {
  EXPECT_EQ(CrashFileName(3691, 3, 9, 5), "3691_030905.dmp");
  EXPECT_EQ(CrashFileName(3691, 31, 23, 59), "3691_312359.dmp");
  char small[6];
  EXPECT_EQ(FormatCrashFileName(small, sizeof(small), 3691, 1, 0, 0), 5u);
  EXPECT_STREQ(small, "3691_");
}

[[noreturn]] void Die(int sig) {
  switch (sig) {
    case SIGSEGV: {
      volatile uintptr_t address = 16;  // an unmapped page, a real fault
      *reinterpret_cast<volatile int*>(address) = 1;
      break;
    }
    case SIGABRT:
      std::abort();
    default:
      ::raise(sig);
  }
  std::_Exit(99);
}

volatile int g_depth_limit = 1 << 30;
volatile char* volatile g_last_frame = nullptr;
int Recurse(int depth) {
  volatile char pad[1024];
  pad[0] = static_cast<char>(depth);
  g_last_frame = pad;  // the frame escapes: the recursion cannot become a loop
  if (depth >= g_depth_limit) return pad[0];
  return Recurse(depth + 1) + pad[0];
}

void CrashChild(const std::string& home, int sig, bool overflow_in_thread) {
  ::setenv("TROVIUM_HOME", home.c_str(), 1);
  if (!InstallCrashHandler("6.2.9", 3691)) std::_Exit(98);
  if (overflow_in_thread) {
    std::thread worker([] {
      PrepareCrashStackForThisThread();
      Recurse(0);
    });
    worker.join();
  }
  Die(sig);
}

struct CrashCase {
  int sig;
  bool overflow_in_thread;
  const char* signal_text;
};

class CrashHandlerTest : public ::testing::TestWithParam<CrashCase> {};

TEST_P(CrashHandlerTest, ReportsDeletesTheCrashFileAndDiesByTheSignal) {
  const CrashCase c = GetParam();
  test::TempDir home;
  EXPECT_EXIT(CrashChild(home.path(), c.sig, c.overflow_in_thread), ::testing::KilledBySignal(c.sig), "");

  for (const auto& entry : std::filesystem::directory_iterator(home.path()))
    EXPECT_NE(entry.path().extension(), ".dmp") << entry.path();
  auto bytes = test::ReadFile(home.File("reports.log"));
  std::string log(bytes.begin(), bytes.end());
  EXPECT_NE(log.find(" 27 Exit exception\n"), std::string::npos) << log;
  EXPECT_NE(log.find(" 27 Crash report: 3691_"), std::string::npos) << log;
  EXPECT_NE(log.find("\tProgram: 6.2.9 build 3691\n"), std::string::npos);
  EXPECT_NE(log.find(c.signal_text), std::string::npos);
  EXPECT_NE(log.find("\tBacktrace:\n"), std::string::npos);
  EXPECT_NE(log.find("[stack]"), std::string::npos);  // from /proc/self/maps
  // Report lines come first, the crash file's lines are indented.
  EXPECT_LT(log.find("Exit exception"), log.find("\tBacktrace:"));
}

INSTANTIATE_TEST_SUITE_P(Signals, CrashHandlerTest,
                         ::testing::Values(CrashCase{SIGSEGV, false, "\tSignal: 11 (SIGSEGV)\n\tAddress: 0x10\n"},
                                           CrashCase{SIGABRT, false, "\tSignal: 6 (SIGABRT)\n"},
                                           CrashCase{SIGFPE, false, "\tSignal: 8 (SIGFPE)\n"},
                                           CrashCase{SIGSEGV, true, "\tSignal: 11 (SIGSEGV)\n"}));

}  // namespace
}  // namespace trovium::platform
