// One export, save or open worker at a time, always joined.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "export/export_engine.h"

namespace trovium {
namespace {

struct WorkerSlot {
  std::mutex lock;
  std::condition_variable ended;
  std::thread thread;
  std::shared_ptr<ExportJob> job;
  bool alive = false;
};

// Process-wide: the worker may outlive the call that started it.
WorkerSlot& Slot() {
  static WorkerSlot slot;
  return slot;
}

}  // namespace

bool ExportWorkerBusy() {
  WorkerSlot& s = Slot();
  std::lock_guard<std::mutex> hold(s.lock);
  return s.alive;
}

void JoinExportWorkers() {
  WorkerSlot& s = Slot();
  std::thread t;
  {
    std::lock_guard<std::mutex> hold(s.lock);
    if (s.alive && s.job) {
      int32_t running = kWorkerRunning;
      s.job->control.compare_exchange_strong(running, kWorkerStop);
    }
    t = std::move(s.thread);
  }
  if (t.joinable()) t.join();
  std::lock_guard<std::mutex> hold(s.lock);
  s.job.reset();
}

bool RunWithProgress(std::shared_ptr<ExportJob> job, ExportWorker worker, ProgressView& view) {
  if (!job || !worker) return false;
  WorkerSlot& s = Slot();
  std::thread previous;
  {
    std::lock_guard<std::mutex> hold(s.lock);
    if (s.alive) return false;
    previous = std::move(s.thread);
  }
  if (previous.joinable()) previous.join();
  {
    std::lock_guard<std::mutex> hold(s.lock);
    if (s.alive || s.thread.joinable()) return false;  // another caller got in first
    ClearProgress();
    s.alive = true;
    s.job = job;
    s.thread = std::thread([job, worker = std::move(worker), &s] {
      worker(*job);
      int32_t running = kWorkerRunning;
      job->control.compare_exchange_strong(running, kWorkerFinished);
      {
        std::lock_guard<std::mutex> h(s.lock);
        s.alive = false;
      }
      s.ended.notify_all();
    });
  }
  for (;;) {
    const int32_t c = job->control.load();
    if (c == kWorkerStop || c == kWorkerFinished) break;
    ProgressReport report{};
    const bool got = TakeProgress(report);
    if (!view.Tick(got ? &report : nullptr)) {
      int32_t running = kWorkerRunning;
      job->control.compare_exchange_strong(running, kWorkerStop);
      break;
    }
    std::unique_lock<std::mutex> hold(s.lock);
    s.ended.wait_for(hold, std::chrono::milliseconds(100), [&] { return !s.alive; });
  }
  const bool completed = job->control.load() == kWorkerFinished;
  if (completed) {
    // The worker has finished its work; wait for its last steps and join it.
    std::thread t;
    {
      std::unique_lock<std::mutex> hold(s.lock);
      s.ended.wait(hold, [&] { return !s.alive; });
      t = std::move(s.thread);
      s.job.reset();
    }
    if (t.joinable()) t.join();
    ProgressReport report{};
    if (TakeProgress(report)) view.Tick(&report);
  }
  view.Done(completed);
  return completed;
}

}  // namespace trovium
