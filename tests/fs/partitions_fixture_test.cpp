// Partitions and volumes of the real images, against what The Sleuth Kit
// (mmls, fsstat) found on them.

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "common/test_support.h"
#include "fs/partitions.h"
#include "fs/quick_listing.h"
#include "scan/structure_detector.h"

namespace trovium {
namespace {

nlohmann::json Truth(const std::string& image) {
  std::ifstream f(std::string(TROVIUM_SOURCE_TESTDATA_DIR) + "/fixtures/" + image + ".truth.json");
  return nlohmann::json::parse(f, nullptr, false);
}

int32_t KindOf(const std::string& fs) {
  if (fs == "NTFS") return kFsNtfs;
  if (fs == "FAT16") return kFsFat16;
  if (fs == "FAT32") return kFsFat32;
  if (fs == "exFAT") return kFsExfat;
  return kFsUnknown;
}

struct OpenedImage {
  std::string path;
  CSectorSource source;
  explicit OpenedImage(const std::string& image) : path(test::TestDataPath("fixtures/" + image)) {
    OpenImage(path, source);
  }
  ~OpenedImage() { CloseSource(source); }
};

// The volumes the table of each image describes are the partitions TSK lists,
// with the kind, extent and label fsstat reports.
TEST(PartitionsFixture, TablesAndBareVolumesMatchTheSleuthKit) {
  for (const char* image : {"disk-mbr.img", "disk-gpt.img", "ntfs.img", "ntfs-wingeom.img", "fat16.img", "fat32.img",
                            "fat32-wingeom.img", "exfat.img"}) {
    SCOPED_TRACE(image);
    const nlohmann::json truth = Truth(image);
    ASSERT_TRUE(truth.is_object());
    OpenedImage img(image);
    ASSERT_GE(img.source.handle, 0);
    std::vector<VolumeRecord> volumes;
    ASSERT_TRUE(FindSourceVolumes(img.source, img.path, volumes));
    ASSERT_EQ(volumes.size(), truth["partitions"].size());
    for (size_t i = 0; i < volumes.size(); ++i) {
      const nlohmann::json& p = truth["partitions"][i];
      EXPECT_EQ(volumes[i].start_lba, p["start_lba"].get<uint64_t>());
      EXPECT_EQ(volumes[i].sector_count, p["sector_count"].get<uint64_t>());
      EXPECT_EQ(volumes[i].fs_kind, KindOf(p["fs"].get<std::string>()));
      EXPECT_EQ(volumes[i].label, p["label"].get<std::string>());
      EXPECT_EQ(volumes[i].role, 2);
      EXPECT_NE(volumes[i].serial, 0u);
      EXPECT_EQ(volumes[i].device_path, img.path);
    }
  }
}

// The deep scan's view of the damaged disk: every structure the detector
// recognises, with its sector copy.
struct Hits {
  std::vector<ScanHit> hits;
  std::vector<std::unique_ptr<std::array<uint8_t, 512>>> copies;
};

Hits DetectAll(CSectorSource& source) {
  Hits out;
  const uint64_t sectors = GetSourceSize(source) / 512;
  std::vector<uint8_t> chunk(kChunkSectors * 512);
  for (uint64_t lba = 0; lba < sectors; lba += kChunkSectors) {
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(kChunkSectors, sectors - lba));
    ReadSectors(n, source, chunk.data(), lba);
    for (uint32_t i = 0; i < n; ++i) {
      uint8_t kind = 0;
      ByteView sector(chunk.data() + 512 * i, 512);
      if (!DetectStructure(sector, lba + i, kind) || !HitKeepsSectorCopy(kind)) continue;
      auto copy = std::make_unique<std::array<uint8_t, 512>>();
      sector.bytes(0, copy->data(), 512);
      out.hits.push_back(ScanHit{kind, 0, lba + i, reinterpret_cast<uintptr_t>(copy->data())});
      out.copies.push_back(std::move(copy));
    }
  }
  return out;
}

// Sector 0 and the NTFS boot sector are zeroed: the extended records and the
// surviving boot sectors and backups still give every partition back.
TEST(PartitionsFixture, LostPartitionsComeBackFromTablesAndBootSectors) {
  const nlohmann::json truth = Truth("disk-lostpart.img");
  OpenedImage img("disk-lostpart.img");
  ASSERT_GE(img.source.handle, 0);
  std::vector<VolumeRecord> none;
  EXPECT_FALSE(FindSourceVolumes(img.source, img.path, none));

  Hits found = DetectAll(img.source);
  std::vector<VolumeRecord> volumes;
  EXPECT_GT(PartitionsFromTableSectors(volumes, found.hits, img.source), 0u);
  EXPECT_GT(VolumesFromBootSectors(volumes, found.hits, img.source), 0u);
  for (const nlohmann::json& p : truth["partitions"]) {
    SCOPED_TRACE(p.dump());
    const uint64_t start = p["start_lba"].get<uint64_t>();
    auto it = std::find_if(volumes.begin(), volumes.end(), [&](const VolumeRecord& v) { return v.start_lba == start; });
    ASSERT_NE(it, volumes.end());
    EXPECT_EQ(it->fs_kind, KindOf(p["fs"].get<std::string>()));
    EXPECT_EQ(it->label, p["label"].get<std::string>());
    // A file system may leave the tail of its partition unused (NTFS keeps its
    // backup boot sector there), but never claims more, nor nothing.
    const uint64_t count = p["sector_count"].get<uint64_t>();
    EXPECT_LE(it->sector_count, count);
    EXPECT_GT(it->sector_count, count - count / 16);
  }
  EXPECT_EQ(volumes.size(), truth["partitions"].size());
}

// Each backup copy alone leads to its volume's first sector.
TEST(PartitionsFixture, BackupBootSectorsGiveTheVolumeStart) {
  const nlohmann::json truth = Truth("disk-lostpart.img");
  OpenedImage img("disk-lostpart.img");
  ASSERT_GE(img.source.handle, 0);
  for (const nlohmann::json& b : truth["damage"]["backups"]) {
    if (b["backup_boot_lba"].is_null()) continue;
    SCOPED_TRACE(b.dump());
    const nlohmann::json& p = truth["partitions"][b["partition"].get<size_t>()];
    const uint64_t lba = b["backup_boot_lba"].get<uint64_t>();
    uint8_t sector[512];
    ASSERT_TRUE(ReadSectors(1, img.source, sector, lba));
    VolumeRecord v;
    ASSERT_TRUE(VolumeFromBootSector(img.source, ByteView(sector, 512), lba, v));
    EXPECT_EQ(v.start_lba, p["start_lba"].get<uint64_t>());
    EXPECT_EQ(v.fs_kind, KindOf(p["fs"].get<std::string>()));
    EXPECT_EQ(v.label, p["label"].get<std::string>());
  }
}

// A GPT whose primary header is gone is read from its backup in the last sector.
TEST(PartitionsFixture, GptFallsBackToTheBackupHeader) {
  const nlohmann::json truth = Truth("disk-gpt.img");
  test::TempDir dir;
  std::filesystem::copy_file(test::TestDataPath("fixtures/disk-gpt.img"), dir.File("gpt.img"));
  {
    std::fstream f(dir.File("gpt.img"), std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(512);
    const std::vector<char> zeros(512, 0);
    f.write(zeros.data(), 512);
    ASSERT_TRUE(f.good());
  }
  CSectorSource source;
  ASSERT_TRUE(OpenImage(dir.File("gpt.img"), source));
  std::vector<VolumeRecord> volumes;
  EXPECT_TRUE(FindSourceVolumes(source, dir.File("gpt.img"), volumes));
  CloseSource(source);
  ASSERT_EQ(volumes.size(), truth["partitions"].size());
  for (size_t i = 0; i < volumes.size(); ++i) {
    EXPECT_EQ(volumes[i].start_lba, truth["partitions"][i]["start_lba"].get<uint64_t>());
    EXPECT_EQ(volumes[i].fs_kind, KindOf(truth["partitions"][i]["fs"].get<std::string>()));
  }
}

}  // namespace
}  // namespace trovium
