#include "scan/scan_stats_prep.h"

#include <gtest/gtest.h>

namespace trovium {
namespace {

constexpr uint64_t kChunk = kScanChunkSectors;

TEST(ScanStatsPrepTest, StartValuesOfANewAndAReusedScan) {
  struct Case {
    const char* what;
    int32_t mode;
    uint64_t start, count, device;
    std::vector<uint64_t> examined;    // chunk indices already at 2
    std::vector<uint64_t> free_space;  // modes 2 and 5
    uint64_t total, done;
  };
  const Case cases[] = {
      {"new scan", 1, 0, 4 * kChunk, 4 * kChunk, {}, {}, 4 * kChunk, 0},
      // Aligned end: the chunk after the range is neither examined nor counted.
      {"reused, complete", 1, 0, 4 * kChunk, 4 * kChunk, {0, 1, 2, 3}, {}, 4 * kChunk, 4 * kChunk},
      {"reused, partition", 3, kChunk + 100, 2 * kChunk, 5 * kChunk, {1, 3, 4}, {}, 2 * kChunk, 2 * kChunk},
      {"range past the device", 1, 0, 6 * kChunk, 4 * kChunk, {0}, {}, 6 * kChunk, 3 * kChunk},
      {"free space", 2, kChunk, 3 * kChunk, 8 * kChunk, {2}, {kChunk, 2 * kChunk, 3 * kChunk, 7 * kChunk},
       4 * kChunk, 2 * kChunk},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ChunkOrder order;
    ASSERT_TRUE(order.map.Create(c.device));
    for (uint64_t i : c.examined) order.map.MarkExamined(i);
    SetUpChunkOrder(order, {.mode = c.mode, .start_lba = c.start, .sector_count = c.count, .device_sectors = c.device});
    if (!c.free_space.empty()) SetFreeSpaceChunks(order, c.free_space);
    HitStore store;
    ScanStats stats{};
    PrepareScanStats(stats, order, store, c.count);
    EXPECT_EQ(stats.totalSectors, c.total);
    EXPECT_EQ(stats.doneSectors, c.done);
  }
}

TEST(ScanStatsPrepTest, HitsOfAReusedScanInsideTheRangeAreCounted) {
  ChunkOrder order;
  ASSERT_TRUE(order.map.Create(6 * kChunk));
  SetUpChunkOrder(order, {.mode = 3, .start_lba = kChunk, .sector_count = 2 * kChunk + 10, .device_sectors = 6 * kChunk});
  HitStore store;
  ASSERT_TRUE(CreateHitStore(store, 6 * kChunk));
  std::vector<ScanHit> first = {{46, 4, 5, 0}, {222, 0, 9, 0}};                      // before the range
  std::vector<ScanHit> inside = {{46, 4, kChunk, 0}, {224, 0, kChunk + 2, 0}, {221, 0, kChunk + 3, 0}};
  std::vector<ScanHit> last = {{228, 0, 3 * kChunk + 500, 0}};                         // the range's last chunk
  std::vector<ScanHit> after = {{61, 4, 4 * kChunk, 0}};
  ASSERT_TRUE(StoreChunkHits(store, first.data(), first.size(), 0));
  ASSERT_TRUE(StoreChunkHits(store, inside.data(), inside.size(), kChunk));
  ASSERT_TRUE(StoreChunkHits(store, last.data(), last.size(), 3 * kChunk));
  ASSERT_TRUE(StoreChunkHits(store, after.data(), after.size(), 4 * kChunk));
  ScanStats stats{};
  PrepareScanStats(stats, order, store, 2 * kChunk + 10);
  EXPECT_EQ(stats.filesFound, 1u);
  EXPECT_EQ(stats.fileRecordHits, 1u);
  EXPECT_EQ(stats.fatBootHits, 1u);
  EXPECT_EQ(stats.ebrHits, 0u);
  ReleaseHitStore(store);
}

}  // namespace
}  // namespace trovium
