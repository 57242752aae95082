// The deep scan's reader thread: scan start, then the chunks in the chunk
// order, each read in pieces into a pooled buffer and handed to the handler.

#include <cstring>

#include "core/report.h"
#include "scan/chunk_map.h"
#include "scan/read_error_report.h"
#include "scan/scan_clock.h"
#include "scan/scan_pipeline.h"
#include "scan/sector_source.h"
#include "store/store.h"

namespace trovium {
namespace {

constexpr auto kWaitStep = std::chrono::milliseconds(100);

bool Stopped(const ScanParameter& scan) { return scan.ScanState.load() == kScanStopped; }

// Scan start: clock, hits, chunk map (new or reused), chunk order, per-scan
// lists and the store.
void PrepareScan(ScanParameter& scan) {
  scan.ScanCompleted.store(0);
  StartScanClock();
  ChunkOrder& order = *scan.order;
  HitStore& hits = *scan.hits;
  const uint64_t device_sectors = scan.source.device_sectors;
  CreateHitStore(hits, device_sectors);
  bool reused = scan.hooks.offer_saved_scan && scan.hooks.offer_saved_scan(order, hits);
  if (!reused) order.map.Create(device_sectors);

  ChunkOrderPlan plan;
  plan.mode = scan.mode;
  plan.start_lba = scan.settings.ScanRangeStart;
  plan.sector_count = scan.settings.ScanRangeCount;
  plan.device_sectors = device_sectors;
  plan.removable = scan.source.removable != 0;
  plan.priority_start = scan.settings.PriorityStart;
  plan.priority_size = scan.settings.PrioritySize;
  SetUpChunkOrder(order, plan);
  if (IsFreeSpaceMode(scan.mode) && scan.hooks.plan_free_space) scan.hooks.plan_free_space(order);

  CreateKnownFileStarts(hits, ChunkCountFor(device_sectors));
  if (scan.store != nullptr) scan.store->Reset(scan.source, true);
}

void ReaderEnds(ScanParameter& scan) {
  int running = kScanRunning;
  scan.ScanState.compare_exchange_strong(running, kScanFinished);
  scan.ReaderDone.store(1);
  scan.ReaderDone.notify_all();
  scan.queue.Wake();
}

// Hands a filled chunk on: waits for room while the scan runs; a chunk that
// finds the scan stopped goes back to the pool instead.
void HandOn(ScanParameter& scan, ChunkBuffer* chunk) {
  if (scan.queue.EndFill(chunk)) return;  // the handler is on it already
  while (!scan.queue.EnqueueChunk(chunk)) {
    if (Stopped(scan)) {
      scan.queue.ReturnBuffer(chunk);
      return;
    }
    scan.queue.WaitForSpace(kWaitStep, [&] { return Stopped(scan); });
  }
}

void ReadChunks(ScanParameter& scan, CSectorSource& device) {
  ChunkOrder& order = *scan.order;
  uint64_t lba = 0;
  if (Stopped(scan) || !NextChunk(order, lba)) return;
  for (;;) {
    ChunkBuffer* chunk = scan.queue.AcquireBuffer();
    while (chunk == nullptr && !Stopped(scan)) {
      scan.queue.WaitForSpace(kWaitStep, [&] { return Stopped(scan); });
      chunk = scan.queue.AcquireBuffer();
    }
    if (chunk == nullptr) return;
    chunk->lba = lba;
    chunk->filled.store(0, std::memory_order_relaxed);
    scan.queue.BeginFill(chunk);
    if (scan.hooks.before_chunk_read) scan.hooks.before_chunk_read(lba);
    // A failed piece leaves zeros; the chunk is handed on all the same.
    ReadSectorsInPieces(kChunkSectors, kScanPieceSectors, device, chunk->data, lba,
                        [chunk](uint32_t sectors) { PublishChunkFill(*chunk, sectors); });
    std::memcpy(chunk->data + kChunkDataBytes, &lba, sizeof lba);
    HandOn(scan, chunk);
    // After a stop nothing more is claimed: a claimed chunk would stay marked
    // as read in a saved map.
    if (Stopped(scan) || !NextChunk(order, lba)) return;
  }
}

}  // namespace

void DiskScanAndViewThread(ScanParameter& scan) {
  WorkerScope worker("DiskScanAndViewThread");
  PrepareScan(scan);
  scan.handler = std::thread(DiskFileScanHandThread, std::ref(scan));

  SourceLocation where;
  where.device_path = scan.source.device_path;
  where.display_name = scan.source.display_name;
  where.start_lba = scan.source.start_lba;
  where.sector_count = scan.source.sector_count;
  CSectorSource device;
  if (!OpenDevice(where, device)) {
    // The scan stays running until the user stops it; the front end sees why.
    scan.reader_open_failed.store(true);
    scan.ReaderDone.store(1);
    scan.ReaderDone.notify_all();
    scan.queue.Wake();
    return;
  }
  SetReadErrorMode(1);
  ZeroReadCounters();
  ReadChunks(scan, device);
  ReportScanReadErrors(ReadErrorCount(), ReadCount(), scan.source.removable != 0);
  CloseSource(device);
  ReaderEnds(scan);
}

}  // namespace trovium
