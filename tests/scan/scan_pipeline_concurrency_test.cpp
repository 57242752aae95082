// The deep scan's reader and handler threads against each other and against
// the owner that starts and stops them.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "common/test_support.h"
#include "core/notifier.h"
#include "core/report.h"
#include "core/user_prompt.h"
#include "scan/chunk_map.h"
#include "scan/read_error_report.h"
#include "scan/scan_pipeline.h"
#include "scan/sector_census.h"
#include "scan/structure_detector.h"

namespace trovium {
namespace {

constexpr uint64_t kChunk = 16384;

// A scan of an image with its own order and hit store, answers scripted.
struct Harness {
  ChunkOrder order;
  HitStore hits;
  ScriptedPrompt prompt;
  RecordingNotifier window;
  ScanParameter scan;

  Harness(const std::string& image, uint64_t sectors) {
    SetUserPrompt(&prompt);
    scan.source.device_path = image;
    scan.source.display_name = image;
    scan.source.sector_count = sectors;
    scan.source.device_sectors = sectors;
    scan.settings = DefaultScanSettings(scan.source, kModeAll);
    scan.order = &order;
    scan.hits = &hits;
    scan.notifier = &window;
    scan.post_scan_delay_ms = 0;
  }
  ~Harness() {
    ShutdownDeepScan(scan);
    SetUserPrompt(nullptr);
  }
  // Answers yes to the save question and keeps what the save would see.
  void SaveWithSnapshot(uint32_t elapsed) {
    prompt.SetAskAnswer(true);
    scan.hooks.elapsed_seconds = [elapsed] { return elapsed; };
    scan.hooks.save_scan_data = [this] {
      saw_reader_done = scan.ReaderDone.load();
      saw_queued = scan.queue.Count();
      void* block = nullptr;
      uint64_t size = 0;
      if (CopyChunkMap(order, block, size)) saved_map.assign(static_cast<uint8_t*>(block), static_cast<uint8_t*>(block) + size);
      MemFree(block);
      return true;
    };
  }
  std::vector<uint8_t> saved_map;
  int saw_reader_done = -1;
  uint32_t saw_queued = 99;
};

std::string SparseImage(const test::TempDir& dir, uint64_t bytes) {
  std::string path = dir.File("sparse.img");
  EXPECT_TRUE(test::WriteFile(path, {}));
  EXPECT_EQ(::truncate(path.c_str(), static_cast<off_t>(bytes)), 0);
  return path;
}

TEST(ScanPipeline, WholeScanFindsWhatTheCensusFindsAndReadsEveryChunkOnce) {
  const std::string image = test::TestDataPath("fixtures/disk-mbr.img");
  CSectorSource src;
  ASSERT_TRUE(OpenImage(image, src));
  SectorCensus census;
  ASSERT_TRUE(RunSectorCensus(src, 1u << 20, {}, census));
  CloseSource(src);

  Harness h(image, census.sectors);
  h.SaveWithSnapshot(120);
  ASSERT_TRUE(StartDeepScan(h.scan));
  WaitDeepScan(h.scan);

  std::vector<std::pair<uint8_t, uint64_t>> expected, got;
  HitList all{MemAllocator<ScanHit>(404)};
  CollectHits(h.hits, all, false, false);
  // A sector that starts a file is not examined for structures: the census,
  // which knows no file signatures, is compared on the other sectors.
  std::set<uint64_t> file_starts;
  for (const ScanHit& hit : all) {
    if (hit.kind >= StructKind::kMbr) got.emplace_back(hit.kind, hit.lba);
    else file_starts.insert(hit.lba);
  }
  for (const KindCount& k : census.kinds)
    for (uint64_t lba : k.lbas)
      if (!file_starts.count(lba)) expected.emplace_back(k.kind, lba);
  std::sort(expected.begin(), expected.end());
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, expected);

