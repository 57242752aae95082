#pragma once
// The deep scan: a reader thread (DiskScanAndViewThread) reads the scan range
// chunk by chunk in the chunk order and hands the chunks through the
// eight-chunk queue to a handler thread (DiskFileScanHandThread), which
// examines every sector. At the end the handler offers to save the scan and
// runs the post-scan processing.
//
// The owner of a ScanParameter starts the scan with StartDeepScan, may ask it
// to stop with StopDeepScan, and joins both threads with WaitDeepScan (the
// destructor stops and joins too). Nothing of the scan is released while a
// thread of it still runs.

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

#include "core/notifier.h"
#include "core/user_prompt.h"
#include "scan/chunk_examination.h"
#include "scan/chunk_order.h"
#include "scan/chunk_queue.h"
#include "scan/hit_store.h"
#include "scan/job_state.h"
#include "scan/progress.h"
#include "store/volume_record.h"

namespace trovium {

class FoundFileStore;

// ScanState values.
inline constexpr int kScanRunning = 0;
inline constexpr int kScanStopped = 2;   // the user asked to stop
inline constexpr int kScanFinished = 3;  // the reader read the last chunk

inline constexpr uint32_t kScanPieceSectors = 512;           // the reader publishes its fill every 256 KiB
inline constexpr uint32_t kSaveOfferMinSeconds = 120;        // shorter scans are not offered for saving
inline constexpr char kSaveScanQuestion[] = "是否保存当前已扫描的数据？";
inline constexpr char kSaveScanFailed[] = "保存扫描数据失败！";
inline constexpr char kBadDeviceSize[] = "设备大小不正确！";

// Work that belongs to other components; an unset hook is skipped.
struct ScanHooks {
  // Offers saved scan data of this device; true when the user reused it (the
  // chunk map and the hits were filled from it).
  std::function<bool(ChunkOrder& order, HitStore& hits)> offer_saved_scan;
  // Modes 2 and 5: the chunks that hold free clusters (SetFreeSpaceChunks).
  std::function<void(ChunkOrder& order)> plan_free_space;
  // Saves the scan data; false when the save failed. Without it the user is
  // not asked whether to save.
  std::function<bool()> save_scan_data;
  // The post-scan processing, loading its volumes into the store; false when it failed.
  std::function<bool()> post_scan_processing;
  // Per-chunk steps of the examination (volumes while scanning and the like).
  ChunkExamSteps exam_steps;
  // Scan time without pauses, for the save offer; ScanElapsedSeconds when unset.
  std::function<uint32_t()> elapsed_seconds;
  // Called by the reader before each chunk is read (diagnostics and tests).
  std::function<void(uint64_t chunk_lba)> before_chunk_read;
};

struct ScanParameter {
  // 0 running, 2 stop requested, 3 finished. The owner writes 2; the threads 0 and 3.
  std::atomic<int> ScanState{kScanRunning};

  // The job: the scanned volume (its records are not used), mode and settings.
  VolumeRecord source;
  int32_t mode = kModeAll;
  ScanSettings settings;

  ChunkOrder* order = nullptr;      // CurrentChunkOrder() by default
  HitStore* hits = nullptr;         // CurrentHitStore() by default
  FoundFileStore* store = nullptr;  // reset at scan start when set
  Notifier* notifier = nullptr;     // GetNotifier() when null
  ScanHooks hooks;
  uint32_t post_scan_delay_ms = 500;       // lets the window show that processing starts
  std::atomic<bool> application_closing{false};  // no save offer while closing

  // Pipeline state, written by the threads.
  ChunkQueue queue;
  std::atomic<int> ReaderDone{0};
  std::atomic<int> ScanCompleted{0};
  std::atomic<bool> reader_open_failed{false};
  std::atomic<bool> handler_done{false};
  std::atomic<bool> save_offered{false};
  ScanStats final_stats{};  // the handler's statistics; read after WaitDeepScan

  std::thread reader;
  std::thread handler;  // started by the reader

  ScanParameter() = default;
  ~ScanParameter();
  ScanParameter(const ScanParameter&) = delete;
  ScanParameter& operator=(const ScanParameter&) = delete;
};

// Takes mode, source and settings from the recovery job (CurrentSource,
// RecoveryMode, ScanSettings).
void FillScanParameterFromJob(ScanParameter& scan);

// Starts the reader thread. False, with nothing started, when a scan of this
// parameter runs already or the device has no sectors (then "设备大小不正确！"
// is shown and "Dev size failed!" reported; the front end ends the program).
bool StartDeepScan(ScanParameter& scan);

// Asks the scan to stop (ScanState 2) and wakes its waits at once.
void StopDeepScan(ScanParameter& scan);

// Joins the reader and then the handler.
void WaitDeepScan(ScanParameter& scan);

// Application end: stops and joins the scan's threads, and only then
// releases the hits and the chunk map they write.
void ShutdownDeepScan(ScanParameter& scan);

// True once the handler has left (the scan and its end steps are over).
inline bool DeepScanDone(const ScanParameter& scan) { return scan.handler_done.load(); }

// The threads themselves (started by StartDeepScan and by the reader).
void DiskScanAndViewThread(ScanParameter& scan);
void DiskFileScanHandThread(ScanParameter& scan);

// The handler's loop over the queue: until a stop, or until the reader has
// finished and nothing is left. `examine` is called for every chunk in
// order; `after_empty_take` (tests) runs each time nothing could be taken.
void RunHandlerLoop(ScanParameter& scan, const std::function<void(ChunkBuffer& chunk)>& examine,
                    const std::function<void()>& after_empty_take = {});

// The end-of-scan save offer (after the reader has ended): for scans of at
// least 120 s, chunks read but not examined go back to 0 and, when a save
// hook is set, the user is asked whether to save. True when the question was asked.
bool OfferToSaveScan(ScanParameter& scan);

}  // namespace trovium
