#include <gtest/gtest.h>

#include "store/volume_builder.h"

namespace trovium {
namespace {

using test::BaseVolume;
using test::Put;

VolumeRecord WithOrphans(uint32_t count) {
  VolumeRecord v = BaseVolume();
  GrowRecords(v, uint64_t{count} + 6);
  for (uint32_t i = 0; i < count; ++i) Put(v, 6 + i, 0, "f" + std::to_string(i) + ".jpg", kStateDeletedFile);
  BuildTree(v);
  return v;
}

TEST(SplitLostFiles, GroupsOfThreeHundred) {
  struct Case {
    uint32_t orphans;
    std::vector<uint32_t> group_sizes;
  } cases[] = {{301, {300, 1}}, {900, {300, 300, 300}}};
  for (const Case& c : cases) {
    VolumeRecord v = WithOrphans(c.orphans);
    ASSERT_TRUE(SplitLostFiles(v));
    const std::vector<uint32_t> groups = GetRecord(v, kLostIndex)->children;
    ASSERT_EQ(groups.size(), c.group_sizes.size());
    uint32_t next_orphan = 6;
    for (size_t g = 0; g < groups.size(); ++g) {
      const FileRecord* d = GetRecord(v, groups[g]);
      char name[24];
      std::snprintf(name, sizeof name, "%03zu", g);
      EXPECT_EQ(d->name, name);
      EXPECT_EQ(d->state(), kStateDeletedDir);
      ASSERT_EQ(d->child_count(), c.group_sizes[g]);
      for (uint32_t child : d->children) {
        EXPECT_EQ(child, next_orphan++);  // moved in order
        EXPECT_EQ(GetRecord(v, child)->parent, groups[g]);
      }
    }
  }
}

TEST(SplitLostFiles, ThreeHundredOrFewerStayPut) {
  VolumeRecord v = WithOrphans(300);
  EXPECT_FALSE(SplitLostFiles(v));
  EXPECT_EQ(GetRecord(v, kLostIndex)->child_count(), 300u);
}

TEST(SplitLostFiles, RefusedWhenTheGroupsDoNotFit) {
  // 30 001 orphans need 101 group directories; only 100 slots remain.
  VolumeRecord v = WithOrphans(30001);
  v.file_count = kMaxRecords - 100;
  EXPECT_FALSE(SplitLostFiles(v));
  const FileRecord* lost = GetRecord(v, kLostIndex);
  ASSERT_EQ(lost->child_count(), 30001u);
  for (uint32_t c : lost->children) ASSERT_EQ(GetRecord(v, c)->parent, kLostIndex);
  EXPECT_LT(v.file_capacity(), 40000u);  // nothing grown for a split that cannot finish
}

}  // namespace
}  // namespace trovium
