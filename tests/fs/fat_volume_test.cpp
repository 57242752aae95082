// FAT reader behaviour on small volumes built byte by byte: names, chains,
// loops, damaged geometry and the first-cluster repair.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/test_support.h"
#include "fs/record_names.h"
#include "content/file_type_table.h"
#include "fs/fat_boot.h"
#include "fs/fat_dir.h"
#include "fs/fat_repair.h"
#include "fs/fat_table.h"
#include "fs/fat_volume.h"

namespace trovium {
namespace {

// One 32-byte short entry.
std::vector<uint8_t> Entry(const char name11[12], uint8_t attr, uint32_t cluster, uint32_t size, uint8_t case_flags = 0) {
  std::vector<uint8_t> e(32, 0);
  std::memcpy(e.data(), name11, 11);
  e[11] = attr;
  e[12] = case_flags;
  e[20] = static_cast<uint8_t>(cluster >> 16);
  e[21] = static_cast<uint8_t>(cluster >> 24);
  e[26] = static_cast<uint8_t>(cluster);
  e[27] = static_cast<uint8_t>(cluster >> 8);
  for (int i = 0; i < 4; ++i) e[28 + i] = static_cast<uint8_t>(size >> (8 * i));
  e[24] = 0x21;  // 1980-01-01
  return e;
}

// A FAT16 volume of 64 sectors: 1 reserved, one FAT of 1 sector, a root of 16
// entries (1 sector), data from sector 3, one sector per cluster.
struct TinyFat16 {
  std::vector<uint8_t> image = std::vector<uint8_t>(64 * 512, 0);
  TinyFat16() {
    uint8_t* b = image.data();
    b[0] = 0xEB; b[11] = 0x00; b[12] = 0x02; b[13] = 1; b[14] = 1; b[16] = 1; b[17] = 16;
    b[22] = 1; b[32] = 64;
    b[510] = 0x55; b[511] = 0xAA;
    SetFat(0, 0xFFF8);
    SetFat(1, 0xFFFF);
  }
  static constexpr uint64_t kRootLba = 2;
  static uint64_t ClusterLba(uint32_t c) { return 3 + (c - 2); }
  void SetFat(uint32_t c, uint16_t value) {
    image[512 + 2 * c] = static_cast<uint8_t>(value);
    image[512 + 2 * c + 1] = static_cast<uint8_t>(value >> 8);
  }
  void Put(uint64_t lba, int slot, const std::vector<uint8_t>& e) {
    std::memcpy(image.data() + lba * 512 + slot * 32, e.data(), 32);
  }
  void DotEntries(uint32_t c, uint32_t parent) {
    Put(ClusterLba(c), 0, Entry(".          ", 0x10, c, 0));
    Put(ClusterLba(c), 1, Entry("..         ", 0x10, parent, 0));
  }
  VolumeRecord Volume(const test::TempDir& dir) const {
    const std::string path = dir.File("fat16.img");
    EXPECT_TRUE(test::WriteFile(path, image));
    VolumeRecord v;
    v.device_path = path;
    v.fs_kind = kFsFat16;
    v.sector_count = 64;
    std::memcpy(v.boot_sector.data(), image.data(), 512);
    return v;
  }
};

TEST(FatShortNameTest, CaseFlagsAndDeletedMark) {
  struct Row {
    const char* name11;
    uint8_t first;
    uint8_t flags;
    const char* expected;
  } rows[] = {
      {"DEBIAN  MP3", 'D', 0x18, "debian.mp3"},
      {"DEBIAN  MP3", 'D', 0x08, "debian.MP3"},
      {"DEBIAN  MP3", 'D', 0x10, "DEBIAN.mp3"},
      {"README  TXT", 'R', 0x00, "README.TXT"},
      {"DATA    CSV", 0xE5, 0x18, "!ata.csv"},
      {"REPORT  DOC", 0xE5, 0x00, "!EPORT.DOC"},
      {"MAKEFILE   ", 'M', 0x08, "makefile"},
  };
  for (const Row& row : rows) {
    std::vector<uint8_t> e = Entry(row.name11, 0x20, 0, 0, row.flags);
    e[0] = row.first;
    EXPECT_EQ(FatShortName(ByteView(e.data(), e.size())), row.expected) << row.expected;
  }
}

TEST(FatDirTest, LongNamesChecksumsAndSkippedEntries) {
  // "Long file name.txt" as two existing long-name parts before its short entry.
  std::vector<uint8_t> dir;
  const std::vector<uint8_t> shortent = Entry("LONGFI~1TXT", 0x20, 5, 100);
  const uint8_t sum = FatShortNameChecksum(ByteView(shortent.data(), 11));
  const std::u16string name = u"Long file name.txt";
  auto part = [&](int seq, bool last, uint8_t checksum) {
    std::vector<uint8_t> e(32, 0xFF);
    e[0] = static_cast<uint8_t>(seq | (last ? 0x40 : 0));
    e[11] = 0x0F; e[12] = 0; e[13] = checksum; e[26] = 0; e[27] = 0;
    const int offs[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    for (int i = 0; i < 13; ++i) {
      size_t at = (seq - 1) * 13 + i;
      uint16_t u = at < name.size() ? name[at] : (at == name.size() ? 0 : 0xFFFF);
      e[offs[i]] = static_cast<uint8_t>(u);
      e[offs[i] + 1] = static_cast<uint8_t>(u >> 8);
    }
    return e;
  };
  auto append = [&](const std::vector<uint8_t>& e) { dir.insert(dir.end(), e.begin(), e.end()); };
  append(part(2, true, sum)); append(part(1, false, sum)); append(shortent);
  // Same long name with a wrong checksum: the short name is used.
  append(part(2, true, sum ^ 1)); append(part(1, false, sum ^ 1)); append(Entry("SHORTN~1TXT", 0x20, 6, 1));
  // Deleted: long-name parts and short entry all start with 0xE5.
  auto deleted_part = part(2, true, sum); deleted_part[0] = 0xE5; append(deleted_part);
  deleted_part = part(1, false, sum); deleted_part[0] = 0xE5; append(deleted_part);
  auto deleted_short = Entry("LONGFI~1TXT", 0x20, 7, 100); deleted_short[0] = 0xE5; append(deleted_short);
  // A deleted long name followed by a reused entry: the entries after it still count.
  append(deleted_part); append(Entry("AFTER   TXT", 0x20, 8, 1));
  // Attribute 0: a file whose archive bit was cleared, listed; the same with
  // bytes no formatter writes into a name is left-over data, skipped.
  append(Entry("ATTRZERO   ", 0x00, 9, 1));
  append(Entry("A\x01" " B*C     ", 0x00, 9, 1));
  append(Entry("LABEL      ", 0x08, 0, 0));
  append(Entry("$RECYCLEBIN", 0x16, 10, 0));
  append(Entry("END     TXT", 0x20, 0, 0));
  dir.insert(dir.end(), 32, 0);
  append(Entry("BEYOND  TXT", 0x20, 11, 1));

  std::vector<FileRecord> got;
  ParseFatDirectory(ByteView(dir.data(), dir.size()), false, 5, [&](FileRecord& r) { got.push_back(r); });
  std::vector<std::string> names;
  for (const auto& r : got) names.push_back(r.name);
  EXPECT_EQ(names, (std::vector<std::string>{"Long file name.txt", "SHORTN~1.TXT", "Long file name.txt", "AFTER.TXT",
                                             "ATTRZERO", "回收站", "END.TXT"}));
  ASSERT_EQ(got.size(), 7u);
  EXPECT_EQ(got[2].state(), kStateDeletedFile);
  EXPECT_EQ(got[4].state(), kStateFile);
  EXPECT_EQ(got[5].state(), kStateDeletedDir);
}

TEST(FatGeometryTest, SizesAreCheckedAndKeptIn64Bits) {
  VolumeRecord v;
  uint8_t* b = v.boot_sector.data();
  b[13] = 64; b[14] = 32; b[16] = 2;
  // FAT32 of 0xF0000000 sectors (about 3.75 TiB) starting beyond 2^32.
  const uint32_t fat_sectors = 0x00078000;
  std::memcpy(b + 36, &fat_sectors, 4);
  const uint32_t total = 0xF0000000;
  std::memcpy(b + 32, &total, 4);
  v.start_lba = 0x100000800ull;
  FatGeometry geo;
  ASSERT_TRUE(ParseFatGeometry(v, geo));
  EXPECT_TRUE(geo.fat32);
  EXPECT_EQ(geo.data_lba, 0x100000800ull + 32 + 2ull * fat_sectors);
  EXPECT_EQ(geo.cluster_count, (total - 32 - 2ull * fat_sectors) / 64);
  EXPECT_EQ(FatClusterLba(geo, geo.cluster_count + 1), geo.data_lba + (geo.cluster_count - 1) * 64);
  EXPECT_LE(FatCopySectors(geo), kMaxFatCopySectors);

  // The overhead beyond the total: no volume, not a wrapped cluster count.
  const uint32_t small_total = 1000;
  std::memcpy(b + 32, &small_total, 4);
  EXPECT_FALSE(ParseFatGeometry(v, geo));
  // No FAT, or no cluster size.
  std::memcpy(b + 32, &total, 4);
  std::memset(b + 36, 0, 4);
  EXPECT_FALSE(ParseFatGeometry(v, geo));
  std::memcpy(b + 36, &fat_sectors, 4);
  b[13] = 0;
  EXPECT_FALSE(ParseFatGeometry(v, geo));
}

TEST(FatVolumeTest, EmptyFilesHaveNoDataLbaAndExtentsStayInsideTheVolume) {
  TinyFat16 fat;
  FatGeometry probe;
  VolumeRecord boot_only;
  std::memcpy(boot_only.boot_sector.data(), fat.image.data(), 512);
  ASSERT_TRUE(ParseFatGeometry(boot_only, probe));
  const uint32_t last = static_cast<uint32_t>(probe.cluster_count + 1);
  fat.Put(TinyFat16::kRootLba, 0, Entry("EMPTY   TXT", 0x20, 0, 0));
  fat.Put(TinyFat16::kRootLba, 1, Entry("LAST    BIN", 0x20, last, 1024));
  fat.Put(TinyFat16::kRootLba, 2, Entry("BEYOND  BIN", 0x20, last + 1, 512));
  fat.SetFat(last, 0xFFFF);
  test::TempDir dir;
  VolumeRecord v = fat.Volume(dir);
  ASSERT_TRUE(ReadFatVolume(v, nullptr));
  ASSERT_EQ(Names(v), (std::vector<std::string>{"EMPTY.TXT", "LAST.BIN", "BEYOND.BIN"}));
  EXPECT_EQ(GetRecord(v, 6)->data_lba, 0u);
  std::vector<DataExtent> extents;
  // The chain ends at the last cluster; the file goes on past the volume's end: only what exists.
  ASSERT_TRUE(BuildFatExtents(v, *GetRecord(v, 7), extents));
  EXPECT_EQ(extents, (std::vector<DataExtent>{{TinyFat16::ClusterLba(last), 1}}));
  EXPECT_FALSE(BuildFatExtents(v, *GetRecord(v, 8), extents));
}

TEST(FatVolumeTest, LoopsInDirectoriesAndChainsEnd) {
  TinyFat16 fat;
  // A: cluster 3, chained 3 -> 4 -> 3; it holds itself and its parent's root as subdirectories.
  fat.Put(TinyFat16::kRootLba, 0, Entry("A          ", 0x10, 3, 0));
  fat.DotEntries(3, 0);
  fat.Put(TinyFat16::ClusterLba(3), 2, Entry("SELF       ", 0x10, 3, 0));
  fat.Put(TinyFat16::ClusterLba(3), 3, Entry("FILE    TXT", 0x20, 5, 4096));
  for (int slot = 4; slot < 16; ++slot) {
    std::vector<uint8_t> unused = Entry("UNUSED     ", 0x08, 0, 0);
    unused[0] = 0xE5;
    fat.Put(TinyFat16::ClusterLba(3), slot, unused);
  }
  fat.SetFat(3, 4);
  fat.SetFat(4, 3);
  fat.Put(TinyFat16::ClusterLba(4), 0, Entry("SECOND  TXT", 0x20, 6, 1));
  // FILE: 5 -> 6 -> 5, longer than the loop.
  fat.SetFat(5, 6);
  fat.SetFat(6, 5);
  // A subdirectory that does not begin with "." and "..": listed, nothing inside.
  fat.Put(TinyFat16::kRootLba, 1, Entry("NODOTS     ", 0x10, 8, 0));
  fat.Put(TinyFat16::ClusterLba(8), 0, Entry("HIDDEN  TXT", 0x20, 9, 1));
  test::TempDir dir;
  VolumeRecord v = fat.Volume(dir);
  ASSERT_TRUE(ReadFatVolume(v, nullptr));
  EXPECT_EQ(Names(v), (std::vector<std::string>{"A", "NODOTS", "SELF", "FILE.TXT", "SECOND.TXT"}));
  std::vector<DataExtent> extents;
  ASSERT_TRUE(BuildFatExtents(v, *GetRecord(v, 9), extents));
  EXPECT_EQ(extents, (std::vector<DataExtent>{{TinyFat16::ClusterLba(5), 2}}));
}

TEST(FatVolumeTest, DamagedSizesEndTheParseWithoutAllocating) {
  TinyFat16 fat;
  test::TempDir dir;
  struct Patch {
    size_t at;
    std::vector<uint8_t> bytes;
  } patches[] = {
      {22, {0xFF, 0xFF}},  // FAT larger than the volume
      {22, {0x00, 0x00}},  // no FAT at all
      {13, {0x00}},        // no cluster size
      {14, {0xFF, 0xFF}},  // reserved area beyond the end
  };
  for (const Patch& p : patches) {
    VolumeRecord v = fat.Volume(dir);
    std::memcpy(v.boot_sector.data() + p.at, p.bytes.data(), p.bytes.size());
    EXPECT_FALSE(ReadFatVolume(v, nullptr)) << p.at;
    EXPECT_TRUE(v.extra_a.empty());
  }
}

TEST(FatVolumeTest, StopRequestEndsTheReadWithoutTree) {
  TinyFat16 fat;
  test::TempDir dir;
  VolumeRecord v = fat.Volume(dir);
  std::atomic<int> state{2};
  EXPECT_FALSE(ReadFatVolume(v, &state));
}

// FAT32 geometry of 0x30000 clusters, one sector each, the FAT copy all free.
VolumeRecord RepairVolume(FatGeometry& geo) {
  VolumeRecord v;
  v.fs_kind = kFsFat32;
  uint8_t* b = v.boot_sector.data();
  b[13] = 1; b[14] = 32; b[16] = 1; b[44] = 2;
  const uint32_t fat_sectors = (0x30002 * 4 + 511) / 512;
  std::memcpy(b + 36, &fat_sectors, 4);
  const uint32_t total = 32 + fat_sectors + 0x30000;
  std::memcpy(b + 32, &total, 4);
  EXPECT_TRUE(ParseFatGeometry(v, geo));
  v.extra_a.assign(fat_sectors * 512, 0);
  AddBaseRecords(v);
  return v;
}

uint32_t AddFile(VolumeRecord& v, const char* name, uint16_t state, uint32_t cluster, PackedTime ctime) {
  FileRecord r;
  r.name = name;
  r.parent = kRootIndex;
  r.size = 1000;
  r.run_info = cluster;
  r.ctime = ctime;
  r.set_state(state);
  if (state >= kStateDeletedDir) r.type_code = 231;
  return InsertRecord(v, r, false);
}

TEST(FatRepairTest, ScanHitsAndNeighboursGiveBackTheHighHalf) {
  FatGeometry geo;
  VolumeRecord v = RepairVolume(geo);
  const uint8_t jpeg = type_from_file_name("a.jpg");
  ASSERT_GE(jpeg, 36);
  const uint32_t photo = AddFile(v, "photo.jpg", kStateDeletedFile, 0x2345, 100);
  const uint32_t kept = AddFile(v, "kept.jpg", kStateFile, 0x2345, 500);
  const uint32_t taken = AddFile(v, "taken.jpg", kStateDeletedFile, 0x3456, 100);
  // A neighbour existing at 0x2xxxx suggests the high half 2 for a file of unknown type.
  const uint32_t other = AddFile(v, "notes.zzq", kStateDeletedFile, 0x0777, 100);
  AddFile(v, "neighbour.txt", kStateFile, 0x20001, 100);
  uint32_t used = 0x13456;  // taken.jpg's only hit lies on a cluster in use
  std::memcpy(v.extra_a.data() + used * 4, &used, 4);

  std::vector<ScanHit> hits = {{jpeg, 0, FatClusterLba(geo, 0x12345), 0},
                               {jpeg, 0, FatClusterLba(geo, 0x13456), 0},
                               {jpeg, 0, FatClusterLba(geo, 0x12345) + 1, 0}};  // not on a cluster start
  const FatClusterMap map = BuildFatClusterMap(geo, hits);
  EXPECT_EQ(map.KindAt(0x12345), jpeg);
  RepairFatFirstClusters(v, geo, map, kRootIndex, false);
  EXPECT_EQ(GetRecord(v, photo)->run_info, 0x12345u);
  EXPECT_EQ(GetRecord(v, photo)->data_lba, FatClusterLba(geo, 0x12345));
  EXPECT_EQ(GetRecord(v, kept)->run_info, 0x2345u);  // existing entries keep their cluster
  EXPECT_EQ(GetRecord(v, taken)->run_info, 0x23456u);  // no free hit: the neighbour's high half
  EXPECT_EQ(GetRecord(v, other)->run_info, 0x20777u);
}

}  // namespace
}  // namespace trovium
