#include <gtest/gtest.h>

#include "store/check_state.h"
#include "store/volume_builder.h"

namespace trovium {
namespace {

using test::BaseVolume;
using test::Put;

// root: d/{a.jpg, s/{b.jpg, c.jpg}}, e.jpg
VolumeRecord Tree() {
  VolumeRecord v = BaseVolume();
  Put(v, 6, kRootIndex, "d", kStateDir);
  Put(v, 7, 6, "a.jpg", kStateFile, false, 10);
  Put(v, 8, 6, "s", kStateDir);
  Put(v, 9, 8, "b.jpg", kStateFile, false, 20);
  Put(v, 10, 8, "c.jpg", kStateFile, false, 40);
  Put(v, 11, kRootIndex, "e.jpg", kStateFile, false, 80);
  BuildTree(v);
  return v;
}

uint16_t Check(const VolumeRecord& v, uint32_t i) { return GetRecord(v, i)->check(); }

TEST(CheckState, TogglingAFileUpdatesAncestors) {
  VolumeRecord v = Tree();
  ASSERT_TRUE(ToggleCheck(v, 9, false));
  EXPECT_EQ(Check(v, 9), kChecked);
  EXPECT_EQ(Check(v, 8), kPartlyChecked);
  EXPECT_EQ(Check(v, 6), kPartlyChecked);
  EXPECT_EQ(Check(v, kRootIndex), kPartlyChecked);
  ASSERT_TRUE(ToggleCheck(v, 10, false));
  EXPECT_EQ(Check(v, 8), kChecked);
  EXPECT_EQ(Check(v, 6), kPartlyChecked);
  EXPECT_EQ(TotalsBelow(v, kRootIndex, false, true).bytes, 60u);
}

TEST(CheckState, PartlyCheckedDirectoryBecomesCheckedThroughout) {
  VolumeRecord v = Tree();
  ToggleCheck(v, 9, false);
  ASSERT_EQ(Check(v, 6), kPartlyChecked);
  ToggleCheck(v, 6, false);
  for (uint32_t i : {6u, 7u, 8u, 9u, 10u}) EXPECT_EQ(Check(v, i), kChecked) << i;
  EXPECT_EQ(Check(v, kRootIndex), kPartlyChecked);  // e.jpg is still unchecked
  ToggleCheck(v, 6, false);
  for (uint32_t i : {6u, 7u, 8u, 9u, 10u, 5u}) EXPECT_EQ(Check(v, i), kUnchecked) << i;
}

TEST(CheckState, FilterHidesRecordsFromMarksAndTotals) {
  VolumeRecord v = Tree();
  for (uint32_t i : {5u, 6u, 8u, 9u}) v.files[i].flags |= kFlagFilterPass;
  EXPECT_FALSE(ToggleCheck(v, 7, true));
  ASSERT_TRUE(ToggleCheck(v, 6, true));
  EXPECT_EQ(Check(v, 9), kChecked);
  EXPECT_EQ(Check(v, 10), kUnchecked);  // not visible under the filter
  EXPECT_EQ(Check(v, 8), kChecked);
  EXPECT_EQ(TotalsBelow(v, 6, true, false).files, 1u);
  EXPECT_EQ(TotalsBelow(v, 6, false, false).files, 3u);
}

}  // namespace
}  // namespace trovium
