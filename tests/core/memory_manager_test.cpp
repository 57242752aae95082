#include "core/memory_manager.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "common/test_support.h"
#include "core/mem_allocator.h"
#include "core/report.h"

namespace trovium {
namespace {

constexpr uint64_t kMiB = 1048576;

using Reports = std::vector<std::pair<int, std::string>>;

class MemoryManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (MemFreeLaterQueued() > 0) MemFreeLaterDrain();
    MemResetReportsForTesting();
    start_total_ = MemTotal();
  }
  void TearDown() override {
    SetMemStatusSource(nullptr);
    SetMemRawAllocatorForTesting(nullptr);
    SetMemTickSourceForTesting(nullptr);
    if (MemFreeLaterQueued() > 0) MemFreeLaterDrain();
    EXPECT_EQ(MemTotal(), start_total_);
  }
  Reports reports_;
  ScopedReportSink sink_{[this](int code, const std::string& text) { reports_.emplace_back(code, text); }};
  uint64_t start_total_ = 0;
};

TEST_F(MemoryManagerTest, OneByteBlockLayout) {
  auto* p = static_cast<uint8_t*>(MemAlloc(1, 0x1234));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
  EXPECT_EQ(MemTotal(), start_total_ + 1 + kMemOverhead);
  const uint8_t* raw = p - kMemHeaderSize;
  EXPECT_EQ(raw[0], 0x43);  // "CK"
  EXPECT_EQ(raw[1], 0x4B);
  EXPECT_EQ(raw[2], 0x34);
  EXPECT_EQ(raw[3], 0x12);
  uint64_t size = 0;
  std::memcpy(&size, raw + 8, 8);
  EXPECT_EQ(size, 1u);
  EXPECT_EQ(p[0], 0);
  EXPECT_EQ(p[1], kMemGuard);
  EXPECT_EQ(MemFree(p), 1);
  EXPECT_TRUE(reports_.empty());
}

TEST_F(MemoryManagerTest, BlocksAreZeroedAndAnEmptyRequestIsNoFatalError) {
  auto* p = static_cast<uint8_t*>(MemAlloc(100000, 7));
  for (size_t i = 0; i < 100000; ++i) ASSERT_EQ(p[i], 0) << i;
  void* empty = MemAlloc(0, 8);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(MemFree(empty), 1);
  EXPECT_EQ(MemFree(p), 1);
  EXPECT_EQ(MemFree(nullptr), 1);
  EXPECT_TRUE(reports_.empty());
}

TEST_F(MemoryManagerTest, ForeignPointerIsLeftAloneAndReportedOnce) {
  std::vector<uint8_t> foreign(64, 0);
  EXPECT_EQ(MemFree(foreign.data() + 32), 0);
  EXPECT_EQ(MemFree(foreign.data() + 32), 0);
  EXPECT_EQ(reports_, (Reports{{16, "Mem begin err: 999  "}}));
}

TEST_F(MemoryManagerTest, OverwrittenSizeInTheHeaderIsCaught) {
  auto* p = static_cast<uint8_t*>(MemAlloc(32, 9));
  uint64_t huge = 1ull << 40;
  std::memcpy(p - 8, &huge, 8);  // a stray write over the size
  EXPECT_EQ(MemFree(p), 0);      // the guard far away is not touched
  EXPECT_EQ(reports_, (Reports{{16, "Mem begin err: 999  "}}));
  uint64_t real = 32;
  std::memcpy(p - 8, &real, 8);
  EXPECT_EQ(MemFree(p), 1);
}

TEST_F(MemoryManagerTest, OverwrittenGuardIsReportedOncePerTagAndStillReleased) {
  for (int i = 0; i < 2; ++i) {
    auto* p = static_cast<uint8_t*>(MemAlloc(100, 77));
    p[100] = 0;
    EXPECT_EQ(MemFree(p), 1);
  }
  EXPECT_EQ(reports_, (Reports{{17, "Mem end err: 77  "}}));
  EXPECT_EQ(MemTotal(), start_total_);  // the total stays true
}

TEST_F(MemoryManagerTest, CopyLargerThanTheBlockIsCut) {
  auto* dest = static_cast<uint8_t*>(MemAlloc(512, 1));
  std::vector<uint8_t> src(600);
  for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i * 7 + 1);
  EXPECT_EQ(MemCopy(600, 62, dest, src.data()), dest);
  EXPECT_EQ(std::memcmp(dest, src.data(), 512), 0);
  EXPECT_EQ(dest[512], kMemGuard);
  EXPECT_EQ(MemCopy(0, 62, dest, src.data()), nullptr);
  EXPECT_EQ(MemCopy(10, 62, nullptr, src.data()), nullptr);
  EXPECT_EQ(MemCopy(10, 63, dest, src.data()), dest);
  EXPECT_EQ(MemFree(dest), 1);
  EXPECT_EQ(reports_, (Reports{{18, "Mem oper: 62  "}}));
}

