#include "scan/scan_clock.h"

#include <gtest/gtest.h>

#include <string>

namespace trovium {
namespace {

constexpr uint64_t kStart = 5000;
constexpr uint64_t kMiB = 2048;  // sectors

std::string TimeText(uint64_t elapsed, uint64_t done, uint64_t total) {
  std::string out = "untouched";
  if (!ScanTimeTextAt(kStart + elapsed, out, done, total)) return "(false) " + out;
  return out;
}

TEST(ScanClock, TimeTexts) {
  struct Case { uint64_t e, initial, done, total; const char* text; } cases[] = {
      {0, 0, 100, 200, "(false) untouched"},
      {1, 0, 0, 200, "已用时间: 01     "},
      {60, 0, 60 * 30 * kMiB, 1 << 30, "已用时间: 60     "},
      {61, 0, 61 * kMiB * 30, 2 * 61 * kMiB * 30, "已用时间: 01:01     剩余时间: 01:01     速度: 30(MB)/秒"},
      {100, 0, 100 * 52 * kMiB, 100 * 52 * kMiB, "已用时间: 01:40     剩余时间: 00     速度: 52(MB)/秒  3(GB)/分钟"},
      {3600, 0, 0, 10, "已用时间: 60:00     "},
      {3601, 0, 3601 * 2000, 3601 * 2000 + 2000 * 3725,
       "已用时间: 1:00:01     剩余时间: 1:02:05     速度: 0(MB)/秒"},
      // Less than a sector a second: no remaining time can be worked out.
      {100, 0, 50, 1000, "已用时间: 01:40     速度: 0(MB)/秒"},
      // Past the end: nothing remains.
      {100, 0, 300000, 200000, "已用时间: 01:40     剩余时间: 00     速度: 1(MB)/秒"},
      // Only reused chunks done so far: no speed.
      {100, 1000, 1000, 5000, "已用时间: 01:40     "},
      // A reused scan whose map is complete starts at the total and shows no speed.
      {400, 1 << 20, 1 << 20, 1 << 20, "已用时间: 06:40     "},
      // The speed counts only sectors done since the handler started.
      {100, 100 * 10 * kMiB, 100 * 40 * kMiB, 100 * 40 * kMiB, "已用时间: 01:40     剩余时间: 00     速度: 30(MB)/秒"},
  };
  for (const auto& c : cases) {
    StartScanClockAt(kStart);
    SetInitialDoneSectors(c.initial);
    EXPECT_EQ(TimeText(c.e, c.done, c.total), c.text) << "e=" << c.e << " done=" << c.done;
  }
}

// e = 100 s at 1000 sectors a second: the remaining time is (total - done) / 1000.
std::string ShownRemaining(uint64_t remaining) {
  const uint64_t done = 100000;
  std::string text = TimeText(100, done, done + remaining * 1000);
  const std::string label = "剩余时间: ";
  size_t at = text.find(label);
  if (at == std::string::npos) return text;
  size_t from = at + label.size();
  return text.substr(from, text.find(' ', from) - from);
}

TEST(ScanClock, SmallRisesOfTheEstimateAreNotShown) {
  StartScanClockAt(kStart);
  struct Step { uint64_t estimate; const char* shown; } steps[] = {
      {100, "01:40"}, {105, "01:40"}, {109, "01:40"}, {111, "01:51"},
      {90, "01:30"},  {120, "02:00"}, {125, "02:00"}, {0, "00"},
  };
  for (const auto& s : steps) EXPECT_EQ(ShownRemaining(s.estimate), s.shown) << s.estimate;

  // Large estimates: the 10 % margin is worked out without overflowing.
  StartScanClockAt(kStart);
  EXPECT_EQ(ShownRemaining(40000000), "11111:06:40");
  EXPECT_EQ(ShownRemaining(43000000), "11111:06:40");

  // A new scan does not inherit the last scan's estimate.
  StartScanClockAt(kStart);
  EXPECT_EQ(ShownRemaining(100), "01:40");
  StartScanClockAt(kStart);
  EXPECT_EQ(ShownRemaining(105), "01:45");
}

TEST(ScanClock, PausesAreLeftOutOfTheElapsedTime) {
  StartScanClockAt(kStart);
  PauseScanAt(kStart + 10);
  EXPECT_TRUE(IsScanPaused());
  // While paused the running pause counts for the scan's total but not yet
  // for the display (which is frozen meanwhile).
  EXPECT_EQ(ScanElapsedSecondsAt(kStart + 30), 10u);
  EXPECT_EQ(TimeText(30, 0, 10), "已用时间: 30     ");
  ResumeScanAt(kStart + 40);
  EXPECT_FALSE(IsScanPaused());
  EXPECT_EQ(ScanTimingSnapshot().pausedSeconds, 30u);
  EXPECT_EQ(ScanElapsedSecondsAt(kStart + 50), 20u);
  EXPECT_EQ(TimeText(50, 0, 10), "已用时间: 20     ");

  // A second pause press keeps the pause's real start; a resume without a pause does nothing.
  PauseScanAt(kStart + 60);
  PauseScanAt(kStart + 70);
  ResumeScanAt(kStart + 80);
  EXPECT_EQ(ScanTimingSnapshot().pausedSeconds, 50u);
  ResumeScanAt(kStart + 100);
  EXPECT_EQ(ScanTimingSnapshot().pausedSeconds, 50u);
  EXPECT_EQ(ScanElapsedSecondsAt(kStart + 100), 50u);

  // A new scan starts unpaused from zero.
  PauseScanAt(kStart + 120);
  StartScanClockAt(kStart + 200);
  EXPECT_FALSE(IsScanPaused());
  EXPECT_EQ(ScanElapsedSecondsAt(kStart + 205), 5u);
}

TEST(ScanClock, LongScansReportTheirMinutes) {
  struct Case { uint32_t seconds; bool reported; const char* text; } cases[] = {
      {0, false, ""}, {299, false, ""}, {300, true, "Scan minute: 5"}, {3599, true, "Scan minute: 59"},
  };
  for (const auto& c : cases) {
    std::string text;
    EXPECT_EQ(ScanMinuteText(c.seconds, text), c.reported) << c.seconds;
    if (c.reported) {
      EXPECT_EQ(text, c.text);
    }
  }
}

}  // namespace
}  // namespace trovium
