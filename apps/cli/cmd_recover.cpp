#include "cmd_recover.h"

#include <fnmatch.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>

#include "core/soft_config.h"
#include "export/export_engine.h"
#include "export/output_checks.h"
#include "fs/quick_listing.h"
#include "platform/interrupt.h"
#include "platform/source_file.h"
#include "platform/terminal_input.h"
#include "store/store.h"

namespace trovium::cli {
namespace {

// Questions answered from --yes/--no, else asked on a terminal; without
// either the answer is no (nothing is overwritten on a guess).
class CliPrompt : public UserPrompt {
 public:
  CliPrompt(bool yes, bool no) : yes_(yes), no_(no) {}
  void Inform(const std::string& text, const std::string&) override { std::cout << text << "\n"; }
  bool Ask(const std::string& text, const std::string&) override {
    if (yes_ || no_) return yes_;
    if (!platform::StdinIsTerminal()) {
      std::cerr << "\n" << text << " -> no (no terminal to ask; use --yes or --no)\n";
      return false;
    }
    std::cerr << "\n" << text << " [y/N] " << std::flush;
    std::string line;
    std::getline(std::cin, line);
    return !line.empty() && (line[0] == 'y' || line[0] == 'Y');
  }
  PromptAnswer AskYesNoCancel(const std::string& text, const std::string& title) override {
    return Ask(text, title) ? PromptAnswer::kYes : PromptAnswer::kNo;
  }

 private:
  bool yes_, no_;
};

// The progress line: current file, files and MB done, remaining time. Drawn
// on a terminal only; Ctrl-C stops the export.
class LineView : public ProgressView {
 public:
  LineView() : draw_(platform::StderrIsTerminal()), start_(std::chrono::steady_clock::now()) {}
  bool Tick(const ProgressReport* report) override {
    if (report && report->reportKind == kProgressExportCopy) Draw(report->exportCopy);
    return !platform::StopRequested();
  }
  void Done(bool) override {
    if (drawn_) std::cerr << "\r\033[K" << std::flush;
  }

