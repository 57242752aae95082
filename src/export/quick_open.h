#pragma once
// Quick open: one file copied into a private temporary folder and handed to
// the program the desktop associates with it.

#include <string>

#include "export/save_current.h"

namespace trovium {

inline constexpr char kQuickOpenThreadName[] = "QuickOpenFileThread";
inline constexpr char kOpenFailedText[] = "打开文件失败！";

// Copies the record (a file) into a fresh subfolder of TempFolder() behind
// the view and opens the copy through opener (platform::OpenWithDesktop when
// empty). A read failure leaves no copy (the file is emptied). True when the
// copy was made and handed over; opened_path (when given) receives its path.
// Callers show kOpenFailedText on false.
using FileOpener = std::function<bool(const std::string& path)>;
bool QuickOpen(const RecordRequest& request, ProgressView& view, const FileOpener& opener = {},
               std::string* opened_path = nullptr);

// The worker: copies job.record into job.out_dir under its safe name.
void QuickOpenFileThread(ExportJob& job);

// Where QuickOpenFileThread writes a record's copy inside folder.
std::string QuickOpenCopyPath(const std::string& folder, const std::string& record_name);

// At program end: stops and joins a running worker, then removes every
// temporary copy. Runs by itself at a normal exit once QuickOpen was used.
void EndQuickOpen();

}  // namespace trovium
