#include "content/carve.h"

#include <gtest/gtest.h>

#include <vector>

namespace trovium {
namespace {

// A buffer of 8 sectors at LBA 100; sector n holds the byte n everywhere.
struct Fixture {
  std::vector<uint8_t> bytes;
  CarveBuffer buffer;
  Fixture() : bytes(8 * 512) {
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i / 512);
    buffer = CarveBuffer{bytes.data(), bytes.size(), 100};
  }
};

TEST(CarveReadTest, AnswersByWhereTheBytesLie) {
  struct Row {
    uint64_t first_lba, offset;
    uint32_t length, status;
    uint64_t need_first, need_last;
  };
  const Row rows[] = {
      {100, 0, 512, kCarveReadDone, 0, 0},
      {102, 1000, 2000, kCarveReadDone, 0, 0},
      {100, 0, 0, kCarveOutOfRange, 0, 0},                 // nothing asked
      {100, 0, kCarveMaxRead + 1, kCarveOutOfRange, 0, 0},  // over 64 MiB
      {50, 0, 512, kCarveOutOfRange, 0, 0},                 // wholly before the buffer
      {100, 4096, 512, kCarvePending, 108, 108},            // just past it
      {104, 1024, 4096, kCarvePending, 106, 113},           // runs past the end
      {90, 5000, 1024, kCarvePending, 99, 101},             // starts before, ends inside
      {100, 512 * (kCarveFarSectors + 7), 512, kCarvePending, 107 + kCarveFarSectors, 107 + kCarveFarSectors},
      {100, 512 * (kCarveFarSectors + 8), 512, kCarveOutOfRange, 0, 0},  // too far ahead
      {100, UINT64_MAX - 10, 512, kCarveOutOfRange, 0, 0},                // offset sum would wrap
      {UINT64_MAX - 2, 4096, 512, kCarveOutOfRange, 0, 0},                // LBA sum would wrap
  };
  for (const Row& r : rows) {
    Fixture f;
    CarveState s{};
    s.first_lba = r.first_lba;
    s.offset = r.offset;
    s.read_length = r.length;
    ByteView out;
    ASSERT_EQ(read_carve_bytes(s, f.buffer, out), r.status) << r.first_lba << "+" << r.offset;
    if (r.status == kCarveReadDone) {
      ASSERT_EQ(out.size(), r.length);
      uint64_t byte = (r.first_lba - 100) * 512 + r.offset;
      EXPECT_EQ(out.u8_or0(0), byte / 512);
      EXPECT_EQ(out.u8_or0(r.length - 1), (byte + r.length - 1) / 512);
    } else {
      EXPECT_TRUE(out.empty());
    }
    if (r.status == kCarvePending) {
      EXPECT_EQ(s.need_first_lba, r.need_first);
      EXPECT_EQ(s.need_last_lba, r.need_last);
    }
  }
}

TEST(CarveReadTest, ACodeWithoutARuleGivesStatusZeroAndSizeZero) {
  Fixture f;
  CarveState s{};
  s.code = 40;  // PDF: no size rule
  s.first_lba = 100;
  s.size = 99;
  EXPECT_EQ(determine_size(f.bytes.data(), f.bytes.size(), s, 100), kCarveNoRule);
  EXPECT_EQ(s.status, kCarveNoRule);
  EXPECT_EQ(s.size, 0u);
}

}  // namespace
}  // namespace trovium
