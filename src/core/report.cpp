#include "core/report.h"

#include <atomic>
#include <memory>
#include <mutex>

#include "platform/crash_handler.h"
#include "platform/report_file.h"

namespace trovium {
namespace {

std::atomic<int> g_live_workers{0};

struct SinkSlot {
  std::mutex lock;
  std::shared_ptr<const ReportSink> sink;
};

SinkSlot& Sink() {
  static SinkSlot slot;
  return slot;
}

}  // namespace

std::string CutUtf8(const std::string& text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t end = limit;
  // Step back over continuation bytes (10xxxxxx) to the start of the cut character.
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

void ReportEvent(int code, const std::string& text) {
  try {
    std::string cut = CutUtf8(text, kReportTextLimit);
    std::shared_ptr<const ReportSink> sink;
    {
      SinkSlot& slot = Sink();
      std::lock_guard<std::mutex> guard(slot.lock);
      sink = slot.sink;
    }
    if (sink) {
      (*sink)(code, cut);
      return;
    }
    platform::AppendReport(code, cut);
  } catch (...) {
    // The channel never fails towards the caller: a report that cannot be made is dropped.
  }
}

void SetReportSinkForTesting(ReportSink sink) {
  SinkSlot& slot = Sink();
  std::lock_guard<std::mutex> guard(slot.lock);
  slot.sink = sink ? std::make_shared<const ReportSink>(std::move(sink)) : nullptr;
}

void ThreadBegin(const char* /*name*/) {
  // A worker gets its own signal stack so that a stack overflow in it still
  // reaches the crash handler.
  platform::PrepareCrashStackForThisThread();
  g_live_workers.fetch_add(1, std::memory_order_acq_rel);
}

void ThreadEnd(const char* /*name*/) { g_live_workers.fetch_sub(1, std::memory_order_acq_rel); }

int LiveWorkerCount() { return g_live_workers.load(std::memory_order_acquire); }

}  // namespace trovium
