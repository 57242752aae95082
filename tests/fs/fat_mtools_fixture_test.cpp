// FAT volumes made at test time with mkfs.fat and mtools (no root needed),
// read back; and damaged copies of the fixture volumes, which must be read
// to an end without a crash.

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "common/test_support.h"
#include "fs/exfat_volume.h"
#include "fs/fat_volume.h"
#include "scan/sector_source.h"

namespace trovium {
namespace {

bool Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

bool HaveTools() { return Shell("command -v mkfs.fat") && Shell("command -v mcopy") && Shell("command -v mdel"); }

VolumeRecord ImageVolume(const std::string& path, int32_t kind) {
  VolumeRecord v;
  v.device_path = path;
  v.fs_kind = kind;
  v.sector_count = kUnknownSectorCount;
  CSectorSource source;
  EXPECT_TRUE(OpenImage(path, source));
  EXPECT_TRUE(ReadSectors(1, source, v.boot_sector.data(), 0));
  CloseSource(source);
  return v;
}

std::set<std::string> Listing(const VolumeRecord& v) {
  std::set<std::string> out;
  for (uint32_t i = kRootIndex + 1; i < v.file_count; ++i) {
    const FileRecord* r = GetRecord(v, i);
    if (!r) continue;
    std::string path;
    for (uint32_t at : PathToRoot(v, i)) {
      if (at == kRootIndex) break;
      path = GetRecord(v, at)->name + (path.empty() ? "" : "/") + path;
    }
    out.insert(path + (r->is_deleted() ? " (deleted)" : "") + " " + std::to_string(r->is_dir() ? 0 : r->size));
  }
  return out;
}

class FatMtoolsTest : public ::testing::TestWithParam<int> {};

TEST_P(FatMtoolsTest, ListsWhatMtoolsWroteAndDeleted) {
  if (!HaveTools()) GTEST_SKIP() << "mkfs.fat and mtools are not installed";
  test::TempDir dir;
  const std::string img = dir.File("v.img");
  const std::string fat_bits = std::to_string(GetParam());
  ASSERT_TRUE(Shell("mkfs.fat -F " + fat_bits + " -n TOOLSVOL -C " + img + " 40960"));
  ASSERT_TRUE(test::WriteFile(dir.File("debian.mp3"), std::vector<uint8_t>(3000, 'm')));
  ASSERT_TRUE(test::WriteFile(dir.File("REPORT.DOC"), std::vector<uint8_t>(700, 'r')));
  ASSERT_TRUE(test::WriteFile(dir.File("A long name.txt"), std::vector<uint8_t>(5000, 'l')));
  ASSERT_TRUE(test::WriteFile(dir.File("gone.txt"), std::vector<uint8_t>(100, 'g')));
  const std::string m = "MTOOLS_SKIP_CHECK=1 MTOOLS_LOWER_CASE=0 ";
  ASSERT_TRUE(Shell(m + "mmd -i " + img + " ::Sub ::Sub/Deep"));
  ASSERT_TRUE(Shell(m + "mcopy -i " + img + " " + dir.File("debian.mp3") + " " + dir.File("REPORT.DOC") + " ::/"));
  ASSERT_TRUE(Shell(m + "mcopy -i " + img + " '" + dir.File("A long name.txt") + "' " + dir.File("gone.txt") +
                  " ::Sub/Deep/"));
  ASSERT_TRUE(Shell(m + "mcopy -i " + img + " " + dir.File("REPORT.DOC") + " ::Sub/OLD.DOC"));
  ASSERT_TRUE(Shell(m + "mdel -i " + img + " ::Sub/OLD.DOC ::Sub/Deep/gone.txt"));
  // Backup tools clear the archive bit, which leaves the attribute byte 0:
  // such files are ordinary files and must be listed.
  ASSERT_TRUE(Shell(m + "mattrib -i " + img + " -a ::/REPORT.DOC"));

  VolumeRecord v = ImageVolume(img, GetParam() == 32 ? kFsFat32 : kFsFat16);
  ASSERT_TRUE(ReadFatVolume(v, nullptr));
  EXPECT_EQ(Listing(v), (std::set<std::string>{"debian.mp3 3000", "REPORT.DOC 700", "Sub 0", "Sub/Deep 0",
                                               "Sub/Deep/A long name.txt 5000", "Sub/Deep/!one.txt (deleted) 100",
                                               "Sub/!LD.DOC (deleted) 700"}));
  // The label mkfs.fat wrote.
  CSectorSource source;
  ASSERT_TRUE(OpenImage(img, source));
  EXPECT_TRUE(ReadFatVolumeLabel(v, source));
  EXPECT_EQ(v.label, "TOOLSVOL");
}

INSTANTIATE_TEST_SUITE_P(FatKinds, FatMtoolsTest, ::testing::Values(16, 32));

// Damaged copies of the fixtures: seeded byte noise over the metadata areas.
// Only the first 8 MiB are kept: reads past them fail, which is damage too.
struct Damage {
  const char* image;
  int32_t kind;
  uint64_t bytes;  // how far from the start the noise reaches
};

class DamagedVolumeTest : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedVolumeTest, IsReadToAnEndWhateverTheNoise) {
  const Damage d = GetParam();
  std::vector<uint8_t> original(8u << 20);
  CSectorSource fixture;
  ASSERT_TRUE(OpenImage(test::TestDataPath(std::string("fixtures/") + d.image), fixture));
  ASSERT_TRUE(ReadSectors(static_cast<uint32_t>(original.size() / kSectorBytes), fixture, original.data(), 0));
  CloseSource(fixture);
  ASSERT_GT(original.size(), d.bytes);
  test::TempDir dir;
  const std::string path = dir.File("damaged.img");
  for (uint32_t seed = 1; seed <= 8; ++seed) {
    std::vector<uint8_t> image = original;
    std::mt19937 random(seed);
    std::uniform_int_distribution<uint64_t> where(seed % 3 == 0 ? 0 : 512, d.bytes - 1);
    for (int k = 0; k < 400; ++k) image[where(random)] = static_cast<uint8_t>(random());
    ASSERT_TRUE(test::WriteFile(path, image));
    VolumeRecord v = ImageVolume(path, d.kind);
    if (d.kind == kFsExfat) {
      ReadExfatVolume(v, nullptr);
      std::vector<DataExtent> extents;
      for (uint32_t i = kRootIndex + 1; i < v.file_count; ++i)
        if (const FileRecord* r = GetRecord(v, i)) BuildExfatExtents(v, *r, extents);
    } else {
      ReadFatVolume(v, nullptr);
      std::vector<DataExtent> extents;
      for (uint32_t i = kRootIndex + 1; i < v.file_count; ++i)
        if (const FileRecord* r = GetRecord(v, i)) BuildFatExtents(v, *r, extents);
    }
    EXPECT_LE(v.file_count, kMaxRecords);
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, DamagedVolumeTest,
                         ::testing::Values(Damage{"fat16.img", kFsFat16, 2u << 20}, Damage{"fat32.img", kFsFat32, 4u << 20},
                                           Damage{"exfat.img", kFsExfat, 4u << 20}));

}  // namespace
}  // namespace trovium
