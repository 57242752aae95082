// Partition tables, boot sectors and MFT runs crafted sector by sector in a
// sparse image: partition types that lie, starts beyond 2 TiB and chains of
// extended records that loop.

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/test_support.h"
#include "fs/partitions.h"
#include "fs/partitions_record_summary.h"
#include "fs/quick_listing.h"

namespace trovium {
namespace {

using Sector = std::array<uint8_t, 512>;

void Put16(Sector& s, size_t at, uint16_t v) { std::memcpy(&s[at], &v, 2); }
void Put32(Sector& s, size_t at, uint32_t v) { std::memcpy(&s[at], &v, 4); }
void Put64(Sector& s, size_t at, uint64_t v) { std::memcpy(&s[at], &v, 8); }

Sector Signed() {
  Sector s{};
  s[510] = 0x55;
  s[511] = 0xAA;
  return s;
}

Sector Fat32Boot() {
  Sector s = Signed();
  s[0] = 0xEB; s[1] = 0x58; s[2] = 0x90;
  Put16(s, 11, 512);
  s[13] = 8;
  Put16(s, 14, 32);
  s[16] = 2;
  s[21] = 0xF8;
  Put16(s, 24, 63);
  Put16(s, 26, 255);
  Put32(s, 32, 0x40000);
  Put32(s, 36, 256);
  Put32(s, 44, 2);
  Put32(s, 67, 0xF32F32F3);
  std::memcpy(&s[82], "FAT32   ", 8);
  return s;
}

Sector ExfatBoot() {
  Sector s = Signed();
  s[0] = 0xEB; s[1] = 0x76; s[2] = 0x90;
  std::memcpy(&s[3], "EXFAT   ", 8);
  Put64(s, 72, 0x40000);
  Put32(s, 80, 128);
  Put32(s, 88, 1024);
  Put32(s, 96, 4);
  Put32(s, 100, 0xE4FA7E4F);
  s[108] = 9;
  s[109] = 3;
  return s;
}

Sector NtfsBoot() {
  Sector s = Signed();
  s[0] = 0xEB; s[1] = 0x52; s[2] = 0x90;
  std::memcpy(&s[3], "NTFS    ", 8);
  Put16(s, 11, 512);
  s[13] = 8;
  s[21] = 0xF8;
  Put16(s, 24, 63);
  Put16(s, 26, 255);
  Put64(s, 40, 0x3FFFF);
  Put64(s, 48, 4);
  Put64(s, 56, 2);
  s[64] = 0xF6;
  Put32(s, 72, 0x1F5A1F5A);
  return s;
}

struct Entry {
  uint8_t type;
  uint32_t start;
  uint32_t count;
  uint8_t boot = 0;
};

Sector Table(std::initializer_list<Entry> entries) {
  Sector s = Signed();
  size_t at = 0x1BE;
  for (const Entry& e : entries) {
    s[at] = e.boot;
    s[at + 4] = e.type;
    Put32(s, at + 8, e.start);
    Put32(s, at + 12, e.count);
    at += 16;
  }
  return s;
}

// A sparse image file: only the sectors put there take room on disk.
class SparseImage {
 public:
  explicit SparseImage(uint64_t sectors) : path_(dir_.File("disk.img")) {
    std::ofstream(path_, std::ios::binary).close();
    std::filesystem::resize_file(path_, sectors * 512);
  }
  void Put(uint64_t lba, const Sector& s) {
    std::fstream f(path_, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(static_cast<std::streamoff>(lba * 512));
    f.write(reinterpret_cast<const char*>(s.data()), 512);
  }
  const std::string& path() const { return path_; }
  bool Open(CSectorSource& source) const { return OpenImage(path_, source); }

 private:
  test::TempDir dir_;
  std::string path_;
};

std::vector<VolumeRecord> Listed(const SparseImage& img) {
  CSectorSource source;
  std::vector<VolumeRecord> out;
  if (img.Open(source)) FindSourceVolumes(source, img.path(), out);
  CloseSource(source);
  return out;
}

std::vector<VolumeRecord> FromTableHit(const SparseImage& img, uint64_t table_lba) {
  CSectorSource source;
  std::vector<VolumeRecord> out;
  const ScanHit hit{222, 0, table_lba, 0};
  if (img.Open(source)) PartitionsFromTableSectors(out, std::span<const ScanHit>(&hit, 1), source);
  CloseSource(source);
  return out;
}

// Linux tools write 0x83 (or a type of another file system) over our file
// systems: the recognised boot sector decides, for the listing and for tables
// found by the scan alike.
TEST(Partitions, BootSectorDecidesTheKindWhenTheTypeDisagrees) {
  struct Case {
    uint8_t type;
    Sector boot;
    int32_t kind;
  } cases[] = {
      {0x83, ExfatBoot(), kFsExfat}, {0x83, Fat32Boot(), kFsFat32}, {0x01, NtfsBoot(), kFsNtfs},
      {0x07, Fat32Boot(), kFsFat32}, {0x0C, ExfatBoot(), kFsExfat}, {0x07, ExfatBoot(), kFsExfat},
      {0x07, NtfsBoot(), kFsNtfs},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << int(c.type) << " kind " << c.kind);
    SparseImage img(0x20000);
    img.Put(0, Table({{c.type, 2048, 0x10000, 0x80}}));
    img.Put(2048, c.boot);
    for (const auto& volumes : {Listed(img), FromTableHit(img, 0)}) {
      ASSERT_EQ(volumes.size(), 1u);
      EXPECT_EQ(volumes[0].fs_kind, c.kind);
      EXPECT_EQ(volumes[0].start_lba, 2048u);
      EXPECT_EQ(volumes[0].sector_count, 0x10000u);
      EXPECT_EQ(volumes[0].active, 1u);
      EXPECT_EQ(volumes[0].label, kDefaultVolumeLabel);
    }
  }
}

TEST(Partitions, EntryWhoseBootSectorIsNoFileSystemIsDropped) {
  SparseImage img(0x20000);
  img.Put(0, Table({{0x07, 2048, 0x10000}}));
  EXPECT_TRUE(Listed(img).empty());
  EXPECT_TRUE(FromTableHit(img, 0).empty());
}

// Extended records beyond 2 TiB: the second record's LBA and the partition
// start it holds both exceed 32 bits.
TEST(Partitions, ExtendedChainBeyondTwoTebibytes) {
  constexpr uint64_t kExt = 0xF0000000;
  constexpr uint64_t kSecond = kExt + 0x18000000;  // 0x108000000
  SparseImage img(kSecond + 0x20000);
  img.Put(0, Table({{0x0C, 2048, 0x10000}, {0x0F, kExt, 0x20000000}}));
  img.Put(2048, Fat32Boot());
  img.Put(kExt, Table({{0x07, 2048, 0x10000}, {0x05, 0x18000000, 0x20000}}));
  img.Put(kExt + 2048, ExfatBoot());
  img.Put(kSecond, Table({{0x83, 2048, 0x10000}}));
  img.Put(kSecond + 2048, NtfsBoot());

  const std::vector<VolumeRecord> volumes = Listed(img);
  ASSERT_EQ(volumes.size(), 3u);
  EXPECT_EQ(volumes[0].start_lba, 2048u);
  EXPECT_EQ(volumes[1].start_lba, kExt + 2048);
  EXPECT_EQ(volumes[1].fs_kind, kFsExfat);
  EXPECT_EQ(volumes[2].start_lba, kSecond + 2048);
  EXPECT_EQ(volumes[2].fs_kind, kFsNtfs);
  EXPECT_EQ(volumes[2].serial, 0x1F5A1F5Au);

  const std::vector<VolumeRecord> from_hit = FromTableHit(img, kSecond);
  ASSERT_EQ(from_hit.size(), 1u);
  EXPECT_EQ(from_hit[0].start_lba, kSecond + 2048);
  EXPECT_EQ(from_hit[0].fs_kind, kFsNtfs);
}

// Damaged tables: a chain that links back on itself, two containers at the
// same place, entries past the end of the disk. What can be read is listed,
// once, and the walk ends.
TEST(Partitions, DamagedTablesListWhatTheyCanAndEnd) {
  constexpr uint64_t kExt = 0x10000;
  SparseImage img(0x80000);
  img.Put(0, Table({{0x0F, kExt, 0x60000}, {0x05, kExt, 0x60000}, {0x0C, 0x7FFFFF00, 0x10000}, {0x0C, 2048, 0x4000}}));
  img.Put(2048, Fat32Boot());
  img.Put(kExt, Table({{0x0C, 2048, 0x4000}, {0x05, 0x20000, 0x20000}}));
  img.Put(kExt + 2048, Fat32Boot());
  img.Put(kExt + 0x20000, Table({{0x07, 2048, 0x4000}, {0x05, 0x20000, 0x20000}}));  // links to itself
  img.Put(kExt + 0x20000 + 2048, ExfatBoot());

  const std::vector<VolumeRecord> volumes = Listed(img);
  ASSERT_EQ(volumes.size(), 3u);
  EXPECT_EQ(volumes[0].start_lba, kExt + 2048);
  EXPECT_EQ(volumes[1].start_lba, kExt + 0x20000 + 2048);
  EXPECT_EQ(volumes[2].start_lba, 2048u);
}

// Boot sectors that belong to no table: a volume image is one volume at 0.
TEST(Partitions, BareVolumeIsOneVolumeAtLbaZero) {
  SparseImage img(0x40000);
  img.Put(0, ExfatBoot());
  const std::vector<VolumeRecord> volumes = Listed(img);
  ASSERT_EQ(volumes.size(), 1u);
  EXPECT_EQ(volumes[0].start_lba, 0u);
  EXPECT_EQ(volumes[0].sector_count, 0x40000u);
  EXPECT_EQ(volumes[0].fs_kind, kFsExfat);
  EXPECT_EQ(volumes[0].serial, 0xE4FA7E4Fu);
}

// MFT runs found by the scan: the volume start is the run's LBA less the
// cluster its record names, in 64 bits.
TEST(Partitions, MftRunsGiveTheVolumeStartBeyondTwoTebibytes) {
  constexpr uint64_t kRunLba = 0x180000000;
  // Mapping pairs: one extent of `length` clusters at `cluster`.
  auto runs = [](uint8_t length, uint32_t cluster) {
    std::vector<uint8_t> r{0x41, length};
    for (int i = 0; i < 4; ++i) r.push_back(static_cast<uint8_t>(cluster >> (8 * i)));
    r.push_back(0);
    return r;
  };
  struct Case {
    const char* what;
    uint64_t records;
    uint32_t mft_cluster, mirror_cluster;
    uint8_t mirror_clusters;
    bool made;
    uint64_t start;
    uint8_t spc;
  } cases[] = {
      {"the MFT itself", 8, 0x100000, 0x2, 1, true, kRunLba - 0x100000ull * 8, 8},
      {"the mirror", 4, 0x100000, 0x200000, 1, true, kRunLba - 0x200000ull * 8, 8},
      {"mirror over 2 clusters of 2 KiB", 4, 0x100000, 0x300000, 2, true, kRunLba - 0x300000ull * 4, 4},
      {"too short", 3, 0x100000, 0x2, 1, false, 0, 0},
      {"start below 0", 8, 0x40000000, 0x2, 1, false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<FileRecordSummary> summaries(c.records);
    std::vector<ScanHit> hits;
    for (uint64_t k = 0; k < c.records; ++k) {
      FileRecordSummary& s = summaries[k];
      s.record = static_cast<uint32_t>(k);
      s.name = k == 0 ? "$MFT" : k == 1 ? "$MFTMirr" : "$Rec";
      if (k == 0) s.runs = runs(64, c.mft_cluster);
      if (k == 1) {
        s.runs = runs(c.mirror_clusters, c.mirror_cluster);
        s.data_size = 4096;
      }
      hits.push_back(ScanHit{224, 0, kRunLba + 2 * k, reinterpret_cast<uintptr_t>(&s)});
    }
    hits.push_back(ScanHit{224, 0, kRunLba + 1000, reinterpret_cast<uintptr_t>(&summaries[0])});  // a stray record
    SparseImage img(0x100);
    CSectorSource source;
    ASSERT_TRUE(img.Open(source));
    std::vector<VolumeRecord> volumes;
    EXPECT_EQ(NtfsVolumesFromRecordRuns(volumes, hits, source), hits.size());
    CloseSource(source);
    ASSERT_EQ(volumes.size(), c.made ? 1u : 0u);
    if (!c.made) continue;
    EXPECT_EQ(volumes[0].start_lba, c.start);
    EXPECT_EQ(volumes[0].fs_kind, kFsNtfs);
    EXPECT_EQ(volumes[0].sector_count, kUnknownSectorCount);
    EXPECT_EQ(volumes[0].boot_sector[13], c.spc);
  }
}

TEST(Partitions, SerialComesFromTheOffsetOfTheKind) {
  const struct {
    int32_t kind;
    size_t offset;
  } cases[] = {{kFsExfat, 100}, {kFsFat16, 39}, {kFsFat32, 67}, {kFsNtfs, 72}, {kFsUnknown, 0}};
  for (const auto& c : cases) {
    VolumeRecord v;
    v.fs_kind = c.kind;
    for (size_t i = 0; i < 512; ++i) v.boot_sector[i] = static_cast<uint8_t>(i * 7);
    uint32_t want = 0;
    if (c.kind != kFsUnknown) std::memcpy(&want, &v.boot_sector[c.offset], 4);
    SetSerialFromBootSector(v);
    EXPECT_EQ(v.serial, want) << c.kind;
  }
}

}  // namespace
}  // namespace trovium