TEST_F(MemoryManagerTest, CopyAtChecksBoundsWithoutOverflow) {
  auto* dest = static_cast<uint8_t*>(MemAlloc(512, 1));
  std::vector<uint8_t> src(4096, 0xAB);
  struct Case {
    uint64_t offset;
    size_t length;
    size_t copied;  // bytes written from offset on; 0 means null returned
    bool reported;
  } cases[] = {
      {0, 512, 512, false},
      {500, 12, 12, false},
      {500, 100, 12, true},
      {512, 1, 0, true},                       // offset equal to the size
      {UINT64_MAX - 10, 100, 0, true},         // offset + length wraps in 64 bits
      {0xFFFFFFFFull - 10, 100, 0, true},      // and in 32 bits
      {500, SIZE_MAX - 100, 12, true},         // wraps to a sum below the size
      {0x100000000ull + 10, 20, 0, true},      // a 32-bit offset would alias 10
  };
  uint16_t tag = 100;
  for (const auto& c : cases) {
    std::memset(dest, 0, 512);
    reports_.clear();
    ++tag;
    const void* got = MemCopyAt(tag, c.length, dest, c.offset, src.data());
    if (c.copied == 0) {
      EXPECT_EQ(got, nullptr) << c.offset;
      for (size_t i = 0; i < 512; ++i) ASSERT_EQ(dest[i], 0) << c.offset;
    } else {
      EXPECT_EQ(got, dest + c.offset);
      for (size_t i = 0; i < 512; ++i)
        ASSERT_EQ(dest[i], i >= c.offset && i < c.offset + c.copied ? 0xAB : 0) << c.offset << " " << i;
    }
    EXPECT_EQ(dest[512], kMemGuard);
    EXPECT_EQ(reports_.size(), c.reported ? 1u : 0u) << c.offset;
    if (c.reported && !reports_.empty()) {
      EXPECT_EQ(reports_[0], std::make_pair(18, "Mem oper: " + std::to_string(tag) + "  "));
    }
  }
  EXPECT_EQ(MemFree(dest), 1);
}

TEST_F(MemoryManagerTest, CheckedAllocationFailsSoftly) {
  EXPECT_EQ(MemTryAlloc(0, 1), nullptr);
  EXPECT_EQ(MemTryAlloc(SIZE_MAX, 1), nullptr);
  EXPECT_EQ(MemTryAlloc(SIZE_MAX - 8, 1), nullptr);  // size + 9 wraps to 0
  EXPECT_EQ(MemTryAlloc(kMemTryAllocLimit + 1, 1), nullptr);
  void* p = MemTryAlloc(4096, 1);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(MemFree(p), 1);

  // Sizes past 32 bits reach the heap whole, and a refusal comes back as null.
  static uint64_t requested = 0;
  SetMemRawAllocatorForTesting([](size_t raw) -> void* {
    requested = raw;
    return nullptr;
  });
  EXPECT_EQ(MemTryAlloc(kMemTryAllocLimit, 1), nullptr);
  EXPECT_EQ(requested, kMemTryAllocLimit + kMemOverhead);
  EXPECT_EQ(MemTotal(), start_total_);
  EXPECT_TRUE(reports_.empty());
}

std::string ReadLog(const test::TempDir& home) {
  auto bytes = test::ReadFile(home.File("reports.log"));
  return std::string(bytes.begin(), bytes.end());
}

void FatalChild(const std::string& home, size_t size, bool heap_refuses) {
  SetReportSinkForTesting(nullptr);  // this child reports to its own file
  ::setenv("TROVIUM_HOME", home.c_str(), 1);
  if (heap_refuses) SetMemRawAllocatorForTesting([](size_t) -> void* { return nullptr; });
  MemAlloc(size, 1908);
  std::_Exit(0);
}

TEST_F(MemoryManagerTest, HugeRequestTakesTheFatalPathInsteadOfWrapping) {
  test::TempDir home;
  EXPECT_EXIT(FatalChild(home.path(), SIZE_MAX - 8, false), ::testing::ExitedWithCode(1),
              "分配内存失败: 16777216.00 TB");
  std::string log = ReadLog(home);
  EXPECT_NE(log.find(" 19 Mem size: "), std::string::npos) << log;
  EXPECT_NE(log.find("    alloc size: 16777216.00 TB"), std::string::npos) << log;
  EXPECT_NE(log.find(" 1 \n"), std::string::npos) << log;
  EXPECT_NE(log.find(" 1 Alloc mem failed!\n"), std::string::npos) << log;
}

