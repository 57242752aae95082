#pragma once
// The export engine: copies records of the found-file store out of the source
// into a folder on another drive, on a worker thread behind a progress view.
//
// Entry points: SaveAllToDirThread (everything checked), and the building
// blocks that the save-current and quick-open workers use (ExportRecord,
// CopyFileRecord, ReadRecordData). Only one worker runs at a time
// (RunWithProgress refuses while the previous one still lives) and every
// worker is joined, at the latest by JoinExportWorkers at program end.
//
// Output files are written only through platform/output_file.h; the source is
// read only through the sector source.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/user_prompt.h"
#include "scan/progress.h"
#include "scan/sector_source.h"
#include "store/store.h"

namespace trovium {

// WorkerControl values (those of the scan's state word).
inline constexpr int32_t kWorkerRunning = 0;
inline constexpr int32_t kWorkerStop = 2;
inline constexpr int32_t kWorkerFinished = 3;
using WorkerControl = std::atomic<int32_t>;

// What happens when the output file already existed before this export.
enum class OverwritePolicy : int32_t { kAsk = 0, kOverwrite = 1, kSkip = 2 };
// What happens to a file whose source sectors cannot be read.
//  kEmpty: the file is emptied (removed) and counted as failed;
//  kKeep:  the data written so far stays, the file is counted as failed;
//  kZeros: unreadable sectors are written as zeros and the file is complete.
enum class ReadErrorPolicy : int32_t { kEmpty = 0, kKeep = 1, kZeros = 2 };

// Texts shown by the export.
inline constexpr char kExistsQuestionSuffix[] = "，已经存在，是否覆盖？";
inline constexpr char kNothingCheckedText[] = "请至少选择一个需要恢复的文件或目录!";
inline constexpr char kExportStoppedText[] = "导出文件终止！";
inline constexpr char kNoSpaceStoppedText[] = "导出目录所在磁盘的空间已满，导出已停止！";
inline constexpr char kExportVerb[] = "导出";
inline constexpr char kOpenVerb[] = "打开";

// Outcome of one export, written by the worker and read after it ended.
struct ExportTotals {
  uint32_t files_attempted = 0;
  uint32_t files_recovered = 0;  // written completely
  uint32_t files_skipped = 0;    // left as they were on request (overwrite policy)
  uint32_t files_failed = 0;
  uint64_t bytes_written = 0;    // bytes of the recovered files
  bool out_of_space = false;     // the output drive ran full; the export stopped
  std::vector<std::string> failed_paths;  // the first kMaxListedFailures output paths
};
inline constexpr size_t kMaxListedFailures = 100;

// The parameter block of an export, save or open worker. Shared between the
// caller and the worker (std::shared_ptr), so a stopped worker that still
// runs never touches freed memory.
struct ExportJob {
  WorkerControl control{kWorkerRunning};

  FoundFileStore* store = nullptr;
  SourceLocation source;        // device or image the records' extents lie on
  bool source_removable = false;

  std::string out_dir;          // chosen folder (SaveAllToDirThread) or target folder
  uint32_t volume = 0;          // a volume index or a view reference (index | kViewAddressBit)
  uint32_t record = 0;
  OverwritePolicy overwrite = OverwritePolicy::kOverwrite;
  ReadErrorPolicy read_error = ReadErrorPolicy::kKeep;
  std::string save_dir;         // subfolder name ("SaveDir"); empty: none
  UserPrompt* prompt = nullptr; // GetUserPrompt() when null

  // Written by the worker.
  std::string export_root;      // the folder the export wrote into
  ExportTotals totals;

