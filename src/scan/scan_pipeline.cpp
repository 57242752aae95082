#include "scan/scan_pipeline.h"

#include "core/report.h"
#include "core/user_prompt.h"
#include "scan/chunk_map.h"

namespace trovium {

ScanParameter::~ScanParameter() {
  // Teardown order: the threads use everything below, so they are stopped and
  // joined before any member goes.
  StopDeepScan(*this);
  WaitDeepScan(*this);
}

void FillScanParameterFromJob(ScanParameter& scan) {
  scan.source = GetCurrentSource();
  scan.mode = GetRecoveryMode();
  scan.settings = GetScanSettings();
}

bool StartDeepScan(ScanParameter& scan) {
  if (scan.reader.joinable() || scan.handler.joinable()) return false;
  if (scan.order == nullptr) scan.order = &CurrentChunkOrder();
  if (scan.hits == nullptr) scan.hits = &CurrentHitStore();
  const uint64_t device_sectors = scan.source.device_sectors;
  if (ChunkCountFor(device_sectors) == 0 || ChunkCountFor(device_sectors) > kMaxScanChunks) {
    GetUserPrompt().Inform(kBadDeviceSize, "");
    ReportEvent(1, "Dev size failed!");
    return false;
  }
  if (!scan.queue.Create()) {
    ReportEvent(1, "Alloc mem failed!");
    return false;
  }
  scan.ScanState.store(kScanRunning);
  scan.ReaderDone.store(0);
  scan.ScanCompleted.store(0);
  scan.reader_open_failed.store(false);
  scan.handler_done.store(false);
  scan.save_offered.store(false);
  scan.reader = std::thread(DiskScanAndViewThread, std::ref(scan));
  return true;
}

void StopDeepScan(ScanParameter& scan) {
  scan.ScanState.store(kScanStopped);
  scan.queue.Wake();
  scan.ReaderDone.notify_all();
}

void WaitDeepScan(ScanParameter& scan) {
  if (scan.reader.joinable()) scan.reader.join();
  // The reader starts the handler; after joining the reader its thread object is ours to read.
  if (scan.handler.joinable()) scan.handler.join();
}

void ShutdownDeepScan(ScanParameter& scan) {
  StopDeepScan(scan);
  WaitDeepScan(scan);
  if (scan.hits != nullptr) ReleaseHitStore(*scan.hits);
  if (scan.order != nullptr) scan.order->map.Release();
  scan.queue.Release();
}

}  // namespace trovium
