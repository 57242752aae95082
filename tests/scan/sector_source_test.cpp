#include "scan/sector_source.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "common/test_support.h"

namespace trovium {
namespace {

// An image whose sector n holds n in every byte (mod 256), plus extra bytes.
std::string MakeImage(const test::TempDir& dir, uint64_t sectors, size_t tail_bytes = 0) {
  std::vector<uint8_t> bytes(static_cast<size_t>(sectors * kSectorBytes) + tail_bytes);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i / kSectorBytes + 1);
  std::string path = dir.File("img");
  EXPECT_TRUE(test::WriteFile(path, bytes));
  return path;
}

// Counters are process-wide: each test starts from a known state.
class SectorSourceTest : public ::testing::Test {
 protected:
  void SetUp() override { SetReadErrorMode(0); ZeroReadCounters(); }
  void TearDown() override { SetReadErrorMode(0); ZeroReadCounters(); CloseSource(src_); }
  test::TempDir dir_;
  CSectorSource src_;
};

TEST_F(SectorSourceTest, ImageBoundsFollowWholeSectors) {
  struct Case { size_t bytes; bool has_sectors; uint64_t last; };
  for (const Case& c : {Case{1000, true, 0}, Case{511, false, 0}, Case{0, false, 0}, Case{4096, true, 7}}) {
    SCOPED_TRACE(c.bytes);
    std::string path = dir_.File("sized");
    ASSERT_TRUE(test::WriteFile(path, std::vector<uint8_t>(c.bytes, 0x5A)));
    CSectorSource s;
    ASSERT_TRUE(OpenImage(path, s));
    EXPECT_EQ(s.imageBytes, c.bytes);
    EXPECT_EQ(s.hasSectors, c.has_sectors);
    EXPECT_EQ(s.lastLba, c.last);
    std::vector<uint8_t> buf(1024, 0xEE);
    // Sector 0 is readable only when there is a whole sector; the next never.
    EXPECT_EQ(ReadSectors(1, s, buf.data(), 0), c.has_sectors);
    EXPECT_EQ(buf[0], c.has_sectors ? 0x5A : 0);
    EXPECT_FALSE(ReadSectors(1, s, buf.data(), s.lastLba + 1));
    EXPECT_EQ(buf[0], 0);  // a refused read still leaves zeros
    CloseSource(s);
  }
}

TEST_F(SectorSourceTest, LastSectorReadsAndTheNextIsRefusedUncounted) {
  ASSERT_TRUE(OpenImage(MakeImage(dir_, 200), src_));
  SetReadErrorMode(2);
  std::vector<uint8_t> buf(2 * kSectorBytes, 0xEE);
  EXPECT_TRUE(ReadSectors(1, src_, buf.data(), 199));
  EXPECT_EQ(buf[0], 200);
  EXPECT_FALSE(ReadSectors(1, src_, buf.data(), 200));
  EXPECT_EQ(ReadCount(), 1u);
  EXPECT_EQ(ReadErrorCount(), 0u);
}

TEST_F(SectorSourceTest, ChunkReadIsCutAtTheEndAndNotCountedInScanMode) {
  ASSERT_TRUE(OpenImage(MakeImage(dir_, 1000), src_));
  SetReadErrorMode(1);
  std::vector<uint8_t> buf(kChunkSectors * kSectorBytes, 0xEE);
  EXPECT_TRUE(ReadSectors(kChunkSectors, src_, buf.data(), 899));  // 100 before lastLba: 101 sectors
  EXPECT_EQ(buf[0], static_cast<uint8_t>(900));
  EXPECT_EQ(buf[101 * kSectorBytes - 1], static_cast<uint8_t>(1000));
  EXPECT_EQ(buf[101 * kSectorBytes], 0);  // beyond the cut: zeros
  EXPECT_EQ(buf.back(), 0);
  EXPECT_EQ(ReadCount(), 0u);
  EXPECT_EQ(ReadErrorCount(), 0u);
}

TEST_F(SectorSourceTest, CountingByMode) {
  // A device whose readable range runs far past the real file: reads there
  // come back short and fail.
  SourceLocation loc{MakeImage(dir_, 32768), "vol", 0, 100000};
  ASSERT_TRUE(OpenDevice(loc, src_));
  EXPECT_EQ(src_.lastLba, 99999u);
  std::vector<uint8_t> buf(kChunkSectors * kSectorBytes);
  struct Case { int mode; uint32_t count; uint64_t lba; bool ok; uint32_t reads; uint32_t errors; };
  const Case cases[] = {
      {0, kChunkSectors, 0, true, 0, 0},      // mode 0 counts nothing
      {0, kChunkSectors, 30000, false, 0, 0},
      {1, 8, 0, true, 0, 0},                  // mode 1 counts whole chunks only
      {1, kChunkSectors, 0, true, 1, 0},
      {1, kChunkSectors, 30000, false, 1, 1},
      {2, 8, 0, true, 1, 0},                  // mode 2 counts every read
      {2, 8, 39990, false, 1, 1},
      {2, 8, 100000, false, 0, 0},            // refused beyond lastLba: not counted
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode << " lba " << c.lba);
    SetReadErrorMode(c.mode);
    ZeroReadCounters();
    EXPECT_EQ(ReadSectors(c.count, src_, buf.data(), c.lba), c.ok);
    EXPECT_EQ(ReadCount(), c.reads);
    EXPECT_EQ(ReadErrorCount(), c.errors);
  }
}

