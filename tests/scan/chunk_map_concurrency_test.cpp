#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "core/memory_manager.h"
#include "scan/chunk_order.h"

namespace trovium {
namespace {

constexpr uint64_t kChunk = kScanChunkSectors;

// The reader claims chunks and hands them over; the handler marks them
// examined and adds hints while the reader goes on; a viewer copies the map.
TEST(ChunkMapConcurrencyTest, ReaderHandlerAndViewerShareTheMap) {
  const uint64_t sectors = kBigScanFixedSectors + 4096 * kChunk;  // big, so hints count
  ChunkOrder order;
  ASSERT_TRUE(order.map.Create(sectors));
  SetUpChunkOrder(order, {.mode = 1, .start_lba = 0, .sector_count = sectors, .device_sectors = sectors});

  std::vector<uint64_t> queue;
  std::mutex queue_lock;
  std::atomic<bool> reader_done{false};
  std::vector<uint64_t> read;

  std::thread reader([&] {
    uint64_t lba = 0;
    while (NextChunk(order, lba)) {
      read.push_back(lba);
      std::lock_guard<std::mutex> lock(queue_lock);
      queue.push_back(lba);
    }
    reader_done = true;
  });
  std::thread handler([&] {
    for (;;) {
      uint64_t lba = 0;
      {
        std::lock_guard<std::mutex> lock(queue_lock);
        if (queue.empty()) {
          if (reader_done) return;
          std::this_thread::yield();
          continue;
        }
        lba = queue.back();
        queue.pop_back();
      }
      MarkChunkExamined(order, lba);
      AddPriorityChunk(order, (lba * 7919) % sectors);
    }
  });
  std::thread viewer([&] {
    void* copy = nullptr;
    uint64_t size = 0;
    for (int i = 0; i < 50; ++i) {
      ASSERT_TRUE(CopyChunkMap(order, copy, size));
      for (uint64_t j = 0; j < size; ++j) ASSERT_LE(static_cast<uint8_t*>(copy)[j], kChunkExamined);
    }
    MemFree(copy);
  });
  reader.join();
  handler.join();
  viewer.join();

  ASSERT_EQ(read.size(), order.map.size());
  std::vector<int> seen(order.map.size(), 0);
  for (uint64_t lba : read) ++seen[lba / kChunk];
  for (uint64_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i], 1) << i;
    EXPECT_EQ(order.map.Get(i), kChunkExamined) << i;
  }
}

}  // namespace
}  // namespace trovium
