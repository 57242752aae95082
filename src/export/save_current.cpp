#include "export/save_current.h"

#include <cstdio>
#include <memory>

#include "core/program_identity.h"
#include "core/report.h"
#include "core/soft_config.h"
#include "store/check_state.h"

namespace trovium {

RecordCount CountRecord(const FoundFileStore& store, uint32_t volume, uint32_t record) {
  const FileTotals t = store.Totals(volume, record, false);
  RecordCount c;
  c.files = t.files > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(t.files);
  c.bytes = t.bytes;
  return c;
}

std::optional<FileRecord> UsableRecord(const FoundFileStore& store, uint32_t volume, uint32_t record) {
  const bool filter = store.FilterMode() == kFilterResults;
  std::optional<FileRecord> out;
  store.ReadVolume(volume, [&](const VolumeRecord& v) {
    if (IsVisibleRecord(v, record, filter)) out = v.files[record];
  });
  return out;
}

void SaveCurrFileThread(ExportJob& job) {
  WorkerScope scope(kSaveCurrThreadName);
  ExportProgress progress;
  progress.report.reportKind = kProgressExportCopy;
  const RecordCount count = CountRecord(*job.store, job.volume, job.record);
  progress.report.exportCopy.total_files = count.files;
  progress.report.exportCopy.total_bytes = count.bytes;
  progress.Publish();

  const std::string root = ResolveExportRoot(job);
  if (root.empty()) {
    // Nothing could be written: every file failed, which the summary says.
    job.totals.files_attempted += count.files;
    job.totals.files_failed += count.files;
  } else {
    job.out_dir = root;
    ExportRecord(job, ExportTarget{root, job.volume, job.record}, progress, false);
  }
  ReportEvent(3, CopySummaryLine(progress));
  int32_t running = kWorkerRunning;
  job.control.compare_exchange_strong(running, kWorkerFinished);
}

bool ExportCurrent(const RecordRequest& request, const ExportDialog& dialog, ProgressView& view,
                   ExportTotals* totals) {
  UserPrompt& prompt = request.prompt ? *request.prompt : GetUserPrompt();
  if (!request.store) return false;
  if (!MustScanEndRule(kExportVerb, request.last_scan_state, request.recovery_mode, request.source_fs_kind, prompt))
    return false;
  if (!UsableRecord(*request.store, request.volume, request.record)) return false;
  // A worker of an earlier export, save or open still runs (it was stopped
  // and is finishing its piece): never two writers at once.
  if (ExportWorkerBusy()) {
    prompt.Inform(kExportStoppedText, "");
    return false;
  }
  const RecordCount count = CountRecord(*request.store, request.volume, request.record);
  ExportChoice choice;
  if (!dialog || !dialog(count.files, count.bytes, choice)) return false;

  ReportEvent(27, "Quick save file");
  SetReadErrorMode(2);
  ZeroReadCounters();
  const bool paused = request.pause_scan_display && request.pause_scan_display();

  auto job = std::make_shared<ExportJob>();
  job->store = request.store;
  job->source = request.source;
  job->source_removable = request.source_removable;
  job->out_dir = choice.out_dir;
  job->volume = request.volume;
  job->record = request.record;
  job->overwrite = choice.overwrite;
  job->read_error = choice.read_error;
  job->save_dir = choice.save_dir;
  job->prompt = &prompt;
  const bool completed = RunWithProgress(job, SaveCurrFileThread, view);

  if (paused && request.resume_scan_display) request.resume_scan_display();
  if (completed) {
    if (totals) *totals = job->totals;
    ShowExportSummary(*job, prompt);
  } else {
    prompt.Inform(kExportStoppedText, "");
  }
  return completed;
}

}  // namespace trovium
