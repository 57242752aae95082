#include "core/report.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>
#include <vector>

#include "common/test_support.h"

namespace trovium {
namespace {

TEST(Report, TextsAreCutAtACharacterBoundary) {
  const std::string zhong = "\xE4\xB8\xAD";  // one three-byte character
  struct Case { std::string text; size_t limit; std::string cut; } cases[] = {
      {"abc", 3, "abc"},
      {"abcd", 3, "abc"},
      {"a" + zhong, 3, "a"},
      {"a" + zhong, 4, "a" + zhong},
      {zhong + zhong, 5, zhong},
      {zhong, 0, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(CutUtf8(c.text, c.limit), c.cut) << c.text << " " << c.limit;

  std::vector<std::pair<int, std::string>> got;
  ScopedReportSink sink([&](int code, const std::string& text) { got.emplace_back(code, text); });
  std::string text = "xy";
  while (text.size() < 2000) text += zhong;  // 2 + 3k bytes: byte 1024 falls inside a character
  ReportEvent(12, text);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].first, 12);
  EXPECT_EQ(got[0].second.size(), 1022u);
  EXPECT_TRUE(got[0].second == text.substr(0, 1022));
}

TEST(Report, GoesToTheStateFolderWithoutASink) {
  test::TempDir home;
  ::setenv("TROVIUM_HOME", home.path().c_str(), 1);
  ReportEvent(27, "Quick open file");
  ::unsetenv("TROVIUM_HOME");
  auto bytes = test::ReadFile(home.File("reports.log"));
  std::string log(bytes.begin(), bytes.end());
  EXPECT_NE(log.find(" 27 Quick open file\n"), std::string::npos) << log;
}

TEST(Report, ThreeWorkersStartAndEnd) {
  int before = LiveWorkerCount();
  std::vector<std::thread> workers;
  std::atomic<int> seen_max{0};
  std::atomic<int> started{0};
  std::atomic<bool> go{false};
  for (const char* name : {"DiskScanAndViewThread", "DiskFileScanHandThread", "SaveAllToDirThread"}) {
    workers.emplace_back([&, name] {
      WorkerScope scope(name);
      started.fetch_add(1);
      while (!go.load()) std::this_thread::yield();
      int now = LiveWorkerCount();
      int prev = seen_max.load();
      while (now > prev && !seen_max.compare_exchange_weak(prev, now)) {
      }
    });
  }
  while (started.load() < 3) std::this_thread::yield();
  EXPECT_EQ(LiveWorkerCount(), before + 3);
  go.store(true);
  for (auto& w : workers) w.join();
  EXPECT_EQ(LiveWorkerCount(), before);
}

}  // namespace
}  // namespace trovium
