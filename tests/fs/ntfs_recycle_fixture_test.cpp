// The recycle bin of an NTFS volume made by tests/data/ntfs-recycle.sh
// (mkntfs and ntfs-3g): the hidden system folder becomes "回收站", its "$R"
// files take their original names from their "$I" companions, which go; the
// rest of the listing matches `fls -r -p` of the same image.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "common/test_support.h"
#include "fs/ntfs_volume.h"
#include "ntfs_test_support.h"

namespace trovium {
namespace {

using test::ListingByPath;
using test::NtfsVolumeOf;
using test::TestDataPath;

constexpr char kUser[] = "S-1-5-21-1004336348-1177238915-682003330-1001";

// fls -r -p lines: "r/r [*] inode:<TAB>path"; path -> deleted.
std::map<std::string, bool> SleuthKitListing() {
  std::ifstream in(std::string(TROVIUM_SOURCE_TESTDATA_DIR) + "/ntfs-recycle.img.fls.txt");
  std::map<std::string, bool> out;
  std::string line;
  while (std::getline(in, line)) {
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    const std::string path = line.substr(tab + 1);
    // Metadata files, streams and the orphan folder are not listed by us.
    if (path.find(':') != std::string::npos || path.rfind("$OrphanFiles", 0) == 0) continue;
    if (path[0] == '$' && path.rfind("$RECYCLE.BIN", 0) != 0) continue;
    out[path] = line.find(" * ") != std::string::npos;
  }
  return out;
}

TEST(NtfsRecycleBinTest, RestoresOriginalNamesFromInfoFiles) {
  const std::map<std::string, bool> truth = SleuthKitListing();
  ASSERT_EQ(truth.size(), 12u);
  VolumeRecord v;
  ASSERT_TRUE(NtfsVolumeOf(TestDataPath("ntfs-recycle.img"), 0, 8 * 2048, v));
  ASSERT_TRUE(ReadNtfsVolume(v, nullptr));
  const auto listed = ListingByPath(v);

  const std::string bin = std::string(kRecycleBinName) + "/" + kUser + "/";
  const std::map<std::string, std::string> renamed = {
      {"$RAB12CD.txt", "report.txt"}, {"$RXY34EF.doc", "年度总结.doc"}, {"$R0SMALL.ini", "tiny.ini"}};
  const std::map<std::string, uint64_t> sizes = {{"report.txt", 5400}, {"年度总结.doc", 5124}, {"tiny.ini", 8}};
  size_t expected = 0;
  for (const auto& [path, deleted] : truth) {
    SCOPED_TRACE(path);
    std::string ours = path;
    if (path.rfind("$RECYCLE.BIN", 0) == 0) {
      ours = kRecycleBinName + path.substr(12);
      const std::string name = path.substr(path.rfind('/') + 1);
      if (name.rfind("$I", 0) == 0) {  // the companion is gone
        EXPECT_EQ(listed.count(ours), 0u);
        continue;
      }
      if (renamed.count(name)) ours = bin + renamed.at(name);
    }
    ++expected;
    auto it = listed.find(ours);
    ASSERT_NE(it, listed.end()) << ours;
    const FileRecord& r = *it->second;
    if (ours == kRecycleBinName) {
      EXPECT_EQ(r.state(), kStateDeletedDir);  // everything below counts as deleted
    } else {
      EXPECT_EQ(r.is_deleted(), deleted);
    }
    const std::string name = ours.substr(ours.rfind('/') + 1);
    if (sizes.count(name)) {
      EXPECT_EQ(r.size, sizes.at(name));
    }
  }
  EXPECT_EQ(listed.size(), expected);
  EXPECT_EQ(listed.count(bin + "$RLONELY.bin"), 1u);  // no companion: the name stays
}

}  // namespace
}  // namespace trovium
