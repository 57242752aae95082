#include <gtest/gtest.h>

#include "scan/job_state.h"

namespace trovium {
namespace {

VolumeRecord Source(uint64_t start, uint64_t count) {
  VolumeRecord s;
  s.start_lba = start;
  s.sector_count = count;
  return s;
}

class JobState : public ::testing::Test {
 protected:
  void SetUp() override { ResetJobStateForTesting(); }
  void TearDown() override { ResetJobStateForTesting(); }
};

TEST_F(JobState, FirstScanTakesTheDefaultsOfTheMode) {
  struct Case {
    int32_t mode;
    uint8_t align;
    uint8_t show_all;
  } cases[] = {{kModeAll, 0, 1}, {kModeDeleted, 1, 2}, {kModeRecycle, 1, 2}, {kModeDisk, 0, 1}};
  for (const Case& c : cases) {
    ResetJobStateForTesting();
    SetRecoveryMode(c.mode);
    SetCurrentSource(Source(2048, 100000));
    PrepareScanSettings();
    const ScanSettings s = GetScanSettings();
    EXPECT_TRUE(ScanSettingsFilled());
    EXPECT_EQ(s.ScanRangeStart, 2048u);
    EXPECT_EQ(s.ScanRangeCount, 100000u);
    EXPECT_EQ(s.PriorityStart, 2048u);
    EXPECT_EQ(s.PrioritySize, 0u);
    EXPECT_EQ(s.AlignCarvedFiles, c.align) << c.mode;
    EXPECT_EQ(s.ShowAllFoundFiles, c.show_all) << c.mode;
    EXPECT_EQ(OptionOn(s.ShowAllFoundFiles), c.show_all == 1) << c.mode;
    EXPECT_TRUE(OptionOn(s.AnalyseNtfs) && OptionOn(s.ShowWhileScanning) && !OptionOn(s.RemoveDuplicateFiles));
  }
}

TEST_F(JobState, LaterScanKeepsOnlyAPriorityRangeInsideTheNewSource) {
  struct Case {
    uint64_t priority_start, priority_size;
    bool kept;
  } cases[] = {
      {3000, 1000, true},                 // inside
      {2048, 50000, true},                // exactly the new range
      {3000, 60000, false},               // ends past the smaller partition
      {1000, 10, false},                  // starts before it
      {3000, ~uint64_t{0} - 100, false},  // would wrap around
  };
  for (const Case& c : cases) {
    ResetJobStateForTesting();
    SetCurrentSource(Source(2048, 100000));
    PrepareScanSettings();
    ScanSettings s = GetScanSettings();
    s.PriorityStart = c.priority_start;
    s.PrioritySize = c.priority_size;
    s.RemoveDuplicateFiles = 1;
    SetScanSettings(s);
    SetCurrentSource(Source(2048, 50000));
    PrepareScanSettings();
    s = GetScanSettings();
    EXPECT_EQ(s.ScanRangeCount, 50000u);
    EXPECT_EQ(s.RemoveDuplicateFiles, 1u);  // the user's choices stay
    EXPECT_EQ(s.PriorityStart, c.kept ? c.priority_start : 2048u) << c.priority_start;
    EXPECT_EQ(s.PrioritySize, c.kept ? c.priority_size : 0u) << c.priority_start;
  }
}

TEST_F(JobState, ModeLockFollowsEachScan) {
  SetRecoveryMode(kModeAll);
  SetCurrentSource(Source(0, 1000));
  PrepareScanSettings();
  SetRecoveryMode(kModeDeleted);
  PrepareScanSettings();
  EXPECT_EQ(GetScanSettings().ShowAllFoundFiles, kOptionLocked);
  EXPECT_FALSE(OptionOn(GetScanSettings().ShowAllFoundFiles));
  SetRecoveryMode(kModeAll);
  PrepareScanSettings();
  EXPECT_EQ(GetScanSettings().ShowAllFoundFiles, kOptionOn);
}

TEST_F(JobState, ModeNames) {
  EXPECT_EQ(RecoveryModeName(kModeDeleted), "Recovery del file");
  EXPECT_EQ(RecoveryModeName(kModeRecycle), "Recovery recycle file");
  EXPECT_EQ(RecoveryModeName(0), "");
}

}  // namespace
}  // namespace trovium