TEST_F(SectorSourceTest, FailedPositioningIsCountedInExportMode) {
  ASSERT_TRUE(OpenImage(MakeImage(dir_, 8), src_));
  CloseSource(src_);  // an invalid handle, as after a failed reopen
  src_.hasSectors = true;
  SetReadErrorMode(2);
  std::vector<uint8_t> buf(kSectorBytes, 0xEE);
  EXPECT_FALSE(ReadSectors(1, src_, buf.data(), 0));
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(ReadCount(), 1u);
  EXPECT_EQ(ReadErrorCount(), 1u);
}

TEST_F(SectorSourceTest, OpenEndedVolumeAcceptsLbasUpTo2Pow48) {
  for (uint64_t start : {uint64_t{0}, uint64_t{123456}}) {
    CSectorSource s;
    ASSERT_TRUE(OpenDevice({MakeImage(dir_, 4), "lost NTFS", start, kOpenEndedSectorCount}, s));
    EXPECT_EQ(s.lastLba, kOpenEndedSectorCount);
    EXPECT_EQ(s.name, "lost NTFS");
    SetReadErrorMode(2);
    ZeroReadCounters();
    std::vector<uint8_t> buf(kSectorBytes);
    EXPECT_FALSE(ReadSectors(1, s, buf.data(), kOpenEndedSectorCount));  // allowed, but past the file
    EXPECT_EQ(ReadCount(), 1u);
    EXPECT_FALSE(ReadSectors(1, s, buf.data(), kOpenEndedSectorCount + 1));
    EXPECT_EQ(ReadCount(), 1u);
    CloseSource(s);
  }
}

