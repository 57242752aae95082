#pragma once
// Save current file: one file, or one directory with everything below it,
// exported into a folder the user chooses, whatever its check marks. Written
// directly under the export root, without a volume folder.

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "export/export_engine.h"

namespace trovium {

inline constexpr char kSaveCurrThreadName[] = "SaveCurrFileThread";

// The record an operation of the context menu or the preview window acts on,
// and what the operation needs to know around it.
struct RecordRequest {
  FoundFileStore* store = nullptr;
  SourceLocation source;
  bool source_removable = false;
  uint32_t volume = 0;  // a volume index or a view reference
  uint32_t record = 0;

  // The scan rule: the state word of the last scan (null when none ran), the
  // recovery mode and the source's file system.
  const std::atomic<int>* last_scan_state = nullptr;
  int32_t recovery_mode = 0;
  int32_t source_fs_kind = 0;

  UserPrompt* prompt = nullptr;  // GetUserPrompt() when null

  // The scan's progress display: pause returns true when it paused it (false
  // when it was already paused); resume is called only then. Either may be empty.
  std::function<bool()> pause_scan_display;
  std::function<void()> resume_scan_display;
};

// What the export dialog returns.
struct ExportChoice {
  std::string out_dir;
  OverwritePolicy overwrite = OverwritePolicy::kOverwrite;
  ReadErrorPolicy read_error = ReadErrorPolicy::kKeep;
  std::string save_dir;  // "SaveDir"; empty: none
};

// The export dialog, shown with the files and bytes the export will write.
// False when cancelled.
using ExportDialog = std::function<bool(uint32_t files, uint64_t bytes, ExportChoice& choice)>;

// Files (and their summed sizes) below and including a record: every usable
// file counts, check marks are ignored. Unusable records count nothing.
struct RecordCount {
  uint32_t files = 0;
  uint64_t bytes = 0;
};
RecordCount CountRecord(const FoundFileStore& store, uint32_t volume, uint32_t record);

// The record when it is usable (valid, and passing the filter while it is
// active).
std::optional<FileRecord> UsableRecord(const FoundFileStore& store, uint32_t volume, uint32_t record);

// Runs the export of one record behind the view and shows its summary (or
// that it was stopped). True when the worker ran to its end; totals (when
// given) receives its outcome.
bool ExportCurrent(const RecordRequest& request, const ExportDialog& dialog, ProgressView& view,
                   ExportTotals* totals = nullptr);

// The worker.
void SaveCurrFileThread(ExportJob& job);

}  // namespace trovium
