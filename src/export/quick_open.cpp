#include "export/quick_open.h"

#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

#include "core/path_util.h"
#include "core/report.h"
#include "export/output_names.h"
#include "export/temp_files.h"
#include "platform/opener.h"
#include "platform/private_folder.h"

namespace trovium {
namespace {

// A front end that forgets EndQuickOpen still leaves no copy and no running
// worker behind on a normal exit.
void EndQuickOpenAtExit() {
  static std::once_flag once;
  std::call_once(once, [] {
    // Both process-wide blocks exist before the handler is registered, so
    // they are destroyed only after it ran.
    ExportWorkerBusy();
    TempFileCount();
    std::atexit(EndQuickOpen);
  });
}

}  // namespace

std::string QuickOpenCopyPath(const std::string& folder, const std::string& record_name) {
  return JoinPath(folder, SafeNameComponent(record_name));
}

void QuickOpenFileThread(ExportJob& job) {
  WorkerScope scope(kQuickOpenThreadName);
  ExportProgress progress;
  progress.report.reportKind = kProgressExportCopy;
  const RecordCount count = CountRecord(*job.store, job.volume, job.record);
  progress.report.exportCopy.total_files = count.files;
  progress.report.exportCopy.total_bytes = count.bytes;
  ReportEvent(27, "Quick open file");

  const std::optional<FileRecord> r = UsableRecord(*job.store, job.volume, job.record);
  if (r && !r->is_dir()) {
    auto& p = progress.report.exportCopy;
    SetProgressText(p.current_name, r->name, kExportNameChars);
    p.current_size = r->size;
    progress.Publish();
    CopyFileRecord(job, QuickOpenCopyPath(job.out_dir, r->name), progress, *r, job.volume);
  }
  ReportEvent(27, CopySummaryLine(progress));
  int32_t running = kWorkerRunning;
  job.control.compare_exchange_strong(running, kWorkerFinished);
}

bool QuickOpen(const RecordRequest& request, ProgressView& view, const FileOpener& opener, std::string* opened_path) {
  UserPrompt& prompt = request.prompt ? *request.prompt : GetUserPrompt();
  if (!request.store) return false;
  if (!MustScanEndRule(kOpenVerb, request.last_scan_state, request.recovery_mode, request.source_fs_kind, prompt))
    return false;
  const std::optional<FileRecord> r = UsableRecord(*request.store, request.volume, request.record);
  if (!r || r->is_dir()) return false;
  if (ExportWorkerBusy()) return false;
  if (TempFolder().empty()) return false;
  EndQuickOpenAtExit();
  if (!CheckTempFiles(prompt)) return false;
  // A fresh folder per open: an earlier copy of the same name that a viewer
  // still shows is never overwritten or deleted under it.
  const std::string folder = NewOpenFolder();
  if (folder.empty()) return false;
  const std::string path = QuickOpenCopyPath(folder, r->name);
  AddTempFile(path, r->size);

  auto job = std::make_shared<ExportJob>();
  job->store = request.store;
  job->source = request.source;
  job->source_removable = request.source_removable;
  job->out_dir = folder;
  job->volume = request.volume;
  job->record = request.record;
  job->overwrite = OverwritePolicy::kOverwrite;
  job->read_error = ReadErrorPolicy::kEmpty;
  job->prompt = &prompt;

  const bool paused = request.pause_scan_display && request.pause_scan_display();
  bool ok = RunWithProgress(job, QuickOpenFileThread, view);
  if (paused && request.resume_scan_display) request.resume_scan_display();
  // A failed copy was removed (policy kEmpty): nothing to show.
  ok = ok && job->totals.files_recovered == 1;
  std::string copy = path;
  if (ok && !platform::PathExists(copy)) {
    // The file system refused the name and the copy got a cleaned one: it
    // is the only file of its fresh folder.
    std::vector<platform::FolderEntry> entries;
    ok = platform::ListFolder(folder, entries) && entries.size() == 1 && !entries[0].is_dir;
    if (ok) copy = JoinPath(folder, entries[0].name);
  }
  ok = ok && platform::MakePrivateFile(copy);
  if (ok) ok = opener ? opener(copy) : platform::OpenWithDesktop(copy);
  if (ok && opened_path) *opened_path = copy;
  return ok;
}

void EndQuickOpen() {
  JoinExportWorkers();
  RemoveAllTempFiles();
}

}  // namespace trovium
