#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "common/test_support.h"
#include "core/registry.h"
#include "core/soft_config.h"

namespace trovium {
namespace {

// Workers read switches while the configuration is published again.
TEST(SoftConfigConcurrency, ReadersSeeAWholeConfiguration) {
  ASSERT_TRUE(LoadSoftConfig());
  std::atomic<bool> stop{false};
  std::atomic<int> bad{0};
  std::vector<std::thread> readers;
  for (int i = 0; i < 3; ++i) {
    readers.emplace_back([&] {
      while (!stop) {
        if (GetSoftCfg("SaveDir") != "Trovium恢复的文件" || !IsSoftCfgOn("ShowAllFile") || MovFragRecovery()) ++bad;
        if (EditionBrand() != "Trovium") ++bad;
      }
    });
  }
  for (int i = 0; i < 50; ++i) ASSERT_TRUE(LoadSoftConfig());
  stop = true;
  for (auto& t : readers) t.join();
  EXPECT_EQ(bad, 0);
}

// Threads writing different values all end up in the file.
TEST(SoftConfigConcurrency, ParallelWritesAreAllKept) {
  test::TempDir home;
  ::setenv("TROVIUM_HOME", home.path().c_str(), 1);
  ASSERT_TRUE(LoadSoftConfig());
  std::vector<std::thread> writers;
  for (int i = 0; i < 4; ++i) {
    writers.emplace_back([i] {
      for (int k = 0; k < 10; ++k) WriteRegistryValue("v" + std::to_string(i * 10 + k), std::to_string(k));
    });
  }
  for (auto& t : writers) t.join();
  for (int n = 0; n < 40; ++n) EXPECT_EQ(ReadRegistryValue("v" + std::to_string(n)), std::to_string(n % 10)) << n;
}

}  // namespace
}  // namespace trovium
