#include "scan/chunk_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

#include "core/memory_manager.h"

namespace trovium {
namespace {

constexpr uint64_t kChunk = kScanChunkSectors;
constexpr uint64_t kGiB = 0x200000;  // sectors

void Plan(ChunkOrder& order, const ChunkOrderPlan& plan) {
  ASSERT_TRUE(order.map.Create(plan.device_sectors));
  SetUpChunkOrder(order, plan);
}

// Every chunk the reader would get, in order; stops at a bound well past the map.
std::vector<uint64_t> Drain(ChunkOrder& order) {
  std::vector<uint64_t> out;
  uint64_t lba = 0;
  while (out.size() <= order.map.size() + 1 && NextChunk(order, lba)) out.push_back(lba);
  return out;
}

std::vector<uint64_t> Chunks(uint64_t first, uint64_t last) {
  std::vector<uint64_t> out;
  for (uint64_t c = first; c <= last; c += kChunk) out.push_back(c);
  return out;
}

TEST(ChunkOrderTest, SequentialWalkReadsEveryChunkOfTheRangeOnce) {
  struct Case {
    const char* what;
    uint64_t start, count, device;
    std::vector<uint64_t> expected;
  };
  const Case cases[] = {
      // A chunk-aligned end is exclusive: the chunk after the range (here the
      // index equal to the map size) is never touched.
      {"whole device, aligned end", 0, 4 * kChunk, 4 * kChunk, Chunks(0, 3 * kChunk)},
      {"partition, aligned end", kChunk, 2 * kChunk, 6 * kChunk, Chunks(kChunk, 2 * kChunk)},
      {"unaligned start and end", 2048, 3 * kChunk, 5 * kChunk, Chunks(0, 3 * kChunk)},
      {"device of one sector short of a chunk", 0, kChunk - 1, kChunk - 1, {0}},
      {"range larger than the device", 0, 100 * kChunk, 3 * kChunk + 5, Chunks(0, 3 * kChunk)},
      {"empty range", kChunk, 0, 4 * kChunk, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ChunkOrder order;
    Plan(order, {.mode = 1, .start_lba = c.start, .sector_count = c.count, .device_sectors = c.device});
    EXPECT_EQ(Drain(order), c.expected);
    uint64_t lba = 0;
    EXPECT_FALSE(NextChunk(order, lba)) << "asked again after the end";
    for (uint64_t i = 0; i < order.map.size(); ++i) {
      bool listed = std::count(c.expected.begin(), c.expected.end(), i * kChunk) == 1;
      EXPECT_EQ(order.map.Get(i), listed ? kChunkRead : kChunkNotScanned) << i;
    }
  }
}

TEST(ChunkOrderTest, MapSizeComesFromAValidatedCount) {
  ChunkMap map;
  EXPECT_FALSE(map.Create(0));
  EXPECT_FALSE(map.Create(UINT64_MAX));  // would be 2^50 chunks
  EXPECT_EQ(map.size(), 0u);
  EXPECT_EQ(ChunkCountFor(UINT64_MAX), (UINT64_MAX / kChunk) + 1);
  ASSERT_TRUE(map.Create(kChunk + 1));
  EXPECT_EQ(map.size(), 2u);
  EXPECT_EQ(map.Get(2), kChunkOutsideMap);
  EXPECT_FALSE(map.Claim(2));
  EXPECT_FALSE(map.MarkExamined(2));
}

TEST(ChunkOrderTest, PriorityRangeIsReadFirstAndOnlyOnce) {
  ChunkOrder order;
  Plan(order, {.mode = 1, .start_lba = 0, .sector_count = 4 * kChunk, .device_sectors = 4 * kChunk,
                .priority_start = 20000, .priority_size = 100});
  EXPECT_EQ(Drain(order), (std::vector<uint64_t>{kChunk, 0, 2 * kChunk, 3 * kChunk}));
}

TEST(ChunkOrderTest, HugePriorityRangeIsClippedToTheScanRange) {
  ChunkOrder order;
  Plan(order, {.mode = 3, .start_lba = 2 * kChunk, .sector_count = 3 * kChunk, .device_sectors = 8 * kChunk,
                .priority_start = kChunk, .priority_size = UINT64_MAX});
  EXPECT_EQ(order.PriorityChunks.size(), 3u);
  EXPECT_EQ(Drain(order), Chunks(2 * kChunk, 4 * kChunk));
}

TEST(ChunkOrderTest, BigWholeDeviceScanThresholds) {
  struct Case {
    uint64_t start, count, device;
    bool removable, big;
  };
  const Case cases[] = {
      {0, kBigScanRemovableSectors, kBigScanRemovableSectors, true, false},
      {0, kBigScanRemovableSectors + 1, kBigScanRemovableSectors + 1, true, true},
      {0, kBigScanFixedSectors + 1, kBigScanFixedSectors + 1, false, true},
      {0, kBigScanFixedSectors + 1, kBigScanFixedSectors + 2, false, false},  // not the whole device
      {2048, kBigScanFixedSectors + 1, kBigScanFixedSectors + 2049, false, false},
  };
  for (const Case& c : cases) {
    ChunkOrderPlan plan{.start_lba = c.start, .sector_count = c.count, .device_sectors = c.device,
                        .removable = c.removable};
    EXPECT_EQ(IsBigWholeDeviceScan(plan), c.big) << c.count << " removable " << c.removable;
  }
}

TEST(ChunkOrderTest, BigRemovableDiskIsSweptPerGibibyteFirst) {
  const uint64_t sectors = 500 * kGiB;  // 500 GiB
  ChunkOrder order;
  Plan(order, {.mode = 4, .start_lba = 0, .sector_count = sectors, .device_sectors = sectors, .removable = true});
  ASSERT_EQ(order.BigWholeDeviceScan, 1);
  std::vector<uint64_t> read = Drain(order);
  ASSERT_EQ(read.size(), sectors / kChunk);
  for (uint64_t i = 0; i < 500; ++i) ASSERT_EQ(read[i], i * kGiB) << i;
  EXPECT_EQ(read[500], kChunk);  // the walk resumes at the start, skipping what was read
  EXPECT_EQ(std::set<uint64_t>(read.begin(), read.end()).size(), read.size());
}

TEST(ChunkOrderTest, HintsOnABigScan) {
  const uint64_t sectors = kBigScanFixedSectors + kChunk;
  ChunkOrder order;
  Plan(order, {.mode = 1, .start_lba = 0, .sector_count = sectors, .device_sectors = sectors});
  order.PriorityChunks.clear();  // leave only the hints
  uint64_t lba = 0;
  ASSERT_TRUE(NextChunk(order, lba));  // walk: chunk 0
  MarkChunkExamined(order, 0);
  AddPriorityChunk(order, 100);                  // examined already: dropped
  AddPriorityChunk(order, 5 * kChunk + 7);
  AddPriorityChunk(order, 5 * kChunk);           // same chunk twice: read once
  AddPriorityChunk(order, 9 * kChunk + 1);       // newest first
  AddPriorityChunk(order, sectors + kChunk);     // beyond the range: ignored
  EXPECT_TRUE(NextChunk(order, lba));
  EXPECT_EQ(lba, 9 * kChunk);
  EXPECT_TRUE(NextChunk(order, lba));
  EXPECT_EQ(lba, 5 * kChunk);
  EXPECT_TRUE(NextChunk(order, lba));
  EXPECT_EQ(lba, kChunk);  // back to the walk
}

TEST(ChunkOrderTest, HintsAreIgnoredWhenTheScanIsNotBig) {
  ChunkOrder order;
  Plan(order, {.mode = 1, .start_lba = 0, .sector_count = 8 * kChunk, .device_sectors = 8 * kChunk});
  AddPriorityChunk(order, 6 * kChunk);
  uint64_t lba = 1;
  ASSERT_TRUE(NextChunk(order, lba));
  EXPECT_EQ(lba, 0u);
}

TEST(ChunkOrderTest, GptEntriesHintTheirPartitionStarts) {
  const uint64_t sectors = kBigScanFixedSectors + kChunk;
  ChunkOrder order;
  Plan(order, {.mode = 6, .start_lba = 0, .sector_count = sectors, .device_sectors = sectors});
  order.PriorityChunks.clear();
  std::vector<uint8_t> entries(2048, 0);
  const uint64_t starts[] = {2048, 40 * kChunk + 2048};
  std::memcpy(&entries[0 * 128 + 32], &starts[0], 8);
  std::memcpy(&entries[3 * 128 + 32], &starts[1], 8);
  HintsFromGptEntries(order, ByteView(entries.data(), entries.size()));
  uint64_t lba = 0;
  ASSERT_TRUE(NextChunk(order, lba));
  EXPECT_EQ(lba, 40 * kChunk);
  ASSERT_TRUE(NextChunk(order, lba));
  EXPECT_EQ(lba, 0u);
  ASSERT_TRUE(NextChunk(order, lba));
  EXPECT_EQ(lba, kChunk);
}

TEST(ChunkOrderTest, BootSectorAndFileRecordHints) {
  const uint64_t sectors = kBigScanFixedSectors + kChunk;
  ChunkOrder order;
  Plan(order, {.mode = 1, .start_lba = 0, .sector_count = sectors, .device_sectors = sectors});
  order.PriorityChunks.clear();
  const uint64_t chunk_lba = 100 * kChunk;
  std::vector<uint8_t> chunk(kChunk * 512, 0);
  std::vector<ScanHit> hits;
  // An NTFS boot sector at chunk sector 10 with 30 chunks of volume behind it.
  const uint64_t boot = chunk_lba + 10, n = 30 * kChunk;
  std::memcpy(&chunk[10 * 512 + 40], &n, 8);
  hits.push_back({223, 0, boot, 0});
  // Four FILE records two sectors apart, the first numbered 64 (3.1 layout).
  for (uint32_t r = 0; r < 4; ++r) {
    size_t at = (100 + 2 * r) * 512;
    chunk[at + 4] = 0x30;
    uint32_t number = 64 + r;
    std::memcpy(&chunk[at + 44], &number, 4);
    hits.push_back({224, 0, chunk_lba + 100 + 2 * r, 0});
  }
  HintsFromChunk(order, hits, ByteView(chunk.data(), chunk.size()), chunk_lba);
  std::vector<uint64_t> expected = {
      ChunkStartOf(chunk_lba + 100 - 128),  // MFT start (newest hint first)
      ChunkStartOf(boot - n - kChunk), ChunkStartOf(boot - n), ChunkStartOf(boot + n + kChunk),
      ChunkStartOf(boot + n), ChunkStartOf(boot - kChunk)};
  std::vector<uint64_t> got(order.PriorityChunks.begin(), order.PriorityChunks.end());
  EXPECT_EQ(got, expected);
}

TEST(ChunkOrderTest, FreeSpaceModesReadOnlyTheListedChunks) {
  for (int32_t mode : {2, 5}) {
    ChunkOrder order;
    Plan(order, {.mode = mode, .start_lba = kChunk, .sector_count = 6 * kChunk, .device_sectors = 10 * kChunk,
                  .priority_start = kChunk, .priority_size = 2 * kChunk});
    EXPECT_TRUE(order.PriorityChunks.empty());
    SetFreeSpaceChunks(order, {4 * kChunk, 2 * kChunk + 5, 2 * kChunk, 9 * kChunk, 0});
    EXPECT_EQ(Drain(order), (std::vector<uint64_t>{2 * kChunk, 4 * kChunk})) << mode;
  }
}

TEST(ChunkOrderTest, FreeSpaceModeWithoutFreeChunksReadsNothing) {
  ChunkOrder order;
  Plan(order, {.mode = 2, .start_lba = 0, .sector_count = 4 * kChunk, .device_sectors = 4 * kChunk});
  SetFreeSpaceChunks(order, {});
  EXPECT_TRUE(Drain(order).empty());
}

TEST(ChunkOrderTest, ResumedScanReadsWhatWasNotExamined) {
  ChunkOrder order;
  Plan(order, {.mode = 1, .start_lba = 0, .sector_count = 4 * kChunk, .device_sectors = 4 * kChunk});
  uint64_t lba = 0;
  ASSERT_TRUE(NextChunk(order, lba));
  MarkChunkExamined(order, lba);
  ASSERT_TRUE(NextChunk(order, lba));  // read, never examined
  ResetUnexaminedChunks(order);
  void* copy = nullptr;
  uint64_t size = 0;
  ASSERT_TRUE(CopyChunkMap(order, copy, size));
  ASSERT_EQ(size, 4u);
  EXPECT_EQ(static_cast<uint8_t*>(copy)[0], kChunkExamined);
  EXPECT_EQ(static_cast<uint8_t*>(copy)[1], kChunkNotScanned);

  ChunkOrder resumed;
  ASSERT_TRUE(resumed.map.Load(static_cast<uint8_t*>(copy), size));
  SetUpChunkOrder(resumed, {.mode = 1, .start_lba = 0, .sector_count = 4 * kChunk, .device_sectors = 4 * kChunk});
  EXPECT_EQ(Drain(resumed), Chunks(kChunk, 3 * kChunk));
  ChunkOrder none;
  EXPECT_FALSE(CopyChunkMap(none, copy, size));  // also releases the previous copy
  EXPECT_EQ(copy, nullptr);
  EXPECT_EQ(size, 0u);
}

}  // namespace
}  // namespace trovium
