#include "scan/hit_store.h"

#include <gtest/gtest.h>

#include "scan/chunk_map.h"

namespace trovium {
namespace {

constexpr uint64_t kChunk = kScanChunkSectors;

class HitStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(CreateHitStore(store_, 6 * kChunk)); }
  void TearDown() override { ReleaseHitStore(store_); }
  void Store(uint64_t chunk, std::vector<ScanHit> hits) {
    ASSERT_TRUE(StoreChunkHits(store_, hits.data(), hits.size(), chunk * kChunk));
  }
  HitStore store_;
};

TEST_F(HitStoreTest, NeighbourSearchPassesEmptyListsAndStopsAtUnexaminedChunks) {
  Store(0, {{46, 4, 10, 100}, {223, 0, 20, 0}});
  Store(1, {});
  Store(2, {});
  // chunk 3 not examined
  Store(4, {{61, 4, 4 * kChunk + 1, 7}});
  EXPECT_EQ(PreviousChunkLastHit(store_, 2)->lba, 20u);
  EXPECT_FALSE(PreviousChunkLastHit(store_, 5).has_value());  // chunk 5 not examined
  EXPECT_EQ(PreviousChunkLastHit(store_, 4)->lba, 4 * kChunk + 1);
  EXPECT_FALSE(PreviousChunkLastHit(store_, 3).has_value());  // an earlier chunk has hits, but 3 ends the search
  EXPECT_FALSE(NextChunkFirstHit(store_, 1).has_value());  // 1 and 2 empty, 3 unexamined
  EXPECT_EQ(NextChunkFirstHit(store_, 0)->lba, 10u);
  EXPECT_FALSE(NextChunkFirstHit(store_, 5).has_value());
  EXPECT_FALSE(NextChunkFirstHit(store_, 99).has_value());
  EXPECT_FALSE(PreviousChunkLastHit(store_, 99).has_value());
  EXPECT_FALSE(StoreChunkHits(store_, nullptr, 0, 6 * kChunk));  // beyond the table
}

TEST_F(HitStoreTest, CollectHitsFilters) {
  Store(0, {{46, 4, 10, 100}, {222, 0, 20, 0}});
  Store(2, {{231, 0, 2 * kChunk + 3, 0}, {61, 4, 2 * kChunk + 9, 0}});
  struct Case {
    bool structures, within;
    std::vector<uint64_t> lbas;
  };
  const Case cases[] = {
      {false, false, {10, 20, 2 * kChunk + 3, 2 * kChunk + 9}},
      {true, false, {20, 2 * kChunk + 3}},
      {false, true, {20, 2 * kChunk + 3}},  // volume [20, 2 * kChunk + 4)
  };
  for (const Case& c : cases) {
    HitList out;
    CollectHits(store_, out, c.structures, c.within, 20, 2 * kChunk + 4 - 20);
    std::vector<uint64_t> lbas;
    for (const ScanHit& h : out) lbas.push_back(h.lba);
    EXPECT_EQ(lbas, c.lbas) << c.structures << c.within;
  }
}

TEST_F(HitStoreTest, UpdateStoredHitTakesTheFinishedCarve) {
  Store(1, {{222, 0, kChunk + 5, 0}, {46, 3, kChunk + 5, 0}, {202, 3, kChunk + 8, 0}});
  CarveState jpeg{};
  jpeg.code = 47;  // refined by the size step
  jpeg.status = kCarveSized;
  jpeg.first_lba = kChunk + 5;
  jpeg.size = 5 << 20;
  ASSERT_TRUE(UpdateStoredHit(store_, jpeg));
  const HitList& list = *ChunkHitList(store_, 1);
  // The first hit at that LBA is taken, whatever it is (only video kinds must match).
  EXPECT_EQ(list[0].kind, 47);
  EXPECT_EQ(list[0].sub, kCarveSized);
  EXPECT_EQ(list[0].payload, 5u << 20);
  EXPECT_EQ(list[1].sub, kCarvePending);

  CarveState video{};
  video.code = 203;
  video.status = kCarveInvalid;
  video.first_lba = kChunk + 8;
  EXPECT_FALSE(UpdateStoredHit(store_, video));  // stored as 202: another fragment kind
  video.code = 202;
  EXPECT_TRUE(UpdateStoredHit(store_, video));
  EXPECT_EQ(list[2].sub, kCarveInvalid);
  video.first_lba = 3 * kChunk;  // chunk without a list
  EXPECT_FALSE(UpdateStoredHit(store_, video));
}

TEST_F(HitStoreTest, KnownFileStarts) {
  ASSERT_TRUE(CreateKnownFileStarts(store_, 4));
  EXPECT_FALSE(AddKnownFileStart(store_, 0));
  EXPECT_FALSE(AddKnownFileStart(store_, 4 * kChunk));
  for (uint64_t i = 1; i <= 30; ++i) ASSERT_TRUE(AddKnownFileStart(store_, kChunk + 3 * i));
  for (uint64_t i = 1; i <= 30; ++i) EXPECT_TRUE(IsKnownFileStart(store_, kChunk + 3 * i)) << i;
  EXPECT_FALSE(IsKnownFileStart(store_, kChunk + 1));
  EXPECT_FALSE(IsKnownFileStart(store_, 0));
  EXPECT_FALSE(IsKnownFileStart(store_, 4 * kChunk));
  EXPECT_FALSE(IsKnownFileStart(store_, 2 * kChunk + 3));
}

TEST_F(HitStoreTest, ReleaseGivesBackEveryPayloadByKind) {
  int summaries = 0, videos = 0;
  store_.releasers.file_record_summary = [&](uint64_t) { ++summaries; };
  store_.releasers.video_record = [&](uint64_t) { ++videos; };
  void* boot = MemAlloc(512, 226);
  Store(0, {{223, 0, 1, reinterpret_cast<uint64_t>(boot)},
            {224, 0, 2, 0x1234},
            {201, 4, 3, 0x99},
            {204, 3, 4, 0x98},  // a pending MTS fragment owns nothing yet
            {204, 4, 5, 0x97},
            {46, 4, 6, 777}});
  uint64_t before = MemTotal();
  ReleaseHitStore(store_);
  EXPECT_LT(MemTotal(), before);
  EXPECT_EQ(summaries, 1);
  EXPECT_EQ(videos, 2);
}

}  // namespace
}  // namespace trovium
