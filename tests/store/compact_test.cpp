#include <gtest/gtest.h>

#include "store/volume_builder.h"

namespace trovium {
namespace {

using test::BaseVolume;
using test::Put;

TEST(Compact, ClosesGapsAndRewritesLinks) {
  // A directory at 6006 with two files at 6010 and 6012; 6000 empty slots before it.
  VolumeRecord v = BaseVolume();
  Put(v, 6, kRootIndex, "keep", kStateDir);
  Put(v, 6006, kRootIndex, "dir", kStateDir);
  Put(v, 6010, 6006, "a.jpg", kStateFile);
  Put(v, 6012, 6006, "b.jpg", kStateFile);
  Put(v, 6013, 6, "c.jpg", kStateFile);
  BuildTree(v);
  CompactVolume(v);
  EXPECT_EQ(v.file_count, 11u);
  EXPECT_LE(v.file_capacity(), 11u + 3000u);
  EXPECT_EQ(GetRecord(v, 7)->name, "dir");
  EXPECT_EQ(GetRecord(v, 7)->children, (std::vector<uint32_t>{8, 9}));
  EXPECT_EQ(GetRecord(v, 8)->parent, 7u);
  EXPECT_EQ(GetRecord(v, 9)->name, "b.jpg");
  EXPECT_EQ(GetRecord(v, 10)->parent, 6u);
  EXPECT_EQ(GetRecord(v, 6)->children, std::vector<uint32_t>{10});
  EXPECT_EQ(GetRecord(v, kRootIndex)->children, (std::vector<uint32_t>{4, 6, 7}));
  EXPECT_EQ(PathToRoot(v, 9), (std::vector<uint32_t>{9, 7, 5}));
}

TEST(Compact, FewGapsKeepIndices) {
  VolumeRecord v = BaseVolume();
  Put(v, 4000, kRootIndex, "a.jpg", kStateFile);
  for (uint32_t i = 6; i < 12; ++i) Put(v, i, kRootIndex, "x.jpg", kStateFile);
  CompactVolume(v);
  EXPECT_NE(GetRecord(v, 4000), nullptr);
  EXPECT_EQ(v.file_count, 4001u);
}

}  // namespace
}  // namespace trovium
