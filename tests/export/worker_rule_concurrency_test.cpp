// One export, save or open worker at a time: while a stopped worker still
// runs, a new save or open is refused without starting anything, and the end
// of the program stops and joins it before the copies are removed.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "common/test_support.h"
#include "export/quick_open.h"
#include "export/scoped_home.h"
#include "export/synthetic_volume.h"
#include "export/temp_files.h"

namespace trovium {
namespace {

struct SilentView : ProgressView {
  bool Tick(const ProgressReport*) override { return true; }
};
// Presses the stop button at once.
struct StopView : ProgressView {
  bool Tick(const ProgressReport*) override { return false; }
};

class WorkerRuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::SyntheticVolume v(dir_.File("src.img"));
    file_ = v.File(kRootIndex, "a.txt", test::Bytes(900, 3));
    request_.store = &store_;
    request_.volume = v.Publish(store_);
    request_.source = v.Source();
    request_.record = file_;
    request_.prompt = &prompt_;
  }
  void TearDown() override {
    release_ = true;
    EndQuickOpen();
  }

  // A worker that, once stopped, keeps running until released.
  void StartLingeringWorker() {
    auto job = std::make_shared<ExportJob>();
    StopView stop;
    ASSERT_FALSE(RunWithProgress(job, [this](ExportJob&) {
      while (!release_.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      finished_ = true;
    }, stop));
    ASSERT_TRUE(ExportWorkerBusy());
  }

  bool Open() {
    SilentView view;
    return QuickOpen(request_, view, [this](const std::string&) { return ++opens_, true; });
  }

  test::TempDir home_, dir_;
  test::ScopedHome scoped_home_{home_.path()};
  FoundFileStore store_;
  ScriptedPrompt prompt_;
  RecordRequest request_;
  uint32_t file_ = 0;
  std::atomic<bool> release_{false}, finished_{false};
  int opens_ = 0;
};

TEST_F(WorkerRuleTest, SaveAndOpenAreRefusedWhileAStoppedWorkerLives) {
  StartLingeringWorker();
  bool dialog_shown = false;
  SilentView view;
  EXPECT_FALSE(Open());
  EXPECT_FALSE(ExportCurrent(request_, [&](uint32_t, uint64_t, ExportChoice&) { return dialog_shown = true; }, view));
  EXPECT_FALSE(dialog_shown);
  EXPECT_FALSE(RunWithProgress(std::make_shared<ExportJob>(), [](ExportJob&) {}, view));
  EXPECT_EQ(opens_, 0);
  EXPECT_EQ(TempFileCount(), 0u);

  release_ = true;
  JoinExportWorkers();
  EXPECT_TRUE(finished_.load());
  EXPECT_FALSE(ExportWorkerBusy());
  EXPECT_TRUE(Open());
  EXPECT_EQ(opens_, 1);
}

TEST_F(WorkerRuleTest, EndWaitsForTheWorker) {
  StartLingeringWorker();
  // Released a little later: an end that does not join returns before it.
  std::thread later([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    release_ = true;
  });
  EndQuickOpen();
  EXPECT_TRUE(finished_.load());
  EXPECT_FALSE(ExportWorkerBusy());
  later.join();
}

}  // namespace
}  // namespace trovium
