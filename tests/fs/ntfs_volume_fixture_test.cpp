// NTFS volumes of the fixture images against what The Sleuth Kit lists for
// them: paths, sizes, deleted state and file contents.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "common/test_support.h"
#include "core/md5.h"
#include "core/text_convert.h"
#include "fs/ntfs_bitmap.h"
#include "fs/ntfs_data.h"
#include "fs/ntfs_geometry.h"
#include "fs/ntfs_volume.h"
#include "ntfs_test_support.h"
#include "store/extents.h"

namespace trovium {
namespace {

using test::ListingByPath;
using test::NtfsVolumeOf;
using test::TestDataPath;

nlohmann::json Truth(const std::string& image) {
  std::ifstream f(std::string(TROVIUM_SOURCE_TESTDATA_DIR) + "/fixtures/" + image + ".truth.json");
  return nlohmann::json::parse(f, nullptr, false);
}

struct NtfsPart {
  std::string image;
  int partition;
};
void PrintTo(const NtfsPart& p, std::ostream* os) { *os << p.image << " #" << p.partition; }

std::string Md5Of(const void* data, size_t size) { return ToLowerAscii(Md5Hex(data, size)); }

// The content as export would copy it: the record's extents, cut to its size.
std::string Md5ByExtents(const VolumeRecord& v, const FileRecord& r) {
  std::vector<DataExtent> extents;
  if (!BuildExtents(v, r, extents)) return "no extents";
  CSectorSource source;
  if (!OpenImage(v.device_path, source)) return "no image";
  std::vector<uint8_t> data;
  for (const DataExtent& e : extents) {
    const size_t at = data.size();
    data.resize(at + e.sector_count * 512);
    ReadSectors(static_cast<uint32_t>(e.sector_count), source, data.data() + at, e.start_lba);
  }
  CloseSource(source);
  if (data.size() < r.size) return "short";
  return Md5Of(data.data(), static_cast<size_t>(r.size));
}

class NtfsFixtureTest : public ::testing::TestWithParam<NtfsPart> {};

TEST_P(NtfsFixtureTest, ListsWhatSleuthKitLists) {
  RegisterNtfsExtentBuilder();
  const nlohmann::json truth = Truth(GetParam().image);
  ASSERT_FALSE(truth.is_discarded());
  const nlohmann::json& part = truth["partitions"][GetParam().partition];
  ASSERT_EQ(part["fs"], "NTFS");
  VolumeRecord v;
  const std::string image = TestDataPath("fixtures/" + GetParam().image);
  ASSERT_TRUE(NtfsVolumeOf(image, part["start_lba"], part["sector_count"], v));
  ASSERT_TRUE(ReadNtfsVolume(v, nullptr));
  const auto listed = ListingByPath(v);
  NtfsGeometry geo;
  ASSERT_TRUE(NtfsGeometryFromVolume(v, geo));
  CSectorSource source;
  ASSERT_TRUE(OpenImage(image, source));

  size_t expected_existing = 0;
  for (const auto& f : truth["files"]) {
    if (f["partition"] != GetParam().partition) continue;
    const std::string path = f["path"];
    SCOPED_TRACE(path);
    auto it = listed.find(path);
    ASSERT_NE(it, listed.end());
    const FileRecord& r = *it->second;
    EXPECT_EQ(r.is_deleted(), f["deleted"].get<bool>());
    EXPECT_EQ(r.is_dir(), f["dir"].get<bool>());
    if (f["dir"].get<bool>()) continue;
    expected_existing += !f["deleted"].get<bool>();
    EXPECT_EQ(r.size, f["size"].get<uint64_t>());
    if (f["md5"].is_null()) continue;
    std::vector<uint8_t> content;
    EXPECT_TRUE(ReadNtfsWholeFile(r, geo, source, nullptr, UINT64_MAX, content));
    EXPECT_EQ(Md5Of(content.data(), content.size()), f["md5"].get<std::string>());
    if (!(r.flags & kFlagResident) && r.size > 0) {
      EXPECT_EQ(Md5ByExtents(v, r), f["md5"].get<std::string>());
    }
  }
  CloseSource(source);
  // Nothing existing is listed that the ground truth does not hold.
  size_t existing = 0;
  for (const auto& [path, r] : listed) existing += r->state() == kStateFile;
  EXPECT_EQ(existing, expected_existing);
}

INSTANTIATE_TEST_SUITE_P(Images, NtfsFixtureTest,
                         ::testing::Values(NtfsPart{"ntfs.img", 0}, NtfsPart{"ntfs-wingeom.img", 0},
                                           NtfsPart{"disk-mbr.img", 1}, NtfsPart{"disk-gpt.img", 0}),
                         [](const auto& param_info) {
                           const std::string& image = param_info.param.image;
                           std::string name = image.substr(0, image.find('.'));
                           for (char& c : name)
                             if (c == '-') c = '_';
                           return name;
                         });

}  // namespace
}  // namespace trovium
