// exFAT reader behaviour on small volumes built byte by byte: entry sets,
// loops between directories, chains, damaged lengths and 64-bit geometry.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/test_support.h"
#include "fs/record_names.h"
#include "fs/exfat_dir.h"
#include "fs/exfat_volume.h"

namespace trovium {
namespace {

void Put32(uint8_t* at, uint32_t v) { std::memcpy(at, &v, 4); }
void Put64(uint8_t* at, uint64_t v) { std::memcpy(at, &v, 8); }

// A volume of 64 sectors: FAT at 24 (one sector), heap at 32, 32 clusters of
// one sector; root at clusters 2 and 20, allocation bitmap at cluster 3.
struct TinyExfat {
  std::vector<uint8_t> image = std::vector<uint8_t>(64 * 512, 0);
  int root_slot = 0;
  TinyExfat() {
    uint8_t* b = image.data();
    b[0] = 0xEB; b[1] = 0x76; b[2] = 0x90;
    std::memcpy(b + 3, "EXFAT   ", 8);
    Put64(b + 72, 64);
    Put32(b + 80, 24);
    Put32(b + 84, 1);
    Put32(b + 88, 32);
    Put32(b + 92, 32);
    Put32(b + 96, 2);
    b[108] = 9; b[109] = 0; b[110] = 1;
    SetFat(2, 20);
    SetFat(20, 0xFFFFFFFF);
    SetFat(3, 0xFFFFFFFF);
    Allocate(2);
    Allocate(20);
    Allocate(3);
    uint8_t* e = Slot(2, root_slot++);
    e[0] = 0x81;
    Put32(e + 20, 3);
    Put64(e + 24, 4);
  }
  static uint64_t Lba(uint32_t c) { return 32 + (c - 2); }
  uint8_t* Slot(uint32_t cluster, int slot) {
    if (cluster == 2 && slot >= 16) return Slot(20, slot - 16);
    return image.data() + Lba(cluster) * 512 + slot * 32;
  }
  void SetFat(uint32_t c, uint32_t next) { Put32(image.data() + 24 * 512 + 4 * c, next); }
  void Allocate(uint32_t c) { image[Lba(3) * 512 + (c - 2) / 8] |= static_cast<uint8_t>(1u << ((c - 2) % 8)); }
  // Writes a file entry set; returns the next free slot. extra_secondaries
  // adds vendor entries the count includes; missing_names drops name entries.
  int Set(uint32_t cluster, int slot, const std::u16string& name, bool dir, uint32_t first, uint64_t length,
          bool no_fat_chain, bool deleted = false, int extra_secondaries = 0, int missing_names = 0) {
    const int names = static_cast<int>((name.size() + 14) / 15);
    uint8_t* f = Slot(cluster, slot++);
    f[0] = deleted ? 0x05 : 0x85;
    f[1] = static_cast<uint8_t>(1 + names + extra_secondaries);
    f[4] = dir ? 0x10 : 0x20;
    Put32(f + 12, 0x58210000);  // 2024-01-01
    uint8_t* s = Slot(cluster, slot++);
    s[0] = deleted ? 0x40 : 0xC0;
    s[1] = static_cast<uint8_t>(0x01 | (no_fat_chain ? 0x02 : 0));
    s[3] = static_cast<uint8_t>(name.size());
    Put64(s + 8, length);
    Put32(s + 20, first);
    Put64(s + 24, length);
    for (int n = 0; n < names - missing_names; ++n) {
      uint8_t* e = Slot(cluster, slot++);
      e[0] = deleted ? 0x41 : 0xC1;
      for (size_t k = 0; k < 15 && n * 15 + k < name.size(); ++k) {
        const char16_t u = name[n * 15 + k];
        e[2 + 2 * k] = static_cast<uint8_t>(u);
        e[3 + 2 * k] = static_cast<uint8_t>(u >> 8);
      }
    }
    for (int x = 0; x < extra_secondaries; ++x) Slot(cluster, slot++)[0] = deleted ? 0x60 : 0xE0;
    return slot;
  }
  void RootSet(const std::u16string& name, bool dir, uint32_t first, uint64_t length, bool no_fat_chain,
               bool deleted = false, int extra = 0, int missing = 0) {
    root_slot = Set(2, root_slot, name, dir, first, length, no_fat_chain, deleted, extra, missing);
  }
  VolumeRecord Volume(const test::TempDir& dir) const {
    const std::string path = dir.File("exfat.img");
    EXPECT_TRUE(test::WriteFile(path, image));
    VolumeRecord v;
    v.device_path = path;
    v.fs_kind = kFsExfat;
    v.sector_count = 64;
    std::memcpy(v.boot_sector.data(), image.data(), 512);
    return v;
  }
};

TEST(ExfatVolumeTest, EntrySetsExistingDeletedAndIncomplete) {
  TinyExfat fs;
  fs.Allocate(10);
  fs.SetFat(10, 0xFFFFFFFF);
  fs.RootSet(u"A file with a name over fifteen.txt", false, 10, 300, true);
  fs.RootSet(u"gone.txt", false, 11, 700, false, true);
  fs.RootSet(u"vendor.bin", false, 12, 5, false, false, 1);
  fs.RootSet(u"missing name parts here.doc", false, 13, 5, false, false, 0, 1);
  fs.RootSet(u"empty.dat", false, 0, 0, false);
  test::TempDir dir;
  VolumeRecord v = fs.Volume(dir);
  ASSERT_TRUE(ReadExfatVolume(v, nullptr));
  EXPECT_EQ(Names(v), (std::vector<std::string>{"A file with a name over fifteen.txt", "gone.txt (deleted)",
                                                "vendor.bin", "empty.dat"}));
  EXPECT_EQ(GetRecord(v, 7)->size, 700u);
  EXPECT_EQ(GetRecord(v, 9)->data_lba, 0u);  // empty: no LBA inside the FAT area
  EXPECT_EQ(v.extra_b.size(), 512u);
  // A deleted file's clusters are free: taken as contiguous.
  std::vector<DataExtent> extents;
  ASSERT_TRUE(BuildExfatExtents(v, *GetRecord(v, 7), extents));
  EXPECT_EQ(extents, (std::vector<DataExtent>{{TinyExfat::Lba(11), 2}}));
}

TEST(ExfatVolumeTest, DirectoriesThatPointBackAreReadOnce) {
  TinyExfat fs;
  // "loop" points at the root itself; "sub" holds itself and, deleted, the root.
  fs.RootSet(u"loop", true, 2, 512, false);
  fs.RootSet(u"sub", true, 4, 512, true);
  fs.Allocate(4);
  int slot = fs.Set(4, 0, u"back", true, 4, 512, true);
  fs.Set(4, slot, u"old", true, 2, 1ull << 40, true, true);
  test::TempDir dir;
  VolumeRecord v = fs.Volume(dir);
  ASSERT_TRUE(ReadExfatVolume(v, nullptr));
  EXPECT_EQ(Names(v), (std::vector<std::string>{"loop", "sub", "back", "old (deleted)"}));
}

TEST(ExfatVolumeTest, DirectoryWithoutFatChainIsReadWhole) {
  TinyExfat fs;
  fs.RootSet(u"big", true, 8, 1024, true);
  fs.Allocate(8);
  fs.Allocate(9);
  for (int slot = 0; slot < 16; ++slot) fs.Slot(8, slot)[0] = 0x03;  // passed over
  fs.Set(9, 0, u"second.txt", false, 12, 10, true);
  test::TempDir dir;
  VolumeRecord v = fs.Volume(dir);
  ASSERT_TRUE(ReadExfatVolume(v, nullptr));
  EXPECT_EQ(Names(v), (std::vector<std::string>{"big", "second.txt"}));
}

TEST(ExfatVolumeTest, DamagedBitmapLengthIsRefusedAndTheListingGoesOn) {
  TinyExfat fs;
  Put64(fs.Slot(2, 0) + 24, 1ull << 40);
  fs.RootSet(u"still.txt", false, 10, 5, true);
  test::TempDir dir;
  VolumeRecord v = fs.Volume(dir);
  ASSERT_TRUE(ReadExfatVolume(v, nullptr));
  EXPECT_TRUE(v.extra_b.empty());
  EXPECT_EQ(Names(v), (std::vector<std::string>{"still.txt"}));
}

TEST(ExfatClusterRunsTest, ListsEndOnLoopsAndAtTheHeap) {
  TinyExfat fs;
  fs.SetFat(5, 6);
  fs.SetFat(6, 5);
  fs.Allocate(5);
  fs.Allocate(6);
  test::TempDir dir;
  VolumeRecord v = fs.Volume(dir);
  ASSERT_TRUE(ReadExfatVolume(v, nullptr));
  ExfatGeometry geo;
  ASSERT_TRUE(ParseExfatGeometry(v, geo));
  const uint64_t huge = 1ull << 60;
  auto total = [](const std::vector<ExfatClusterRun>& runs) {
    uint64_t n = 0;
    for (const auto& r : runs) n += r.count;
    return n;
  };
  EXPECT_EQ(total(ExfatClusterRuns(v, geo, 5, huge, ExfatChain::kFile)), 2u);
  EXPECT_EQ(total(ExfatClusterRuns(v, geo, 5, huge, ExfatChain::kDirectory)), 2u);
  // Contiguous data ends with the heap's last cluster (33).
  EXPECT_EQ(total(ExfatClusterRuns(v, geo, 30, huge, ExfatChain::kContiguous)), 4u);
  EXPECT_TRUE(ExfatClusterRuns(v, geo, 34, 512, ExfatChain::kContiguous).empty());
}

TEST(ExfatGeometryTest, SizesAreCheckedAndKeptIn64Bits) {
  VolumeRecord v;
  uint8_t* b = v.boot_sector.data();
  // 4 TiB: 2^30 clusters of 4 KiB; the FAT of 2^23 sectors is 4 GiB, past 32 bits in bytes.
  Put64(b + 72, (1ull << 33) + (1ull << 24));
  Put32(b + 80, 2048);
  Put32(b + 84, 1u << 23);
  Put32(b + 88, 2048 + (1u << 23));
  Put32(b + 92, (1u << 30) - 2);
  Put32(b + 96, 5);
  b[109] = 3;
  v.start_lba = 0x200000000ull;
  ExfatGeometry geo;
  ASSERT_TRUE(ParseExfatGeometry(v, geo));
  EXPECT_EQ(geo.fat_sectors * 512, 1ull << 32);
  const uint64_t last = geo.cluster_count + 1;
  EXPECT_EQ(ExfatClusterLba(geo, last), 0x200000000ull + 2048 + (1u << 23) + (last - 2) * 8);

  FileRecord r;
  r.run_info = static_cast<uint32_t>(last - 1);
  r.size = 3 * 4096;  // runs past the heap: cut at its end
  r.flags = kExfatFlagNoFatChain;
  std::vector<DataExtent> extents;
  ASSERT_TRUE(BuildExfatExtents(v, r, extents));
  EXPECT_EQ(extents, (std::vector<DataExtent>{{ExfatClusterLba(geo, last - 1), 16}}));

  struct Patch {
    size_t at;
    uint32_t value;
  } bad[] = {{84, 0}, {84, 0xFFFFFFF0}, {84, 1u << 10}, {92, 0xFFFFFFF0}, {88, 100}};
  for (const Patch& p : bad) {
    VolumeRecord w = v;
    Put32(w.boot_sector.data() + p.at, p.value);
    EXPECT_FALSE(ParseExfatGeometry(w, geo)) << p.at << " " << p.value;
  }
  VolumeRecord w = v;
  w.boot_sector[109] = 17;
  EXPECT_FALSE(ParseExfatGeometry(w, geo));
}

}  // namespace
}  // namespace trovium
