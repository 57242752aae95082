#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/test_support.h"
#include "scan/sector_source.h"

namespace trovium {
namespace {

// An image of `sectors` sectors whose every sector starts with its LBA.
std::string NumberedImage(const test::TempDir& dir, uint32_t sectors) {
  std::vector<uint8_t> bytes(static_cast<size_t>(sectors) * 512, 0xEE);
  for (uint32_t s = 0; s < sectors; ++s) std::memcpy(&bytes[static_cast<size_t>(s) * 512], &s, sizeof s);
  std::string path = dir.File("n.img");
  EXPECT_TRUE(test::WriteFile(path, bytes));
  return path;
}

TEST(ReadSectorsInPieces, PublishesEveryPieceAndCountsOneChunkRead) {
  struct Case {
    uint32_t image_sectors;
    bool counted;  // only a whole 16384-sector chunk counts in scan mode
  };
  for (Case c : {Case{16384, true}, Case{16383, false}}) {
    test::TempDir dir;
    CSectorSource src;
    ASSERT_TRUE(OpenImage(NumberedImage(dir, c.image_sectors), src));
    SetReadErrorMode(1);
    ZeroReadCounters();
    std::vector<uint8_t> buf(16384 * 512, 0x55);
    std::vector<uint32_t> published;
    EXPECT_TRUE(ReadSectorsInPieces(16384, 512, src, buf.data(), 0, [&](uint32_t n) { published.push_back(n); }));
    ASSERT_EQ(published.size(), 32u);
    EXPECT_EQ(published.front(), 512u);
    EXPECT_EQ(published.back(), 16384u);
    uint32_t at_5000 = 0;
    std::memcpy(&at_5000, &buf[5000 * 512], 4);
    EXPECT_EQ(at_5000, 5000u);
    EXPECT_EQ(buf.back(), c.image_sectors == 16384 ? 0xEE : 0);  // a cut read leaves zeros
    EXPECT_EQ(ReadCount(), c.counted ? 1u : 0u) << c.image_sectors;
    EXPECT_EQ(ReadErrorCount(), 0u);
    CloseSource(src);
  }
  SetReadErrorMode(0);
}

TEST(ReadSectorsInPieces, AFailedPieceFailsTheChunkOnceAndLeavesZeros) {
  test::TempDir dir;
  CSectorSource src;
  ASSERT_TRUE(OpenImage(NumberedImage(dir, 16384), src));
  src.lastLba = 30000;  // the image is shorter than the source claims: short reads
  SetReadErrorMode(1);
  ZeroReadCounters();
  std::vector<uint8_t> buf(16384 * 512, 0x55);
  EXPECT_FALSE(ReadSectorsInPieces(16384, 512, src, buf.data(), 8192, {}));
  EXPECT_EQ(ReadCount(), 1u);
  EXPECT_EQ(ReadErrorCount(), 1u);
  EXPECT_EQ(buf.back(), 0);
  uint32_t first = 0;
  std::memcpy(&first, buf.data(), 4);
  EXPECT_EQ(first, 8192u);
  SetReadErrorMode(0);
}

}  // namespace
}  // namespace trovium
