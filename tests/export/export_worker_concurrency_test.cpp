// One worker at a time: a stopped worker that still runs refuses the next
// export until it has ended, and is joined, never left behind.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "export/export_engine.h"

namespace trovium {
namespace {

class StopAtOnce : public ProgressView {
 public:
  bool Tick(const ProgressReport*) override { return false; }
};
class Patient : public ProgressView {
 public:
  bool Tick(const ProgressReport*) override { return true; }
};

TEST(ExportWorker, StoppedWorkerBlocksTheNextUntilJoined) {
  std::atomic<bool> release{false};
  std::atomic<bool> wrote_after_stop{false};
  auto job = std::make_shared<ExportJob>();
  StopAtOnce stop;
  // The worker sees the stop only when released, as a worker in the middle of a piece would.
  EXPECT_FALSE(RunWithProgress(job, [&](ExportJob& j) {
    while (!release.load()) std::this_thread::yield();
    if (j.control.load() == kWorkerStop) wrote_after_stop = true;
  }, stop));
  EXPECT_EQ(job->control.load(), kWorkerStop);
  EXPECT_TRUE(ExportWorkerBusy());
  Patient patient;
  auto second = std::make_shared<ExportJob>();
  EXPECT_FALSE(RunWithProgress(second, [](ExportJob&) {}, patient));
  release = true;
  JoinExportWorkers();
  EXPECT_FALSE(ExportWorkerBusy());
  EXPECT_TRUE(wrote_after_stop.load());
  std::atomic<int> runs{0};
  EXPECT_TRUE(RunWithProgress(second, [&](ExportJob&) { runs++; }, patient));
  EXPECT_EQ(runs.load(), 1);
  EXPECT_EQ(second->control.load(), kWorkerFinished);
}

}  // namespace
}  // namespace trovium
