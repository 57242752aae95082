// The deep scan's handler thread: examines the chunks in queue order, then
// ends the scan (save offer, release, post-scan processing).

#include <algorithm>
#include <thread>

#include "core/report.h"
#include "core/user_prompt.h"
#include "scan/chunk_examination.h"
#include "scan/scan_clock.h"
#include "scan/scan_pipeline.h"
#include "scan/scan_stats_prep.h"

namespace trovium {
namespace {

constexpr auto kWaitStep = std::chrono::milliseconds(100);

void PostStats(const ScanStats& stats) {
  ProgressReport report{};
  report.reportKind = kProgressScan;
  report.scan = stats;
  PostProgress(report);
}

void WaitForReader(ScanParameter& scan) {
  int done = scan.ReaderDone.load();
  while (done == 0) {
    scan.ReaderDone.wait(done);
    done = scan.ReaderDone.load();
  }
}

void PostScanProcessing(ScanParameter& scan) {
  int finished = kScanFinished;
  if (!scan.ScanState.compare_exchange_strong(finished, kScanRunning)) return;
  Notifier* window = scan.notifier != nullptr ? scan.notifier : GetNotifier();
  if (window != nullptr) window->Send(kMsgPostScanBefore, 0, 0);
  if (scan.post_scan_delay_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(scan.post_scan_delay_ms));
  if (scan.hooks.post_scan_processing) scan.hooks.post_scan_processing();
  if (window != nullptr) window->Send(kMsgPostScanAfter, 0, 0);
  // A stop during the processing leaves the state stopped.
  int running = kScanRunning;
  scan.ScanState.compare_exchange_strong(running, kScanFinished);
}

}  // namespace

void RunHandlerLoop(ScanParameter& scan, const std::function<void(ChunkBuffer& chunk)>& examine,
                    const std::function<void()>& after_empty_take) {
  for (;;) {
    // The state is read before the queue is looked at: the reader queues its
    // last chunk before it reports the scan finished, so "finished and
    // nothing to take" means nothing is left.
    const int state = scan.ScanState.load();
    if (state == kScanStopped) return;
    ChunkBuffer* chunk = nullptr;
    if (scan.queue.TakeNextChunk(chunk)) {
      examine(*chunk);
      scan.queue.ReturnBuffer(chunk);
      continue;
    }
    if (after_empty_take) after_empty_take();
    if (state == kScanFinished) return;
    scan.queue.WaitForChunk(kWaitStep, [&] { return scan.ScanState.load() != kScanRunning; });
  }
}

bool OfferToSaveScan(ScanParameter& scan) {
  if (scan.application_closing.load()) return false;
  uint32_t elapsed = scan.hooks.elapsed_seconds ? scan.hooks.elapsed_seconds() : ScanElapsedSeconds();
  if (elapsed < kSaveOfferMinSeconds) return false;
  std::string minutes;
  if (ScanMinuteText(elapsed, minutes)) ReportEvent(kScanMinuteReportCode, minutes);
  // Chunks read but never examined are to be read again by a resumed scan.
  ResetUnexaminedChunks(*scan.order);
  if (!scan.hooks.save_scan_data) return false;
  scan.save_offered.store(true);
  UserPrompt& prompt = GetUserPrompt();
  if (!prompt.Ask(kSaveScanQuestion, "")) return true;
  if (!scan.hooks.save_scan_data()) prompt.Inform(kSaveScanFailed, "");
  return true;
}

void DiskFileScanHandThread(ScanParameter& scan) {
  WorkerScope worker("DiskFileScanHandThread");
  ChunkOrder& order = *scan.order;
  HitStore& hits = *scan.hits;
  ScanStats stats{};
  const uint64_t range_sectors = scan.settings.ScanRangeCount;
  PrepareScanStats(stats, order, hits, range_sectors);
  PostStats(stats);

  ChunkExamination exam;
  exam.order = &order;
  exam.store = &hits;
  exam.stats = &stats;
  exam.show_while_scanning = OptionOn(scan.settings.ShowWhileScanning);
  exam.steps = scan.hooks.exam_steps;
  const ChunkBuffer* current = nullptr;
  exam.await_sectors = [&current](uint64_t sectors) -> uint64_t {
    return AwaitChunkFill(*current, static_cast<uint32_t>(std::min<uint64_t>(sectors, kScanChunkSectors)));
  };
  RunHandlerLoop(scan, [&](ChunkBuffer& chunk) {
    current = &chunk;
    ProcessChunk(exam, ByteView(chunk.data, kChunkDataBytes), chunk.lba);
    current = nullptr;
  });

  // The reader may still be claiming a chunk: only once it has ended is the
  // map final for the save and the queue free to go.
  WaitForReader(scan);
  OfferToSaveScan(scan);

  if (scan.ScanState.load() == kScanFinished) scan.ScanCompleted.store(1);
  scan.queue.Release();
  order.map.Release();
  ReleaseKnownFileStarts(hits);

  PostScanProcessing(scan);
  scan.final_stats = stats;
  scan.handler_done.store(true);
}

}  // namespace trovium