 private:
  void Draw(const ExportCopyProgress& p) {
    if (!draw_) return;
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    std::string eta = "--:--";
    if (p.copied_bytes > 0 && secs > 0.5 && p.total_bytes > p.copied_bytes) {
      const auto left = static_cast<unsigned>((p.total_bytes - p.copied_bytes) / (p.copied_bytes / secs));
      char b[32];
      std::snprintf(b, sizeof b, "%02u:%02u:%02u", left / 3600, left / 60 % 60, left % 60);
      eta = b;
    }
    char line[160];
    std::snprintf(line, sizeof line, "%u/%u files  %.1f/%.1f MB  remaining %s  ", p.files_done, p.total_files,
                  static_cast<double>(p.copied_bytes) / 1048576.0, static_cast<double>(p.total_bytes) / 1048576.0,
                  eta.c_str());
    std::string name = p.current_name;
    if (name.size() > 40) name = "..." + name.substr(name.size() - 37);
    std::cerr << "\r\033[K" << line << name << std::flush;
    drawn_ = true;
  }
  bool draw_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point start_;
};

bool Matches(const std::vector<std::string>& globs, const std::string& path) {
  for (const std::string& g : globs) {
    if (fnmatch(g.c_str(), path.c_str(), 0) == 0) return true;
  }
  return false;
}

// Files of a volume to check: every file, or those whose path (or a folder
// above them) matches one of the globs. Iterative, each record once.
std::vector<uint32_t> SelectFiles(const VolumeRecord& v, const std::vector<std::string>& globs) {
  struct Entry {
    uint32_t index;
    std::string path;
    bool taken;
  };
  std::vector<uint32_t> out;
  std::vector<uint8_t> seen(v.files.size(), 0);
  std::vector<Entry> stack;
  auto push_children = [&](const FileRecord& dir, const std::string& prefix, bool taken) {
    for (auto it = dir.children.rbegin(); it != dir.children.rend(); ++it) {
      const FileRecord* c = GetRecord(v, *it);
      if (!c || *it == kRootIndex || seen[*it]) continue;
      seen[*it] = 1;
      const std::string path = prefix + c->name;
      stack.push_back({*it, path, taken || globs.empty() || Matches(globs, path)});
    }
  };
  const FileRecord* root = GetRecord(v, kRootIndex);
  if (!root) return out;
  push_children(*root, "", false);
  while (!stack.empty()) {
    Entry e = std::move(stack.back());
    stack.pop_back();
    const FileRecord& r = v.files[e.index];
    if (r.is_dir()) push_children(r, e.path + "/", e.taken);
    else if (e.taken) out.push_back(e.index);
  }
  return out;
}

}  // namespace

CLI::App* AddRecoverCommand(CLI::App& app, RecoverOptions& o) {
  CLI::App* cmd = app.add_subcommand(
      "recover",
      "Copy existing or deleted files of a disk, partition or image into a folder on another drive "
      "(the source is only read). Works on the listing of `ls`; a deep scan (--scan) comes later.");
  cmd->add_option("SOURCE", o.source, "block device or disk-image file (opened read-only)")->required();
  cmd->add_option("--out", o.out, "output folder (must exist, on another device than the source)")->required();
  auto* deleted = cmd->add_flag("--deleted", o.deleted_only, "only deleted files");
  auto* existing = cmd->add_flag("--existing", o.existing_only, "only existing files");
  deleted->excludes(existing);
  cmd->add_option("--volume", o.volume, "only the volume of this number (as `ls` numbers them)");
  cmd->add_option("--path", o.paths,
                  "only files whose path inside the volume, or a folder above them, matches this glob; repeatable");
  cmd->add_option("--overwrite", o.overwrite, "a file that already exists in the output: ask, overwrite or skip")
      ->check(CLI::IsMember({"ask", "overwrite", "skip"}));
  cmd->add_option("--on-read-error", o.on_read_error,
                  "unreadable sectors: empty (remove the file), keep (keep what was read) or zeros (write zeros)")
      ->check(CLI::IsMember({"empty", "keep", "zeros"}));
  auto* yes = cmd->add_flag("--yes", o.yes, "answer yes to every question");
  auto* no = cmd->add_flag("--no", o.no, "answer no to every question");
  yes->excludes(no);
  return cmd;
}

int RunRecoverCommand(const RecoverOptions& o) {
  platform::InstallInterruptHandler();
  CSectorSource probe;
  platform::SourceOpenResult why;
  if (!OpenImage(o.source, probe, &why)) {
    std::cerr << "trovium-cli: " << platform::DescribeOpenError(why, o.source) << "\n";
    return 1;
  }
  const uint64_t source_bytes = GetSourceSize(probe);
  CloseSource(probe);

  std::atomic<int> scan_state{0};
  ListOptions list;
  list.scan_state = &scan_state;
  std::vector<VolumeRecord> volumes;
  if (!ListSource(o.source, list, volumes, &why)) {
    std::cerr << "trovium-cli: no partition table or known file system on " << o.source << "\n";
    return 2;
  }
  FoundFileStore store;
  const ListingView view = o.deleted_only ? ListingView::kDeleted : o.existing_only ? ListingView::kExisting
                                                                                   : ListingView::kAll;
  LoadListing(store, std::move(volumes), view, o.source);

  // The selection becomes check marks in the store, as clicks in the results tree would.
  uint64_t total_files = 0, total_bytes = 0;
  for (uint32_t a = kFirstRealVolume; a < store.VolumeCount(); ++a) {
    if (o.volume && *o.volume != a - kFoundVolumeIndex) continue;
    std::vector<uint32_t> picked;
    store.ReadVolume(a, [&](const VolumeRecord& v) { picked = SelectFiles(v, o.paths); });
    for (uint32_t i : picked) {
      if (store.CheckState(a, i) != kChecked) store.ToggleCheck(a, i);
    }
    const FileTotals t = store.Totals(a, kRootIndex, true);
    total_files += t.files;
    total_bytes += t.bytes;
  }
  if (total_files == 0) {
    std::cerr << "trovium-cli: " << kNothingCheckedText << " (no file matches the options)\n";
    return 3;
  }

  const OutputCheckResult check = CheckOutputFolder(o.out, o.source, total_bytes);
  if (!check.ok()) {
    const char* why_en = check.code == OutputCheck::kOnSource ? "the output folder lies on the source device"
                         : check.code == OutputCheck::kNoRoom ? "not enough free space for the selection plus 3 %"
                                                              : "the output folder must be an existing writable folder";
    std::cerr << "trovium-cli: " << check.text << " (" << why_en << ")\n";
    return 2;
  }

  CliPrompt prompt(o.yes, o.no);
  auto job = std::make_shared<ExportJob>();
  job->store = &store;
  job->source.device_path = o.source;
  job->source.display_name = o.source;
  job->source.sector_count = source_bytes / kSectorBytes;
  job->out_dir = o.out;
  job->overwrite = o.overwrite == "ask" ? OverwritePolicy::kAsk
                   : o.overwrite == "skip" ? OverwritePolicy::kSkip
                                           : OverwritePolicy::kOverwrite;
  job->read_error = o.on_read_error == "empty" ? ReadErrorPolicy::kEmpty
                    : o.on_read_error == "zeros" ? ReadErrorPolicy::kZeros
                                                 : ReadErrorPolicy::kKeep;
  job->save_dir = GetSoftCfg("SaveDir");
  job->prompt = &prompt;
  std::cerr << "Recovering " << total_files << " files (" << total_bytes << " bytes) into " << o.out << "\n";
  LineView line;
  const bool completed = RunWithProgress(job, SaveAllToDirThread, line);
  if (!completed) {
    JoinExportWorkers();  // the worker ends at its next piece; nothing writes after we return
    std::cerr << "trovium-cli: " << kExportStoppedText << " (stopped)\n";
    return 130;
  }
  ShowExportSummary(*job, prompt);
  const ExportTotals& t = job->totals;
  std::cout << "Output folder: " << job->export_root << "\n";
  std::cout << "Recovered " << t.files_recovered << " of " << t.files_attempted << " files, " << t.bytes_written
            << " bytes";
  if (t.files_skipped) std::cout << "; " << t.files_skipped << " skipped (already there)";
  if (t.files_failed) std::cout << "; " << t.files_failed << " failed";
  std::cout << "\n";
  for (const std::string& p : t.failed_paths) std::cout << "  failed: " << p << "\n";
  if (t.out_of_space) std::cerr << "trovium-cli: the output drive is full; the export stopped\n";
  return t.files_failed || t.out_of_space ? 4 : 0;
}

}  // namespace trovium::cli
