#include "scan/pending_carves.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace trovium {
namespace {

constexpr uint64_t kChunk = kCarveChunkSectors;

CarveState Waiting(uint64_t first_lba, uint64_t need_first, uint64_t need_last) {
  CarveState s{};
  s.code = 46;
  s.status = kCarvePending;
  s.first_lba = first_lba;
  s.need_first_lba = need_first;
  s.need_last_lba = need_last;
  return s;
}

TEST(PendingCarvesTest, RangeRelations) {
  struct Row { uint64_t as, ae, bs, be; uint32_t relation; };
  const Row rows[] = {
      {10, 5, 0, 100, 6}, {10, 20, 30, 29, 6},  // reversed ranges
      {10, 20, 0, 9, 2},    {10, 20, 0, 15, 5}, {10, 20, 10, 20, 1}, {10, 20, 5, 30, 1},
      {10, 20, 21, 30, 0},  {10, 20, 11, 19, 3}, {10, 20, 11, 20, 4}, {10, 20, 15, 40, 4},
  };
  for (const Row& r : rows) EXPECT_EQ(CarveRangeRelation(r.as, r.ae, r.bs, r.be), r.relation) << r.as << " " << r.bs;
}

TEST(PendingCarvesTest, QueueKeepsOrderAndRefusesRangesTooWide) {
  PendingCarves p;
  EXPECT_TRUE(queue_pending_carve(p, Waiting(1, 500, 600)));
  EXPECT_TRUE(queue_pending_carve(p, Waiting(2, 100, 200)));
  EXPECT_TRUE(queue_pending_carve(p, Waiting(3, 500, 510)));  // equal start: after the first
  EXPECT_TRUE(queue_pending_carve(p, Waiting(4, 100, 100 + kPendingWidestRange)));
  EXPECT_FALSE(queue_pending_carve(p, Waiting(5, 100, 101 + kPendingWidestRange)));
  EXPECT_FALSE(queue_pending_carve(p, Waiting(6, 100, 99)));
  ASSERT_EQ(p.list.size(), 4u);
  EXPECT_EQ(p.list[0].state.first_lba, 2u);
  EXPECT_EQ(p.list[1].state.first_lba, 4u);
  EXPECT_EQ(p.list[2].state.first_lba, 1u);
  EXPECT_EQ(p.list[3].state.first_lba, 3u);
  EXPECT_EQ(p.too_wide, 2u);
}

TEST(PendingCarvesTest, TouchDropsPassedRangesAndAnswersForRangesItMeets) {
  PendingCarves p;
  queue_pending_carve(p, Waiting(1, 10, 20));                       // passed by chunk 1
  queue_pending_carve(p, Waiting(2, 3 * kChunk, 3 * kChunk + 5));   // still ahead
  EXPECT_FALSE(pending_carves_touch_chunk(p, kChunk));
  ASSERT_EQ(p.list.size(), 1u);
  EXPECT_EQ(p.list[0].state.first_lba, 2u);
  EXPECT_TRUE(pending_carves_touch_chunk(p, 3 * kChunk));
}

TEST(PendingCarvesTest, WindowRestartsAppendsAndSlides) {
  PendingCarves p;
  std::vector<uint8_t> chunk(kCarveChunkBytes);
  auto add = [&](uint64_t index) {
    std::memset(chunk.data(), static_cast<int>(index), chunk.size());
    return AddChunkToCarveWindow(p.window, ByteView(chunk.data(), chunk.size()), index * kChunk);
  };
  ASSERT_TRUE(add(5));
  EXPECT_EQ(p.window.window_chunks, 1u);
  for (uint64_t i = 6; i < 13; ++i) ASSERT_TRUE(add(i));
  EXPECT_EQ(p.window.window_chunks, 8u);
  ASSERT_TRUE(add(13));  // the ninth: slide by one
  EXPECT_EQ(p.window.window_chunks, 8u);
  EXPECT_EQ(p.window.window_first_lba, 6 * kChunk);
  EXPECT_EQ(p.window.data[0], 6);
  EXPECT_EQ(p.window.data[7 * kCarveChunkBytes], 13);
  ASSERT_TRUE(add(20));  // not the next one: restart
  EXPECT_EQ(p.window.window_chunks, 1u);
  EXPECT_EQ(p.window.window_first_lba, 20 * kChunk);
  ASSERT_TRUE(add(3));  // before the window: restart
  EXPECT_EQ(p.window.window_first_lba, 3 * kChunk);
}

// Wants the sectors just past whatever it is given, for ever: what a rule
// does on a device full of headers whose ends never come.
uint32_t AlwaysFurther(const uint8_t*, uint64_t length, CarveState& state, uint64_t buffer_lba) {
  state.need_first_lba = buffer_lba + length / 512;
  state.need_last_lba = state.need_first_lba + 8;
  return kCarvePending;
}

// Sized once the buffer holds the needed range.
uint32_t SizedWhenHeld(const uint8_t*, uint64_t length, CarveState& state, uint64_t buffer_lba) {
  if (state.need_last_lba >= buffer_lba + length / 512) return kCarvePending;
  state.size = (state.need_last_lba + 1 - state.first_lba) * 512;
  return kCarveSized;
}

TEST(PendingCarvesTest, ResolveFinishesCoveredEntriesFromTheWindow) {
  PendingCarves p;
  p.size_step = SizedWhenHeld;
  std::vector<uint8_t> chunk(kCarveChunkBytes, 0);
  queue_pending_carve(p, Waiting(kChunk - 10, kChunk - 10, kChunk + 100));  // needs chunks 0 and 1
  queue_pending_carve(p, Waiting(kChunk - 5, 2 * kChunk, 2 * kChunk + 1));  // needs chunk 2
  std::vector<CarveState> done;
  auto finished = [&](const CarveState& s) { done.push_back(s); };
  for (uint64_t c = 0; c < 3; ++c) {
    if (pending_carves_touch_chunk(p, c * kChunk)) {
      resolve_pending_carves(p, ByteView(chunk.data(), chunk.size()), c * kChunk, finished);
    } else {
      AddChunkToCarveWindow(p.window, ByteView(chunk.data(), chunk.size()), c * kChunk);
    }
  }
  ASSERT_EQ(done.size(), 2u);
  EXPECT_EQ(done[0].first_lba, kChunk - 10);
  EXPECT_EQ(done[0].status, kCarveSized);
  EXPECT_EQ(done[0].size, 111u * 512);
  EXPECT_EQ(done[1].first_lba, kChunk - 5);
  EXPECT_TRUE(p.list.empty());
}

// A device with a header in every sector: every entry stays pending, always
// wanting the next chunk. Without a bound the list grows by a chunk's worth of
// sectors per chunk and each chunk re-runs all of them: quadratic.
TEST(PendingCarvesTest, HostileDeviceKeepsTheListBoundedAndTheWorkLinear) {
  PendingCarves p;
  p.size_step = AlwaysFurther;
  std::vector<uint8_t> chunk(kCarveChunkBytes, 0);
  const uint64_t chunks = 6;
  for (uint64_t c = 0; c < chunks; ++c) {
    for (uint64_t s = 0; s < kChunk; ++s) {
      queue_pending_carve(p, Waiting(c * kChunk + s, (c + 1) * kChunk, (c + 1) * kChunk + 8));
      ASSERT_LE(p.list.size(), kPendingCarveLimit);
    }
    if (pending_carves_touch_chunk(p, c * kChunk)) {
      resolve_pending_carves(p, ByteView(chunk.data(), chunk.size()), c * kChunk, nullptr);
    }
  }
  EXPECT_EQ(p.list.size(), kPendingCarveLimit);
  EXPECT_EQ(p.dropped, chunks * kChunk - kPendingCarveLimit);
  EXPECT_LE(p.reruns, chunks * kPendingCarveLimit);
  // The newest entries are the ones kept.
  for (const PendingCarve& e : p.list) EXPECT_GE(e.state.first_lba, chunks * kChunk - kPendingCarveLimit);
}

}  // namespace
}  // namespace trovium
