#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "core/mem_allocator.h"
#include "core/memory_manager.h"
#include "core/report.h"

namespace trovium {
namespace {

TEST(MemoryManagerConcurrency, TotalsReturnToTheStart) {
  std::atomic<int> reports{0};
  ScopedReportSink sink([&](int, const std::string&) { reports.fetch_add(1); });
  MemFreeLaterDrain();
  const uint64_t start = MemTotal();

  constexpr int kThreads = 4;
  constexpr int kRounds = 2000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      WorkerScope scope("DiskFileScanHandThread");
      std::vector<uint8_t*> mine;
      MemVector<uint32_t> hits{MemAllocator<uint32_t>(static_cast<uint16_t>(t))};
      for (int i = 0; i < kRounds; ++i) {
        size_t size = 1 + static_cast<size_t>((i * 131 + t * 17) % 4000);
        auto* p = static_cast<uint8_t*>(MemAlloc(size, static_cast<uint16_t>(t)));
        uint8_t fill[64];
        std::memset(fill, t + 1, sizeof(fill));
        MemCopyAt(static_cast<uint16_t>(t), sizeof(fill), p, size / 2, fill);
        hits.push_back(static_cast<uint32_t>(i));
        switch (i % 3) {
          case 0: MemFree(p); break;
          case 1: MemFreeLater(p); break;
          default: mine.push_back(p);
        }
        // Blocks allocated here are released by another thread's deferred queue too.
        if (mine.size() > 8) {
          MemFreeLater(mine.front());
          mine.erase(mine.begin());
        }
      }
      for (uint8_t* p : mine) MemFree(p);
    });
  }
  for (auto& th : threads) th.join();
  MemFreeLaterDrain();
  EXPECT_EQ(MemTotal(), start);
  EXPECT_EQ(MemFreeLaterQueued(), 0u);
  EXPECT_EQ(LiveWorkerCount(), 0);
}

}  // namespace
}  // namespace trovium
