#include <gtest/gtest.h>

#include "store/volume_builder.h"

namespace trovium {
namespace {

using test::BaseVolume;
using test::Put;

struct Orphan {
  const char* what;
  uint32_t parent;
};

TEST(BuildTree, RecordsWithoutAUsableParentBecomeLostFiles) {
  const Orphan cases[] = {{"parent 0", 0}, {"out of range", 900000}, {"invalid slot", 40},
                          {"parent is a file", 6}, {"own parent", 7}};
  for (const Orphan& c : cases) {
    VolumeRecord v = BaseVolume();
    Put(v, 6, kRootIndex, "file.txt", kStateFile);
    Put(v, 7, c.parent, "x.doc", kStateDeletedFile);
    BuildTree(v);
    EXPECT_EQ(GetRecord(v, 7)->parent, kLostIndex) << c.what;
    EXPECT_EQ(GetRecord(v, kLostIndex)->children, std::vector<uint32_t>{7}) << c.what;
    EXPECT_EQ(PathToRoot(v, 7), (std::vector<uint32_t>{7, 4, 5})) << c.what;
  }
}

TEST(BuildTree, ParentCyclesAreBrokenIntoLostFiles) {
  // Deleted directories whose reused entries point at each other: 6 -> 7 -> 8 -> 6,
  // with a file below the cycle and a healthy directory beside it.
  VolumeRecord v = BaseVolume();
  Put(v, 6, 8, "a", kStateDeletedDir);
  Put(v, 7, 6, "b", kStateDeletedDir);
  Put(v, 8, 7, "c", kStateDeletedDir);
  Put(v, 9, 7, "in.jpg", kStateDeletedFile);
  Put(v, 10, kRootIndex, "ok", kStateDir);
  Put(v, 11, 10, "ok.jpg", kStateFile);
  BuildTree(v);
  for (uint32_t i = 6; i <= 11; ++i) {
    const std::vector<uint32_t> path = PathToRoot(v, i);
    ASSERT_FALSE(path.empty()) << i;
    EXPECT_EQ(path.back(), kRootIndex) << i;
  }
  EXPECT_EQ(GetRecord(v, 9)->parent, 7u);  // not part of the cycle: stays
  EXPECT_EQ(GetRecord(v, 11)->parent, 10u);
  EXPECT_EQ(GetRecord(v, kLostIndex)->children, (std::vector<uint32_t>{6, 7, 8}));
}

TEST(BuildTree, PathToRootEndsOnADamagedChain) {
  VolumeRecord v = BaseVolume();
  Put(v, 6, 7, "a", kStateDir);
  Put(v, 7, 6, "b", kStateDir);
  EXPECT_TRUE(PathToRoot(v, 6).empty());
}

}  // namespace
}  // namespace trovium
