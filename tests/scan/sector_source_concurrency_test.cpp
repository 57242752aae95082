// Several threads read at once, each through its own source, while the
// counters are being updated: every destination gets its own bytes.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "common/test_support.h"
#include "scan/sector_source.h"

namespace trovium {
namespace {

TEST(SectorSourceConcurrency, ThreadsReadTheirOwnSourcesAtOnce) {
  test::TempDir dir;
  constexpr int kThreads = 4;
  constexpr uint64_t kSectors = 2048;
  std::vector<std::string> paths;
  for (int t = 0; t < kThreads; ++t) {
    std::vector<uint8_t> bytes(kSectors * kSectorBytes);
    // Byte of sector s in image t: t * 64 + s % 64, so a mixed-up read shows.
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(t * 64 + (i / kSectorBytes) % 64);
    paths.push_back(dir.File("img" + std::to_string(t)));
    ASSERT_TRUE(test::WriteFile(paths.back(), bytes));
  }
  SetReadErrorMode(2);
  ZeroReadCounters();
  std::atomic<int> mismatches{0};
  std::atomic<int> failures{0};
  constexpr int kReadsPerThread = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      CSectorSource src;
      if (!OpenImage(paths[t], src)) { ++failures; return; }
      std::vector<uint8_t> buf(64 * kSectorBytes);
      for (int r = 0; r < kReadsPerThread; ++r) {
        uint64_t lba = (static_cast<uint64_t>(r) * 37 + t * 11) % kSectors;
        // Reads near the end are cut at the last sector and still succeed.
        if (!ReadSectors(64, src, buf.data(), lba)) ++failures;
        for (uint64_t s = 0; s < 64 && lba + s < kSectors; ++s) {
          if (buf[s * kSectorBytes] != static_cast<uint8_t>(t * 64 + (lba + s) % 64)) ++mismatches;
        }
      }
      CloseSource(src);
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(mismatches.load(), 0);
  EXPECT_EQ(ReadCount(), static_cast<uint32_t>(kThreads * kReadsPerThread));
  EXPECT_EQ(ReadErrorCount(), 0u);
  EXPECT_EQ(failures.load(), 0);
  SetReadErrorMode(0);
  ZeroReadCounters();
}

}  // namespace
}  // namespace trovium