TEST_F(SectorSourceTest, HugeRequestsAreRefusedAndNothingOverflows) {
  ASSERT_TRUE(OpenImage(MakeImage(dir_, 8), src_));
  SetReadErrorMode(2);
  std::vector<uint8_t> buf(kSectorBytes, 0xEE);
  // 0x800001 sectors is 4 GiB + 512 bytes: a 32-bit product would wrap to 512.
  EXPECT_FALSE(ReadSectors(0x800001, src_, buf.data(), 0));
  EXPECT_EQ(buf[0], 0xEE);  // refused before the destination is touched
  EXPECT_FALSE(ReadSectors(0x80001, src_, buf.data(), 0));  // 256 MiB + 512
  // Zero sectors read nothing, even at LBA 0 where lba + count - 1 would wrap.
  EXPECT_TRUE(ReadSectors(0, src_, buf.data(), 0));
  EXPECT_EQ(buf[0], 0xEE);
  EXPECT_EQ(ReadCount(), 0u);

  // A volume that would end past 2^64, read at its far end.
  CSectorSource far;
  ASSERT_TRUE(OpenDevice({src_.reopenPath, "far", UINT64_MAX - 10, 100}, far));
  EXPECT_EQ(far.lastLba, UINT64_MAX);
  std::vector<uint8_t> sixteen(16 * kSectorBytes, 0xEE);
  EXPECT_FALSE(ReadSectors(16, far, sixteen.data(), UINT64_MAX - 1));  // lba + count - 1 would wrap
  EXPECT_EQ(sixteen.back(), 0);
  EXPECT_TRUE(ReadSectors(1, far, buf.data(), 7));  // no lower bound: absolute LBAs
  EXPECT_EQ(buf[0], 8);
  CloseSource(far);

  CSectorSource empty;
  ASSERT_TRUE(OpenDevice({src_.reopenPath, "empty", 0, 0}, empty));
  EXPECT_FALSE(ReadSectors(1, empty, buf.data(), 0));
  CloseSource(empty);
}

TEST_F(SectorSourceTest, TruncatedSourceGivesShortReadAndZeros) {
  std::string path = MakeImage(dir_, 64);
  ASSERT_TRUE(OpenImage(path, src_));
  ASSERT_EQ(::truncate(path.c_str(), 10 * kSectorBytes + 100), 0);
  std::vector<uint8_t> buf(8 * kSectorBytes, 0xEE);
  EXPECT_FALSE(ReadSectors(8, src_, buf.data(), 6));
  EXPECT_EQ(buf[0], 7);
  EXPECT_EQ(buf[4 * kSectorBytes + 99], 11);  // the partial sector that was still there
  EXPECT_EQ(buf[4 * kSectorBytes + 100], 0);
  EXPECT_EQ(buf.back(), 0);
}

TEST_F(SectorSourceTest, FailedReadIsRetriedOnAReopenedHandle) {
  std::string path = MakeImage(dir_, 16);
  ASSERT_TRUE(OpenImage(path, src_));
  // The handle goes bad behind the source's back: the read fails once and
  // is retried on a handle opened again from reopenPath.
  ::close(src_.handle);
  std::vector<uint8_t> buf(kSectorBytes);
  EXPECT_TRUE(ReadSectors(1, src_, buf.data(), 3));
  EXPECT_EQ(buf[0], 4);
  EXPECT_GE(src_.handle, 0);

  // Now the reopen fails: the handle stays invalid and every later read
  // fails and is counted.
  ::close(src_.handle);
  ASSERT_EQ(std::remove(path.c_str()), 0);
  SetReadErrorMode(2);
  EXPECT_FALSE(ReadSectors(1, src_, buf.data(), 3));
  EXPECT_EQ(src_.handle, -1);
  EXPECT_EQ(buf[0], 0);
  EXPECT_FALSE(ReadSectors(1, src_, buf.data(), 4));
  EXPECT_EQ(ReadCount(), 2u);
  EXPECT_EQ(ReadErrorCount(), 2u);
}

TEST_F(SectorSourceTest, OpenFailureReportsTheReason) {
  platform::SourceOpenResult why;
  EXPECT_FALSE(OpenImage(dir_.File("missing.img"), src_, &why));
  EXPECT_EQ(why.error, platform::OpenError::kNotFound);
  EXPECT_EQ(src_.handle, -1);
  EXPECT_FALSE(OpenDevice({dir_.path(), "dir", 0, 10}, src_, &why));
  EXPECT_EQ(why.error, platform::OpenError::kIsDirectory);
}

}  // namespace
}  // namespace trovium