  // Worker state: normalised check marks per volume, and the output names
  // created in this export (folder -> names), for numbering clashes.
  std::unordered_map<uint32_t, std::vector<uint8_t>> check_states;
  std::unordered_map<std::string, std::unordered_set<std::string>> created;
};

// The record of the progress mailbox (kind 3) plus what the worker counts.
struct ExportProgress {
  ProgressReport report{};      // report.exportCopy is the published part
  void Publish();               // PostProgress, never waits
};

// Where one record goes: the folder it is written into and its address.
struct ExportTarget {
  std::string out_dir;
  uint32_t volume = 0;
  uint32_t record = 0;
};

// --- the progress view -------------------------------------------------

// What RunWithProgress shows while the worker runs: the GUI's modal progress
// dialog and the CLI's progress line. Called on the caller's thread.
class ProgressView {
 public:
  virtual ~ProgressView() = default;
  // About every 100 ms; `report` is the latest record taken from the mailbox,
  // or null when none was waiting. Return false to ask the worker to stop.
  virtual bool Tick(const ProgressReport* report) = 0;
  // Once, after the worker ended or was asked to stop.
  virtual void Done(bool completed) { (void)completed; }
};

using ExportWorker = std::function<void(ExportJob& job)>;

// Runs worker(job) on its own thread behind the view. Refuses (false, nothing
// started) while an earlier worker still lives. Empties the mailbox, starts
// the thread, ticks the view until control becomes 2 or 3, and returns true
// exactly when control is 3 (the worker is then joined). After a stop the
// worker may still be finishing its current piece: it keeps its own
// reference to the job and is joined by the next RunWithProgress or by
// JoinExportWorkers.
bool RunWithProgress(std::shared_ptr<ExportJob> job, ExportWorker worker, ProgressView& view);

// True while a worker started by RunWithProgress has not yet ended. A new
// export, save or open is refused meanwhile.
bool ExportWorkerBusy();

// Asks a living worker to stop and joins it (program end, tests).
void JoinExportWorkers();

// --- the workers and their steps ---------------------------------------

// Worker of the export of everything checked: normalises the check marks,
// counts, resolves the export root, then writes one folder per volume (named
// by its title) holding the checked records. Sets control to 3 unless it
// was stopped.
void SaveAllToDirThread(ExportJob& job);

// The volumes that SaveAllToDirThread exports: index 3 and up, more than 5
// record slots, a usable root and a root check state of 1 or 2 after
// normalisation. Ascending.
std::vector<uint32_t> ExportVolumes(ExportJob& job);

// The folder the export writes into: out_dir, plus one level named save_dir
// unless out_dir already ends with that name (then nothing is created).
// Empty when the folder cannot be made.
std::string ResolveExportRoot(ExportJob& job);

// Recomputes the tri-state check marks of a volume bottom-up (every
// directory agrees with its usable children) into `states`, indexed by
// record; returns the state of `record`. Iterative: any depth.
uint16_t NormaliseCheckStates(const VolumeRecord& v, uint32_t record, bool filter_active,
                              std::vector<uint8_t>& states);

// Adds the selected files below and including `record` to the totals of
// `progress` (total_files, total_bytes). Iterative.
void CountSelected(const VolumeRecord& v, uint32_t record, bool filter_active, const std::vector<uint8_t>& states,
                   ExportProgress& progress);

// Exports one record (a file, or a directory with everything below it)
// into target.out_dir. With checked_only, only records whose (normalised)
// check state is 1 or 2 are taken. Iterative: any depth. Folders that cannot
// be made fail the files below them. False when the record itself was not
// exported (unusable, not checked, stopped, folder refused).
bool ExportRecord(ExportJob& job, const ExportTarget& target, ExportProgress& progress, bool checked_only);

// Writes one file record to `path` (its folder exists; its last component is
// already a safe name). Applies the overwrite policy to a file that existed
// before this export and numbers a clash within the export. Counts the
// outcome in job.totals. True when the file was recovered or skipped on
// request.
bool CopyFileRecord(ExportJob& job, const std::string& path, ExportProgress& progress, const FileRecord& record,
                    uint32_t volume_address);

// Reads up to `length` bytes of a file record's data into buffer (which holds
// at least `length` bytes); `bytes_read` says how many. Never writes past
// `length`. False on any read failure or when stop (when given) becomes 2.
bool ReadRecordData(const FoundFileStore& store, const SourceLocation& source, uint32_t volume_address,
                    uint32_t record, uint8_t* buffer, uint64_t length, uint64_t& bytes_read,
                    const std::atomic<int32_t>* stop = nullptr);

// The summary after a completed export: the read-error message (when there
// were read errors), then the recovered files and bytes, and the failures
// when there were any, through the prompt. Returns the summary text.
std::string ShowExportSummary(const ExportJob& job, UserPrompt& prompt);

// The one-line summary of a copying worker for the report channel.
std::string CopySummaryLine(const ExportProgress& progress);

// The summary line alone ("导出结束！本次恢复%u个文件，共计...数据！"), plus
// the failure count when nonzero.
std::string ExportSummaryText(const ExportTotals& totals);

// Whether export or open (verb "导出" / "打开") may start while the last scan
// (its state word, null when none ran) may still be filling the store. Shows
// the reason and returns false when it may not.
bool MustScanEndRule(const std::string& verb, const std::atomic<int>* last_scan_state, int32_t recovery_mode,
                     int32_t source_fs_kind, UserPrompt& prompt);

}  // namespace trovium
