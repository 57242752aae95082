#include "platform/report_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <sstream>
#include <thread>

#include "common/test_support.h"

namespace trovium::platform {
namespace {

std::string ReadText(const std::string& path) {
  auto bytes = test::ReadFile(path);
  return std::string(bytes.begin(), bytes.end());
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(ReportFile, OneLinePerReportInTheStateFolder) {
  test::TempDir dir;
  ::setenv("TROVIUM_HOME", dir.path().c_str(), 1);
  EXPECT_EQ(ReportFilePath(), dir.File("reports.log"));
  EXPECT_TRUE(AppendReport(27, "Recovery all file"));
  EXPECT_TRUE(AppendReport(3, "two\nlines\r"));
  ::unsetenv("TROVIUM_HOME");

  auto lines = Lines(ReadText(dir.File("reports.log")));
  ASSERT_EQ(lines.size(), 2u);
  const std::regex stamp(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d )");
  EXPECT_TRUE(std::regex_search(lines[0], stamp)) << lines[0];
  EXPECT_EQ(lines[0].substr(20), "27 Recovery all file");
  EXPECT_EQ(lines[1].substr(20), "3 two lines ");
}

TEST(ReportFile, DropsTheOldestLinesPastTheLimit) {
  test::TempDir dir;
  ReportFileLimits limits;
  limits.max_bytes = 4000;
  for (int i = 0; i < 500; ++i) ASSERT_TRUE(AppendReportTo(dir.File("r.log"), 7, "line " + std::to_string(i), limits));

  std::string text = ReadText(dir.File("r.log"));
  EXPECT_LE(text.size(), limits.max_bytes);
  EXPECT_GT(text.size(), limits.max_bytes / 4);
  auto lines = Lines(text);
  ASSERT_FALSE(lines.empty());
  // Only whole lines survive, the newest last, in order.
  int previous = -1;
  for (const auto& line : lines) {
    ASSERT_EQ(line.substr(19, 8), " 7 line ") << line;
    int n = std::stoi(line.substr(27));
    EXPECT_GT(n, previous);
    previous = n;
  }
  EXPECT_EQ(previous, 499);
  EXPECT_NE(lines.front(), "line 0");
}

TEST(ReportFile, BusyChannelDropsTheReportAfterTheDeadline) {
  test::TempDir dir;
  ReportFileLimits limits;
  limits.deadline = std::chrono::milliseconds(20);
  bool written = true;
  {
    std::lock_guard<std::mutex> hold(ReportChannelLockForTesting());
    std::thread other([&] { written = AppendReportTo(dir.File("r.log"), 1, "late", limits); });
    other.join();
  }
  EXPECT_FALSE(written);
  EXPECT_EQ(ReadText(dir.File("r.log")), "");
  EXPECT_TRUE(AppendReportTo(dir.File("r.log"), 1, "in time", limits));
}

TEST(ReportFile, UnwritableFileIsNoFailureTowardsTheCaller) {
  EXPECT_FALSE(AppendReportTo("", 1, "x"));
  EXPECT_FALSE(AppendReportTo("/nonexistent-folder/x/reports.log", 1, "x"));
  EXPECT_FALSE(AppendReportLineRaw("/nonexistent-folder/x/reports.log", 0, 1, "x"));
}

TEST(ReportFile, TimestampAgreesWithTheCLibrary) {
  const time_t times[] = {0, 951782400, 951868799, 1700000000, 4102444800, 86399, 1234567890};
  for (time_t t : times) {
    for (long offset : {0L, 3600L, -18000L, 28800L}) {
      time_t shifted = t + offset;
      struct tm tm {};
      ASSERT_TRUE(::gmtime_r(&shifted, &tm));
      char expected[64];
      std::strftime(expected, sizeof(expected), "%Y-%m-%d %H:%M:%S", &tm);
      char got[32];
      FormatReportTimestamp(t, offset, got);
      EXPECT_STREQ(got, expected) << t << " " << offset;
    }
  }
}

}  // namespace
}  // namespace trovium::platform
