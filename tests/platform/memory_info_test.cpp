#include "platform/memory_info.h"

#include <gtest/gtest.h>

namespace trovium::platform {
namespace {

TEST(MemoryInfo, ParsesMebibytes) {
  auto s = ParseMemInfo("MemTotal:       24684544 kB\nMemFree:        24450000 kB\nMemAvailable:   24404992 kB\n");
  ASSERT_TRUE(s);
  EXPECT_EQ(s->total_mib, 24106u);
  EXPECT_EQ(s->available_mib, 23833u);
  // Old kernels have no MemAvailable.
  s = ParseMemInfo("MemTotal: 2048 kB\nMemFree: 1024 kB\n");
  ASSERT_TRUE(s);
  EXPECT_EQ(s->available_mib, 1u);
  EXPECT_FALSE(ParseMemInfo(""));
  EXPECT_FALSE(ParseMemInfo("MemTotalX: 5 kB\nMemFree: 1 kB\n"));
}

TEST(MemoryInfo, ReadsThisMachine) {
  auto s = ReadMemoryStatus();
  ASSERT_TRUE(s);
  EXPECT_GT(s->total_mib, 0u);
  EXPECT_LE(s->available_mib, s->total_mib);
}

}  // namespace
}  // namespace trovium::platform
