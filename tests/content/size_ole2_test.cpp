// OLE2 compound files built by hand: the type from the first matching
// directory name, and tables and chains from a hostile device.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "content/size_rule_test_util.h"

namespace trovium {
namespace {

using test::Poke16;
using test::Poke32;

constexpr uint32_t kFree = 0xFFFFFFFF, kEnd = 0xFFFFFFFE, kFatSector = 0xFFFFFFFD;

size_t Sector(uint32_t n) { return (n + 1) * 512; }

void PutName(std::vector<uint8_t>& f, size_t entry, const std::string& name) {
  for (size_t i = 0; i < name.size(); ++i) Poke16(f, entry + 2 * i, static_cast<uint8_t>(name[i]));
  Poke16(f, entry + 64, static_cast<uint32_t>(2 * name.size() + 2));
}

// Header, sector 0 the allocation table, sector 1 the directory, sectors 2..5
// one stream: 3584 bytes.
std::vector<uint8_t> MakeOle2(const std::vector<std::string>& names) {
  std::vector<uint8_t> f(Sector(6), 0);
  const uint8_t magic[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  std::memcpy(f.data(), magic, 8);
  Poke32(f, 44, 1);      // table sectors
  Poke32(f, 48, 1);      // first directory sector
  Poke32(f, 68, kEnd);   // no extension sectors
  Poke32(f, 72, 0);
  Poke32(f, 76, 0);
  for (int k = 1; k < 109; ++k) Poke32(f, 76 + 4 * k, kFree);
  const uint32_t table[6] = {kFatSector, kEnd, 3, 4, 5, kEnd};
  for (uint32_t i = 0; i < 128; ++i) Poke32(f, Sector(0) + 4 * i, i < 6 ? table[i] : kFree);
  PutName(f, Sector(1), "Root Entry");
  for (size_t i = 0; i < names.size() && i < 3; ++i) PutName(f, Sector(1) + 128 * (i + 1), names[i]);
  return f;
}

struct Ole2Case {
  const char* what;
  std::vector<uint8_t> file;
  uint32_t status;
  uint32_t code;
};

std::vector<Ole2Case> Cases() {
  std::vector<Ole2Case> cases;
  cases.push_back({"first matching name decides", MakeOle2({"Workbook", "WordDocument"}), kCarveSized, 87});
  // 19 characters: a name length field of 40 bytes, valid in a directory entry.
  cases.push_back({"presentation without pictures", MakeOle2({"Current User", "PowerPoint Document"}), kCarveSized, 90});
  cases.push_back({"no known stream", MakeOle2({"Contents"}), kCarveInvalid, 36});

  std::vector<uint8_t> f = MakeOle2({"WordDocument"});
  Poke32(f, Sector(0) + 4, 1);  // the directory sector links to itself
  cases.push_back({"directory chain loops", f, kCarveInvalid, 36});

  f = MakeOle2({"WordDocument"});
  Poke32(f, 80, 0);  // table sector 0 listed twice
  Poke32(f, 44, 2);
  cases.push_back({"table sector listed twice", f, kCarveInvalid, 36});

  // An extension sector that links to itself, with a count of 4 billion and
  // only free entries: walking the count would never end.
  f = MakeOle2({"WordDocument"});
  Poke32(f, 68, 2);
  Poke32(f, 72, 0xFFFFFFFF);
  for (int k = 0; k < 127; ++k) Poke32(f, Sector(2) + 4 * k, kFree);
  Poke32(f, Sector(2) + 508, 2);
  cases.push_back({"extension chain loops", f, kCarveInvalid, 36});

  f = MakeOle2({"WordDocument"});
  Poke32(f, Sector(0) + 8, 0x7FFFFFF0);  // a link far outside the table
  cases.push_back({"link outside the table", f, kCarveInvalid, 36});
  return cases;
}

TEST(SizeOle2, TypesAndHostileTables) {
  for (const Ole2Case& c : Cases()) {
    const CarveState st = test::RunRule(36, test::InBuffer(c.file));
    EXPECT_EQ(st.status, c.status) << c.what;
    EXPECT_EQ(st.code, c.code) << c.what;
    if (c.status == kCarveSized) {
      EXPECT_EQ(st.size, 3584u) << c.what;
    }
  }
}

TEST(SizeOle2, DirectoryPastTheChunkIsReadFromTheWindow) {
  // The chunk holds the header and the table but not the directory: the file
  // is finished once the window holds it, not rejected.
  const std::vector<uint8_t> buffer = test::InBuffer(MakeOle2({"WordDocument"}), 9u << 20);
  CarveState st{};
  st.code = 36;
  st.first_lba = test::kTestLba;
  EXPECT_EQ(determine_size(buffer.data(), Sector(1), st, test::kTestLba), kCarvePending);
  EXPECT_EQ(determine_size(buffer.data(), buffer.size(), st, test::kTestLba), kCarveSized);
  EXPECT_EQ(st.size, 3584u);
  EXPECT_EQ(st.code, 36u);
}

}  // namespace
}  // namespace trovium
