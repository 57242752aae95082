#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "scan/progress.h"
#include "scan/scan_clock.h"

namespace trovium {
namespace {

// Every field of a record carries the same stamp, so a record copied while
// another was being written would show two stamps.
ProgressReport Stamped(uint32_t stamp) {
  ProgressReport r{};
  r.reportKind = kProgressScan;
  r.scan.totalSectors = uint64_t{stamp} << 20;
  r.scan.doneSectors = stamp;
  r.scan.filesFound = r.scan.ebrHits = r.scan.ntfsBootHits = r.scan.fatBootHits = r.scan.exfatBootHits = stamp;
  r.scan.fileRecordHits = r.scan.fatDirHits = r.scan.indxHits = r.scan.exfatDirHits = stamp;
  std::string text = std::to_string(stamp);
  while (text.size() < 300) text += "|" + std::to_string(stamp);
  SetProgressText(r.status.text, text, kStatusTextChars);
  r.exportCopy.copied_bytes = stamp;
  return r;
}

bool Whole(const ProgressReport& r) {
  ProgressReport expected = Stamped(static_cast<uint32_t>(r.scan.doneSectors));
  return std::memcmp(&expected, &r, sizeof r) == 0;
}

TEST(ProgressConcurrency, TakenRecordsAreWholeAndNoneIsLostOrRepeated) {
  ClearProgress();
  constexpr int kPosters = 4;
  constexpr uint32_t kPostsEach = 5000;
  std::atomic<int> running{kPosters};
  std::atomic<uint64_t> posted{0};
  std::vector<std::thread> posters;
  for (int t = 0; t < kPosters; ++t) {
    posters.emplace_back([t, &running, &posted] {
      uint64_t mine = 0;
      for (uint32_t i = 1; i <= kPostsEach; ++i)
        if (PostProgress(Stamped(static_cast<uint32_t>(t) * 1000000u + i))) ++mine;
      posted += mine;
      --running;
    });
  }

  uint64_t taken = 0, torn = 0;
  std::vector<uint32_t> last(kPosters, 0);
  uint64_t out_of_order = 0;
  auto take = [&] {
    ProgressReport r;
    if (!TakeProgress(r)) return false;
    ++taken;
    if (!Whole(r)) {
      ++torn;
      return true;
    }
    uint32_t stamp = static_cast<uint32_t>(r.scan.doneSectors);
    uint32_t poster = stamp / 1000000u, seq = stamp % 1000000u;
    if (poster >= kPosters || seq <= last[poster]) ++out_of_order;
    else last[poster] = seq;
    return true;
  };
  while (running.load() > 0) take();
  for (auto& p : posters) p.join();
  while (take()) {
  }

  EXPECT_EQ(torn, 0u);
  EXPECT_EQ(out_of_order, 0u);  // a poster's records arrive in order, none twice
  EXPECT_GE(taken, 1u);
  EXPECT_EQ(taken, posted.load());
}

TEST(ProgressConcurrency, PauseAndResumeWhileTheDisplayReadsTheClock) {
  StartScanClock();
  std::atomic<bool> stop{false};
  std::thread ui([&stop] {
    while (!stop.load()) {
      PauseScan();
      ResumeScan();
    }
  });
  std::thread handler([] {
    SetInitialDoneSectors(16384);
    for (int i = 0; i < 5000; ++i) {
      std::string text;
      ScanTimeText(text, 16384 + static_cast<uint64_t>(i) * 16384, 1ull << 40);
      (void)ScanElapsedSeconds();
      (void)IsScanPaused();
    }
  });
  handler.join();
  stop = true;
  ui.join();
  EXPECT_FALSE(IsScanPaused());
}

}  // namespace
}  // namespace trovium
