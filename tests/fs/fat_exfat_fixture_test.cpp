// FAT16, FAT32 and exFAT volumes of the fixture images against the listing
// and file contents that The Sleuth Kit gives for them.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "common/test_support.h"
#include "core/md5.h"
#include "fs/exfat_volume.h"
#include "fs/fat_volume.h"
#include "scan/sector_source.h"
#include "store/extents.h"

namespace trovium {
namespace {

nlohmann::json Truth(const std::string& image) {
  std::ifstream f(std::string(TROVIUM_SOURCE_TESTDATA_DIR) + "/fixtures/" + image + ".truth.json");
  return nlohmann::json::parse(f, nullptr, false);
}

// A deleted 8.3 name loses its first character: the ground truth shows "_",
// we show "!". Both become "?" so the rest of the name is compared.
std::string Normalise(const std::string& path) {
  std::string out;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(start, end - start);
    if (!part.empty() && (part[0] == '_' || part[0] == '!')) part[0] = '?';
    out += (out.empty() ? "" : "/") + part;
    start = end + 1;
  }
  return out;
}

struct Listed {
  uint32_t index;
  bool deleted;
  bool dir;
  uint64_t size;
  std::string name;
};

std::map<std::string, Listed> ListByPath(const VolumeRecord& v) {
  std::map<std::string, Listed> out;
  for (uint32_t i = kRootIndex + 1; i < v.file_count; ++i) {
    const FileRecord* r = GetRecord(v, i);
    if (!r) continue;
    std::string path;
    for (uint32_t at : PathToRoot(v, i)) {
      if (at == kRootIndex) break;
      path = GetRecord(v, at)->name + (path.empty() ? "" : "/") + path;
    }
    out[Normalise(path)] = {i, r->is_deleted(), r->is_dir(), r->size, r->name};
  }
  return out;
}

std::string ContentMd5(const VolumeRecord& v, const FileRecord& r) {
  std::vector<DataExtent> extents;
  if (!BuildExtents(v, r, extents)) return "no extents";
  CSectorSource source;
  if (!OpenImage(v.device_path, source)) return "no image";
  std::vector<uint8_t> data;
  for (const DataExtent& e : extents) {
    std::vector<uint8_t> part(e.sector_count * kSectorBytes);
    if (!ReadSectors(static_cast<uint32_t>(e.sector_count), source, part.data(), e.start_lba)) return "read failed";
    data.insert(data.end(), part.begin(), part.end());
  }
  CloseSource(source);
  if (data.size() < r.size) return "short";
  std::string md5 = Md5Hex(data.data(), r.size);
  for (char& c : md5) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return md5;
}

struct Case {
  const char* image;
  int partition;
};

class FatExfatFixtureTest : public ::testing::TestWithParam<Case> {};

TEST_P(FatExfatFixtureTest, ListsWhatTheGroundTruthHoldsWithTheSameContent) {
  const Case c = GetParam();
  const nlohmann::json truth = Truth(c.image);
  ASSERT_FALSE(truth.is_discarded());
  const nlohmann::json& part = truth["partitions"][c.partition];
  const std::string fs = part["fs"];

  VolumeRecord v;
  v.device_path = test::TestDataPath(std::string("fixtures/") + c.image);
  v.start_lba = part["start_lba"];
  v.sector_count = part["sector_count"];
  v.fs_kind = fs == "exFAT" ? kFsExfat : fs == "FAT16" ? kFsFat16 : kFsFat32;
  CSectorSource source;
  ASSERT_TRUE(OpenImage(v.device_path, source));
  ASSERT_TRUE(ReadSectors(1, source, v.boot_sector.data(), v.start_lba));

  std::string label;
  if (v.fs_kind == kFsExfat) {
    ASSERT_TRUE(ReadExfatVolumeLabel(v, source));
    RegisterExfatExtentBuilder();
    ASSERT_TRUE(ReadExfatVolume(v, nullptr));
  } else {
    ASSERT_TRUE(ReadFatVolumeLabel(v, source));
    RegisterFatExtentBuilder();
    ASSERT_TRUE(ReadFatVolume(v, nullptr));
  }
  CloseSource(source);
  EXPECT_EQ(v.label, part["label"].get<std::string>());

  const auto listed = ListByPath(v);
  int files = 0, deleted = 0;
  for (const auto& f : truth["files"]) {
    if (f["partition"] != c.partition) continue;
    const std::string path = f["path"];
    if (path.rfind("$OrphanFiles", 0) == 0) continue;
    SCOPED_TRACE(path);
    auto it = listed.find(Normalise(path));
    ASSERT_NE(it, listed.end()) << "not listed";
    const Listed& l = it->second;
    EXPECT_EQ(l.deleted, f["deleted"].get<bool>());
    EXPECT_EQ(l.dir, f["dir"].get<bool>());
    if (l.dir) continue;
    EXPECT_EQ(l.size, f["size"].get<uint64_t>());
    // An empty file has no data: no LBA that could pass for a file start.
    if (l.size == 0) {
      EXPECT_EQ(GetRecord(v, l.index)->data_lba, 0u);
    }
    // The lost first character of a deleted short name is shown as "!".
    const std::string name = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
    if (name[0] == '_' && l.deleted && v.fs_kind != kFsExfat) {
      EXPECT_EQ(l.name[0], '!');
    }
    ++(l.deleted ? deleted : files);
    if (f["md5"].is_string() && l.size > 0) {
      EXPECT_EQ(ContentMd5(v, *GetRecord(v, l.index)), f["md5"].get<std::string>());
    }
  }
  EXPECT_GT(files, 0);
}

INSTANTIATE_TEST_SUITE_P(Images, FatExfatFixtureTest,
                         ::testing::Values(Case{"fat16.img", 0}, Case{"fat32.img", 0}, Case{"fat32-wingeom.img", 0},
                                           Case{"exfat.img", 0}, Case{"disk-mbr.img", 0}, Case{"disk-mbr.img", 2},
                                           Case{"disk-mbr.img", 3}, Case{"disk-gpt.img", 1}),
                         [](const auto& param_info) {
                           std::string name = std::string(param_info.param.image) + "_" +
                                              std::to_string(param_info.param.partition);
                           for (char& ch : name)
                             if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return name;
                         });

}  // namespace
}  // namespace trovium
