#include <gtest/gtest.h>

#include "content/file_type_table.h"
#include "store/volume_builder.h"

namespace trovium {
namespace {

using test::BaseVolume;
using test::Put;

TEST(Records, InsertRefusesIndicesAtTheLimit) {
  VolumeRecord v = BaseVolume();
  EXPECT_EQ(Put(v, kMaxRecords, kRootIndex, "a.txt", kStateFile), 0u);
  EXPECT_EQ(v.file_capacity(), 1024u);  // nothing was grown for it
  EXPECT_EQ(Put(v, 0, kRootIndex, "b.txt", kStateFile), 6u);  // index 0 appends
  EXPECT_EQ(GetRecord(v, 6)->type_code, kFileTypeTxt);
}

TEST(Records, GrowthSteps) {
  struct Case {
    uint32_t capacity;
    uint64_t wanted;
    uint32_t expected;
  } cases[] = {{0, 0, 1024}, {1024, 0, 1536}, {1024, 1500, 2048}, {1024, 3000, 3000}, {1024, 10, 1024}};
  for (const Case& c : cases) {
    VolumeRecord v;
    v.files.resize(c.capacity);
    EXPECT_TRUE(GrowRecords(v, c.wanted));
    EXPECT_EQ(v.file_capacity(), c.expected) << c.capacity << " " << c.wanted;
  }
}

TEST(Records, CountsBeyondTheLimitFailBeforeAllocating) {
  for (uint64_t wanted : {uint64_t{kMaxRecords} + 1, uint64_t{0xFFFFFFFF}, uint64_t{1} << 40}) {
    VolumeRecord v = BaseVolume();
    EXPECT_FALSE(GrowRecords(v, wanted)) << wanted;
    EXPECT_EQ(v.file_capacity(), 1024u);
  }
  std::vector<ViewNode> nodes;
  EXPECT_FALSE(GrowViewNodes(nodes, 0, uint64_t{kMaxViewNodes} + 1));
  EXPECT_TRUE(nodes.empty());
}

TEST(Records, LinkedInsertCountsFilesUpToTheRoot) {
  VolumeRecord v = BaseVolume();
  Put(v, 6, kRootIndex, "d", kStateDir, true);
  Put(v, 7, 6, "e", kStateDir, true);
  Put(v, 8, 7, "x.jpg", kStateFile, true);
  Put(v, 9, 7, "y", kStateDeletedDir, true);
  EXPECT_EQ(GetRecord(v, 6)->subtree_file_count, 1u);
  EXPECT_EQ(GetRecord(v, 7)->subtree_file_count, 1u);
  EXPECT_EQ(GetRecord(v, kRootIndex)->subtree_file_count, 0u);
  EXPECT_EQ(v.shown_file_count, 1u);
  EXPECT_EQ(GetRecord(v, 7)->children, (std::vector<uint32_t>{8, 9}));
  EXPECT_EQ(PathToRoot(v, 8), (std::vector<uint32_t>{8, 7, 6, 5}));
}

TEST(Records, ValidityNeedsMatchingIndexAndName) {
  VolumeRecord v = BaseVolume();
  Put(v, 6, kRootIndex, "a", kStateFile);
  v.files[7].index = 7;  // no name
  v.files[8].name = "b"; // index does not match
  v.file_count = 9;
  EXPECT_NE(GetRecord(v, 6), nullptr);
  EXPECT_EQ(GetRecord(v, 7), nullptr);
  EXPECT_EQ(GetRecord(v, 8), nullptr);
  EXPECT_EQ(GetRecord(v, 0), nullptr);
  EXPECT_EQ(GetRecord(v, 5000), nullptr);
}

}  // namespace
}  // namespace trovium