  const uint64_t chunks = ChunkCountFor(census.sectors);
  EXPECT_EQ(ReadCount(), chunks);
  EXPECT_EQ(ReadErrorCount(), 0u);
  EXPECT_EQ(h.saved_map, std::vector<uint8_t>(chunks, kChunkExamined));
  EXPECT_EQ(h.scan.final_stats.doneSectors, chunks * kChunk);
  EXPECT_EQ(h.scan.ScanState.load(), kScanFinished);
  EXPECT_EQ(h.scan.ScanCompleted.load(), 1);
  EXPECT_EQ(h.window.Count(kMsgPostScanBefore), 1u);
  EXPECT_EQ(h.window.Count(kMsgPostScanAfter), 1u);
  EXPECT_EQ(LiveWorkerCount(), 0);
}

TEST(ScanPipeline, SaveQuestionOnlyAfter120Seconds) {
  test::TempDir dir;
  const std::string image = SparseImage(dir, 3 * kChunk * 512);
  for (uint32_t elapsed : {119u, 120u}) {
    Harness h(image, 3 * kChunk);
    h.SaveWithSnapshot(elapsed);
    ASSERT_TRUE(StartDeepScan(h.scan));
    WaitDeepScan(h.scan);
    EXPECT_EQ(h.prompt.ShownTexts().size(), elapsed >= 120 ? 1u : 0u) << elapsed;
    EXPECT_EQ(h.scan.save_offered.load(), elapsed >= 120);
  }
}

TEST(ScanPipeline, DeviceOfOneShortChunkIsReadOnceUncounted) {
  test::TempDir dir;
  Harness h(SparseImage(dir, (kChunk - 1) * 512), kChunk - 1);
  ASSERT_TRUE(StartDeepScan(h.scan));
  WaitDeepScan(h.scan);
  EXPECT_EQ(ReadCount(), 0u);
  EXPECT_EQ(h.scan.final_stats.doneSectors, kChunk);
  EXPECT_EQ(h.scan.ScanCompleted.load(), 1);
}

// A chunk queued, and the scan reported finished, between a failed take and
// the look at the state: the handler must still examine it.
TEST(ScanPipeline, HandlerExaminesTheChunkQueuedJustBeforeFinished) {
  ScanParameter scan;
  ASSERT_TRUE(scan.queue.Create());
  int examined = 0;
  bool injected = false;
  RunHandlerLoop(
      scan, [&](ChunkBuffer&) { ++examined; },
      [&] {
        if (injected) return;
        injected = true;
        ChunkBuffer* last = scan.queue.AcquireBuffer();
        ASSERT_TRUE(scan.queue.EnqueueChunk(last));
        scan.ScanState.store(kScanFinished);
      });
  EXPECT_EQ(examined, 1);
}

// The handler is held on the first chunk until the queue is full and the
// reader waits for room; then the scan is stopped.
TEST(ScanPipeline, StopWhileTheReaderWaitsForRoomHandsNothingOn) {
  test::TempDir dir;
  Harness h(SparseImage(dir, 64 * kChunk * 512), 64 * kChunk);
  h.SaveWithSnapshot(120);
  std::mutex m;
  std::condition_variable cv;
  bool release = false;
  std::atomic<int> reads{0};
  std::vector<uint64_t> examined;
  h.scan.hooks.before_chunk_read = [&](uint64_t) { reads.fetch_add(1); };
  h.scan.hooks.exam_steps.publish_carved_files = [&](std::span<const ScanHit>, uint64_t lba) {
    examined.push_back(lba);
    std::unique_lock<std::mutex> hold(m);
    cv.wait(hold, [&] { return release; });
  };
  ASSERT_TRUE(StartDeepScan(h.scan));
  // One chunk with the handler, eight queued, the tenth read and waiting.
  while (reads.load() < 10 || h.scan.queue.Count() < 8) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  StopDeepScan(h.scan);
  {
    std::lock_guard<std::mutex> hold(m);
    release = true;
  }
  cv.notify_all();
  WaitDeepScan(h.scan);

  EXPECT_EQ(examined, std::vector<uint64_t>{0});
  EXPECT_EQ(reads.load(), 10);        // nothing claimed or read after the stop
  EXPECT_EQ(h.saw_reader_done, 1);    // the save waited for the reader
  EXPECT_EQ(h.saw_queued, 8u);        // the waiting chunk never went in
  std::vector<uint8_t> want(64, kChunkNotScanned);
  want[0] = kChunkExamined;           // the rest is to be read again
  EXPECT_EQ(h.saved_map, want);
  EXPECT_EQ(h.scan.ScanState.load(), kScanStopped);
  EXPECT_EQ(h.scan.ScanCompleted.load(), 0);
  EXPECT_EQ(h.window.Count(kMsgPostScanBefore), 0u);
}

TEST(ScanPipeline, StopDuringAScanEndsBothThreads) {
  test::TempDir dir;
  const uint64_t sectors = 8ull << 21;  // 8 GiB of zeros
  Harness h(SparseImage(dir, sectors * 512), sectors);
  std::atomic<int> reads{0};
  h.scan.hooks.before_chunk_read = [&](uint64_t) { reads.fetch_add(1); };
  ASSERT_TRUE(StartDeepScan(h.scan));
  while (reads.load() < 4) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  StopDeepScan(h.scan);
  WaitDeepScan(h.scan);
  EXPECT_EQ(LiveWorkerCount(), 0);
  EXPECT_EQ(h.scan.ScanState.load(), kScanStopped);
  EXPECT_LT(h.scan.final_stats.doneSectors, sectors);
}

TEST(ScanPipeline, ShutdownMidScanJoinsBeforeReleasing) {
  test::TempDir dir;
  const uint64_t sectors = 8ull << 21;
  Harness h(SparseImage(dir, sectors * 512), sectors);
  std::atomic<int> reads{0};
  h.scan.hooks.before_chunk_read = [&](uint64_t) { reads.fetch_add(1); };
  ASSERT_TRUE(StartDeepScan(h.scan));
  while (reads.load() < 4) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ShutdownDeepScan(h.scan);
  EXPECT_EQ(LiveWorkerCount(), 0);
  EXPECT_EQ(h.hits.ChunkHits, nullptr);
  EXPECT_TRUE(h.order.map.empty());
}

TEST(ScanPipeline, SourceCutShortMidScanEndsWithTheReadErrorReport) {
  test::TempDir dir;
  const uint64_t chunks = 40;
  const std::string image = SparseImage(dir, chunks * kChunk * 512);
  Harness h(image, chunks * kChunk);
  std::vector<std::pair<int, std::string>> reports;
  std::mutex reports_lock;
  ScopedReportSink sink([&](int code, const std::string& text) {
    std::lock_guard<std::mutex> hold(reports_lock);
    reports.emplace_back(code, text);
  });
  std::atomic<int> reads{0};
  h.scan.hooks.before_chunk_read = [&](uint64_t) {
    if (reads.fetch_add(1) == 3) {
      EXPECT_EQ(::truncate(image.c_str(), 0), 0);
    }
  };
  ASSERT_TRUE(StartDeepScan(h.scan));
  WaitDeepScan(h.scan);

  EXPECT_EQ(ReadCount(), chunks);
  EXPECT_EQ(ReadErrorCount(), chunks - 3);
  std::string text;
  ASSERT_TRUE(ScanReadErrorText(chunks - 3, chunks, false, text));
  auto shown = h.prompt.ShownTexts();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, text);
  std::lock_guard<std::mutex> hold(reports_lock);
  EXPECT_NE(std::find(reports.begin(), reports.end(),
                      std::make_pair(kScanReadErrorReportCode, ScanReadErrorReportText(chunks - 3, chunks))),
            reports.end());
  EXPECT_EQ(h.scan.ScanCompleted.load(), 1);
}

TEST(ScanPipeline, UnopenableDeviceWaitsForTheStop) {
  test::TempDir dir;
  Harness h(dir.File("missing.img"), 4 * kChunk);
  ASSERT_TRUE(StartDeepScan(h.scan));
  while (!h.scan.reader_open_failed.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_FALSE(DeepScanDone(h.scan));
  StopDeepScan(h.scan);
  WaitDeepScan(h.scan);
  EXPECT_EQ(h.scan.ScanState.load(), kScanStopped);
  EXPECT_EQ(LiveWorkerCount(), 0);
}

}  // namespace
}  // namespace trovium
