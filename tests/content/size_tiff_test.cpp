// TIFF directories from a hostile device: pointers that loop back, nesting
// without end, and counts whose byte length does not fit 32 bits.

#include <gtest/gtest.h>

#include <vector>

#include "content/size_rule_test_util.h"

namespace trovium {
namespace {

using test::Poke16;
using test::Poke32;

constexpr size_t kTiffBuffer = (56u << 20) + 4096;

struct TiffEntry {
  uint16_t tag, type;
  uint32_t count, value;
};

void PutDirectory(std::vector<uint8_t>& f, size_t at, const std::vector<TiffEntry>& entries, uint32_t next,
                  bool big) {
  Poke16(f, at, static_cast<uint32_t>(entries.size()), big);
  size_t e = at + 2;
  for (const TiffEntry& x : entries) {
    Poke16(f, e, x.tag, big);
    Poke16(f, e + 2, x.type, big);
    Poke32(f, e + 4, x.count, big);
    Poke32(f, e + 8, x.value, big);
    e += 12;
  }
  Poke32(f, e, next, big);
}

std::vector<uint8_t> TiffHeader(bool big, size_t length) {
  std::vector<uint8_t> f(length, 0);
  if (big) {
    f[0] = 'M', f[1] = 'M', f[2] = 0, f[3] = '*';
  } else {
    f[0] = 'I', f[1] = 'I', f[2] = '*', f[3] = 0;
  }
  Poke32(f, 4, 8, big);
  return f;
}

TEST(SizeTiff, SubDirectoriesPointingBackAreWalkedOnce) {
  // Big-endian. IFD0's SubIFDs name IFD0 itself and a second directory whose
  // SubIFD and Exif pointers lead back to IFD0 and to itself.
  std::vector<uint8_t> f = TiffHeader(true, 0x300000);
  PutDirectory(f, 8,
               {{271, 2, 6, 0x200}, {273, 4, 1, 0x1000}, {279, 4, 1, 0x2FF000}, {330, 4, 2, 0x180},
                {34665, 4, 1, 8}},
               0, true);
  Poke32(f, 0x180, 8, true);
  Poke32(f, 0x184, 0x100, true);
  PutDirectory(f, 0x100, {{330, 4, 1, 8}, {34665, 4, 1, 0x100}}, 0, true);
  std::memcpy(f.data() + 0x200, "NIKON", 6);

  const CarveState st = test::RunRule(49, test::InBuffer(f, kTiffBuffer));
  EXPECT_EQ(st.status, kCarveSized);
  EXPECT_EQ(st.size, 0x300000u);
  EXPECT_EQ(st.code, 92u);
  EXPECT_EQ(st.big_endian, 1);
}

TEST(SizeTiff, CountTimesTypeSizeIsNotTakenModulo4GiB) {
  // 0x40000001 LONGs are 4 GiB + 4 bytes, not 4 bytes held inline: the entry
  // lies beyond the bytes read and ends the directory, so the strip it would
  // have described never counts.
  std::vector<uint8_t> f = TiffHeader(false, 0x1000);
  PutDirectory(f, 8, {{273, 4, 1, 0x100}, {279, 4, 0x40000001, 0x300000}}, 0, false);
  const CarveState st = test::RunRule(49, test::InBuffer(f, kTiffBuffer));
  EXPECT_EQ(st.status, kCarveInvalid);
}

TEST(SizeTiff, NestingDeeperThanAnyCameraFileIsNotFollowed) {
  // 50 directories, each the SubIFD of the one before; only the deepest names
  // a 40 MiB strip.
  std::vector<uint8_t> f = TiffHeader(false, 0x300000);
  PutDirectory(f, 8, {{273, 4, 1, 0x1000}, {279, 4, 1, 0x2FF000}, {330, 4, 1, 0x40}}, 0, false);
  for (uint32_t k = 0; k < 50; ++k) {
    const uint32_t at = 0x40 + 0x40 * k;
    const bool last = k == 49;
    PutDirectory(f, at, {{273, 4, 1, 0x1000}, {279, 4, 1, last ? (40u << 20) : 0x10u}, {330, 4, 1, at + 0x40}}, 0,
                 false);
  }
  const CarveState st = test::RunRule(49, test::InBuffer(f, kTiffBuffer));
  EXPECT_EQ(st.status, kCarveSized);
  EXPECT_EQ(st.size, 0x300000u);
  EXPECT_EQ(st.code, 50u);  // no Make
}

}  // namespace
}  // namespace trovium
