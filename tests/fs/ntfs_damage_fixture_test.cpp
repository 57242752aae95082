// The NTFS reader on copies of ntfs.img that were moved or damaged: a volume
// beyond the first 2 TiB of its device, a primary MFT whose run claims more
// than the volume holds, an oversized $Bitmap, random damage to the records.

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "common/test_support.h"
#include "core/md5.h"
#include "core/text_convert.h"
#include "fs/ntfs_attribute.h"
#include "fs/ntfs_bitmap.h"
#include "fs/ntfs_data.h"
#include "fs/ntfs_geometry.h"
#include "fs/ntfs_volume.h"
#include "ntfs_test_support.h"

namespace trovium {
namespace {

using test::ListingByPath;
using test::NtfsVolumeOf;
using test::TempDir;
using test::TestDataPath;

constexpr uint64_t kImageSectors = 48ull * 1024 * 1024 / 512;

std::vector<uint8_t> Image() {
  std::vector<uint8_t> bytes(kImageSectors * 512);
  std::ifstream in(TestDataPath("fixtures/ntfs.img"), std::ios::binary);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return in.gcount() == static_cast<std::streamsize>(bytes.size()) ? bytes : std::vector<uint8_t>();
}

bool WriteImage(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return out.good();
}

// Byte offset of MFT record n's first attribute of `type` in the image.
size_t AttributeOffset(const std::vector<uint8_t>& image, uint32_t record, uint32_t type) {
  const size_t mft = size_t{image[13]} * 512 * (image[48] | image[49] << 8);
  const size_t at = mft + size_t{record} * 1024;
  NtfsAttribute a;
  if (!FindNtfsAttribute(ByteView(image.data() + at, 1024), type, a)) return 0;
  return static_cast<size_t>(a.bytes.data() - image.data());
}

struct Seen {
  std::string path;
  uint64_t size;
  uint16_t state;
  bool operator==(const Seen&) const = default;
};

std::vector<Seen> Listing(const VolumeRecord& v) {
  std::vector<Seen> out;
  for (const auto& [path, r] : ListingByPath(v)) out.push_back({path, r->is_dir() ? 0 : r->size, r->state()});
  return out;
}

std::vector<Seen> ListingOf(const std::string& path, uint64_t start, uint64_t sectors, VolumeRecord* keep = nullptr) {
  VolumeRecord v;
  if (!NtfsVolumeOf(path, start, sectors, v) || !ReadNtfsVolume(v, nullptr)) return {};
  std::vector<Seen> out = Listing(v);
  if (keep) *keep = std::move(v);
  return out;
}

TEST(NtfsDamageTest, VolumeBeyondTheFirstTwoTebibytes) {
  const std::vector<Seen> expected = ListingOf(TestDataPath("fixtures/ntfs.img"), 0, kImageSectors);
  ASSERT_GT(expected.size(), 30u);
  TempDir dir;
  const std::string path = dir.File("far.img");
  const uint64_t start = (1ull << 32) + 2048;  // LBA past what 32 bits hold
  {
    const std::vector<uint8_t> image = Image();
    std::ofstream out(path, std::ios::binary);
    out.seekp(static_cast<std::streamoff>(start * 512));
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    ASSERT_TRUE(out.good());
  }
  VolumeRecord v;
  EXPECT_EQ(ListingOf(path, start, kImageSectors, &v), expected);
  // A non-resident file's content comes from above 2 TiB.
  NtfsGeometry geo;
  ASSERT_TRUE(NtfsGeometryFromVolume(v, geo));
  CSectorSource source;
  ASSERT_TRUE(OpenImage(path, source));
  for (const auto& [name, r] : ListingByPath(v)) {
    if (name != "Work/Reports/dump.log") continue;
    EXPECT_GT(r->data_lba, start);
    std::vector<uint8_t> content;
    EXPECT_TRUE(ReadNtfsWholeFile(*r, geo, source, nullptr, UINT64_MAX, content));
    EXPECT_EQ(content.size(), 1524399u);
  }
  CloseSource(source);
}

TEST(NtfsDamageTest, PrimaryMftRunLongerThanTheVolumeFallsBackToTheMirror) {
  const std::vector<Seen> expected = ListingOf(TestDataPath("fixtures/ntfs.img"), 0, kImageSectors);
  std::vector<uint8_t> image = Image();
  const size_t data = AttributeOffset(image, 0, kNtfsData);
  ASSERT_NE(data, 0u);
  const uint8_t huge_run[] = {0x14, 0xFF, 0xFF, 0xFF, 0x7F, 0x04, 0x00, 0x00};  // 2^31 clusters at 4
  std::memcpy(&image[data + 64], huge_run, sizeof huge_run);
  TempDir dir;
  ASSERT_TRUE(WriteImage(dir.File("a.img"), image));
  VolumeRecord v;
  EXPECT_EQ(ListingOf(dir.File("a.img"), 0, kImageSectors, &v), expected);
  EXPECT_LT(v.files.size(), 100000u);  // sized from the volume, not from the damaged run
}

TEST(NtfsDamageTest, BitmapSizeMustFitTheVolume) {
  VolumeRecord v;
  ASSERT_TRUE(NtfsVolumeOf(TestDataPath("fixtures/ntfs.img"), 0, kImageSectors, v));
  ASSERT_TRUE(LoadNtfsVolumeBitmap(v, nullptr));
  EXPECT_EQ(NtfsVolumeBitmap().size(), 1536u);  // 12288 clusters of 4 KiB
  EXPECT_EQ(NtfsVolumeBitmap().u8_or0(0) & 1, 1);

  std::vector<uint8_t> image = Image();
  const size_t data = AttributeOffset(image, 6, kNtfsData);
  ASSERT_NE(data, 0u);
  for (uint64_t size : {uint64_t{3} << 30, uint64_t{0}}) {
    for (int i = 0; i < 8; ++i) image[data + 48 + i] = uint8_t(size >> (8 * i));
    TempDir dir;
    ASSERT_TRUE(WriteImage(dir.File("b.img"), image));
    ASSERT_TRUE(NtfsVolumeOf(dir.File("b.img"), 0, kImageSectors, v));
    EXPECT_FALSE(LoadNtfsVolumeBitmap(v, nullptr));
    EXPECT_TRUE(NtfsVolumeBitmap().empty());
  }
  ReleaseNtfsVolumeBitmap();
}

TEST(NtfsDamageTest, WholeFileIntoAnExactlySizedBuffer) {
  VolumeRecord v;
  ASSERT_TRUE(NtfsVolumeOf(TestDataPath("fixtures/ntfs.img"), 0, kImageSectors, v));
  ASSERT_TRUE(ReadNtfsVolume(v, nullptr));
  NtfsGeometry geo;
  ASSERT_TRUE(NtfsGeometryFromVolume(v, geo));
  CSectorSource source;
  ASSERT_TRUE(OpenImage(v.device_path, source));
  const auto listed = ListingByPath(v);
  const FileRecord& r = *listed.at("Work/manual.txt");  // 18650 bytes: ends inside a sector
  ASSERT_EQ(r.size % 512, 218u);
  auto buffer = std::make_unique<uint8_t[]>(r.size);  // no slack: an overrun is caught by ASan
  uint64_t bytes = 0;
  EXPECT_TRUE(ReadNtfsWholeFile(r, geo, source, nullptr, buffer.get(), r.size, bytes));
  EXPECT_EQ(bytes, r.size);
  EXPECT_EQ(ToLowerAscii(Md5Hex(buffer.get(), static_cast<size_t>(bytes))), "cf6f302d07e1a0d2cda1e3cfeb108e41");
  CloseSource(source);
}

TEST(NtfsDamageTest, AStopEndsTheReadWithoutATree) {
  VolumeRecord v;
  ASSERT_TRUE(NtfsVolumeOf(TestDataPath("fixtures/ntfs.img"), 0, kImageSectors, v));
  const std::atomic<int> stop{2};
  EXPECT_FALSE(ReadNtfsVolume(v, &stop));
  EXPECT_FALSE(IsValidRecord(v, kLostIndex));
}

TEST(NtfsDamageTest, DamagedRecordsListWhatTheyCanAndNeverCrash) {
  const std::vector<uint8_t> clean = Image();
  const size_t mft = size_t{clean[13]} * 512 * 4;
  TempDir dir;
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE(seed);
    std::vector<uint8_t> image = clean;
    std::mt19937 random(seed);
    // Scribble over the user records (16..100): bytes, lengths and offsets.
    for (int n = 0; n < 400; ++n) {
      const size_t record = mft + 1024 * (16 + random() % 84);
      const size_t at = record + random() % 1024;
      switch (random() % 4) {
        case 0: image[at] = uint8_t(random()); break;
        case 1: std::memset(&image[record + 0x38 + random() % 64], 0xFF, 4); break;
        case 2: image[record + 0x14] = uint8_t(random()); break;
        default: image[record + 0x2C] = uint8_t(random() % 8 + 88); break;  // duplicate and looping numbers
      }
    }
    ASSERT_TRUE(WriteImage(dir.File("c.img"), image));
    VolumeRecord v;
    ASSERT_TRUE(NtfsVolumeOf(dir.File("c.img"), 0, kImageSectors, v));
    EXPECT_TRUE(ReadNtfsVolume(v, nullptr));
    EXPECT_TRUE(IsValidRecord(v, kRootIndex));
    // Every record listed reaches the root, whatever its damaged parent said.
    for (uint32_t i = 1; i < v.file_count; ++i) {
      if (IsValidRecord(v, i) && i != kRootIndex) {
        EXPECT_FALSE(test::PathOf(v, i).empty());
      }
    }
  }
  // Both copies of record 0 gone: nothing to read.
  std::vector<uint8_t> image = clean;
  std::memset(&image[mft], 0, 1024);
  std::memset(&image[size_t{clean[13]} * 512 * 6143], 0, 1024);
  ASSERT_TRUE(WriteImage(dir.File("d.img"), image));
  VolumeRecord v;
  ASSERT_TRUE(NtfsVolumeOf(dir.File("d.img"), 0, kImageSectors, v));
  EXPECT_FALSE(ReadNtfsVolume(v, nullptr));
  EXPECT_EQ(v.file_count, 0u);
}

}  // namespace
}  // namespace trovium