TEST_F(MemoryManagerTest, ExhaustedHeapEndsTheProgramWithTheMessage) {
  test::TempDir home;
  EXPECT_EXIT(FatalChild(home.path(), 4096, true), ::testing::ExitedWithCode(1), "分配内存失败: 4.02 KB");
  std::string log = ReadLog(home);
  EXPECT_NE(log.find("    alloc size: 4.02 KB   line: 1908  AllMem: "), std::string::npos) << log;
  EXPECT_NE(log.find(" 1 Alloc mem failed!\n"), std::string::npos) << log;
}

TEST_F(MemoryManagerTest, BigTotalIsReportedOncePerLevel) {
  SetMemStatusSource([] { return std::vector<MemStatusVolume>{{0, 5}, {1, 100}}; });
  EXPECT_EQ(MemStatusText(), "RealPartNum: 2  [0,5] [1,100] ");
  uint64_t phantom = 990 * kMiB - start_total_;
  MemAccountAllocForTesting(phantom);
  EXPECT_TRUE(reports_.empty());
  MemAccountAllocForTesting(20 * kMiB);
  EXPECT_EQ(reports_, (Reports{{20, "Mem big: 1010(MB)   RealPartNum: 2  [0,5] [1,100] "}}));
  MemAccountFreeForTesting(20 * kMiB);
  MemAccountAllocForTesting(20 * kMiB);
  EXPECT_EQ(reports_.size(), 1u);  // back at a level already reported
  MemAccountAllocForTesting(290 * kMiB);  // 1300 MiB: past the third level, no status
  ASSERT_EQ(reports_.size(), 2u);
  EXPECT_EQ(reports_[1], std::make_pair(20, std::string("Mem big: 1300(MB)")));
  EXPECT_EQ(MemReportedHundreds(), 13u);
  MemAccountFreeForTesting(phantom + 310 * kMiB);
  SetMemStatusSource(nullptr);
  EXPECT_EQ(MemStatusText(), "RealPartNum: 0  ");
}

TEST_F(MemoryManagerTest, UnderflowIsReportedAndTheTotalKept) {
  MemAccountFreeForTesting(start_total_ + 1000 + kMemOverhead);
  EXPECT_EQ(MemTotal(), start_total_);
  EXPECT_EQ(reports_, (Reports{{19, "Mem size: " + std::to_string(start_total_) + "    free size: " +
                                        std::to_string(start_total_ + 1000)}}));
}

uint64_t g_ticks = 0;

TEST_F(MemoryManagerTest, DeferredReleaseKeepsFiveYoungBlocks) {
  SetMemTickSourceForTesting([] { return g_ticks; });
  g_ticks = 1000;
  const uint64_t raw = 64 + kMemOverhead;
  for (int i = 0; i < 7; ++i) MemFreeLater(MemAlloc(64, 5));
  // Trimmed before each append: six wait after the seventh.
  EXPECT_EQ(MemFreeLaterQueued(), 6u);
  EXPECT_EQ(MemTotal(), start_total_ + 6 * raw);
  g_ticks += 200;  // not more than 200 ms old yet
  MemFreeLater(MemAlloc(64, 5));
  EXPECT_EQ(MemFreeLaterQueued(), 6u);
  g_ticks += 1;
  MemFreeLater(MemAlloc(64, 5));
  EXPECT_EQ(MemFreeLaterQueued(), 2u);
  EXPECT_EQ(MemTotal(), start_total_ + 2 * raw);
  // Above 1 GiB nothing waits.
  MemAccountAllocForTesting(1025 * kMiB);
  MemFreeLater(MemAlloc(64, 5));
  EXPECT_EQ(MemFreeLaterQueued(), 1u);
  MemAccountFreeForTesting(1025 * kMiB);
  MemFreeLater(nullptr);
  EXPECT_EQ(MemFreeLaterQueued(), 1u);
  MemFreeLaterDrain();
  EXPECT_EQ(MemFreeLaterQueued(), 0u);
  reports_.clear();  // the phantom gigabyte's "Mem big"
}

TEST_F(MemoryManagerTest, ContainerAllocatorUsesTheManagedHeap) {
  {
    MemVector<uint64_t> hits{MemAllocator<uint64_t>(1685)};
    for (uint64_t i = 0; i < 1000; ++i) hits.push_back(i);
    EXPECT_GE(MemTotal(), start_total_ + 1000 * sizeof(uint64_t));
    EXPECT_EQ(hits.get_allocator().tag(), 1685);
    using Rebound = std::allocator_traits<MemAllocator<uint64_t>>::rebind_alloc<char>;
    Rebound bytes(hits.get_allocator());
    EXPECT_EQ(bytes.tag(), 1685);
    EXPECT_TRUE(bytes == hits.get_allocator());
    EXPECT_THROW((void)MemAllocator<uint64_t>(1).allocate(SIZE_MAX / 4), std::bad_array_new_length);
  }
  EXPECT_EQ(MemTotal(), start_total_);
  EXPECT_TRUE(reports_.empty());
}

}  // namespace
}  // namespace trovium
