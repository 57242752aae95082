#include "cmd_scan.h"

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <algorithm>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "core/user_prompt.h"
#include "platform/interrupt.h"
#include "platform/source_file.h"
#include "scan/hit_store.h"
#include "scan/job_state.h"
#include "scan/kind_names.h"
#include "scan/progress.h"
#include "scan/scan_clock.h"
#include "scan/scan_pipeline.h"
#include "scan/sector_source.h"

namespace trovium::cli {
namespace {

// Messages go to stderr; questions are answered from --yes / --no, and
// without either the answer is no: a script is never left waiting.
class CliPrompt : public UserPrompt {
 public:
  explicit CliPrompt(std::optional<bool> answer) : answer_(answer) {}
  void Inform(const std::string& text, const std::string&) override { std::cerr << text << "\n"; }
  bool Ask(const std::string& text, const std::string&) override {
    bool yes = answer_.value_or(false);
    std::cerr << text << (answer_ ? (yes ? " yes\n" : " no\n") : " no (answer with --yes or --no)\n");
    return yes;
  }
  PromptAnswer AskYesNoCancel(const std::string& text, const std::string& title) override {
    if (!answer_) {
      std::cerr << text << " cancel\n";
      return PromptAnswer::kCancel;
    }
    return Ask(text, title) ? PromptAnswer::kYes : PromptAnswer::kNo;
  }

 private:
  std::optional<bool> answer_;
};

std::vector<std::pair<const char*, uint64_t>> StatsByName(const ScanStats& s) {
  return {{"totalSectors", s.totalSectors},     {"doneSectors", s.doneSectors},
          {"filesFound", s.filesFound},         {"ebrHits", s.ebrHits},
          {"ntfsBootHits", s.ntfsBootHits},     {"fatBootHits", s.fatBootHits},
          {"exfatBootHits", s.exfatBootHits},   {"fileRecordHits", s.fileRecordHits},
          {"fatDirHits", s.fatDirHits},         {"indxHits", s.indxHits},
          {"exfatDirHits", s.exfatDirHits}};
}

void DrawProgress(const ScanStats& s) {
  std::string times;
  ScanTimeText(times, s.doneSectors, s.totalSectors);
  std::fprintf(stderr, "\r%llu/%llu MB  files %u  %s   ", static_cast<unsigned long long>(s.doneSectors / 2048),
               static_cast<unsigned long long>(s.totalSectors / 2048), s.filesFound, times.c_str());
  std::fflush(stderr);
}

bool WriteJson(const std::string& path, const std::string& source, const ScanStats& stats, const HitStore& store) {
  nlohmann::ordered_json by_name = nlohmann::ordered_json::object();
  for (const auto& [name, value] : StatsByName(stats)) by_name[name] = value;
  HitList all{MemAllocator<ScanHit>(404)};
  CollectHits(store, all, false, false);
  nlohmann::ordered_json hits = nlohmann::ordered_json::array();
  nlohmann::ordered_json files = nlohmann::ordered_json::array();
  for (const ScanHit& h : all) {
    // File hits carry their carved size; structure payloads are pointers or numbers of no use outside.
    uint64_t size = h.kind < 172 ? h.payload : 0;
    hits.push_back({{"kind", h.kind}, {"name", KindName(h.kind)}, {"lba", h.lba}, {"sub", h.sub}, {"size", size}});
    // Carved files: status 0 no size rule, 3 still pending at the end, 4 sized, 5 invalid.
    if (h.kind >= 36 && h.kind < 172) {
      files.push_back({{"type", KindName(h.kind)}, {"code", h.kind}, {"first_lba", h.lba}, {"status", h.sub},
                       {"size", size}});
    }
  }
  nlohmann::ordered_json out = {{"source", source}, {"stats", by_name}, {"hits", hits}, {"files", files}};
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f << out.dump() << "\n";
  return static_cast<bool>(f);
}

}  // namespace

CLI::App* AddScanCommand(CLI::App& app, ScanOptions& options) {
  CLI::App* cmd = app.add_subcommand("scan", "Deep scan of a device or image: every sector examined for files "
                                             "and file-system structures");
  cmd->add_option("SOURCE", options.source, "block device or disk-image file (opened read-only)")->required();
  cmd->add_option("--mode", options.mode, "recovery mode 1..6")->check(CLI::Range(1, 6));
  CLI::Option* start = cmd->add_option("--start", options.start, "first LBA of the range to scan");
  CLI::Option* count = cmd->add_option("--count", options.count, "sectors in the range to scan");
  start->needs(count);
  count->needs(start);
  cmd->add_option("--json", options.json_file, "write the statistics and every hit as JSON to FILE");
  CLI::Option* yes = cmd->add_flag("--yes", options.yes, "answer yes to the scan's questions");
  CLI::Option* no = cmd->add_flag("--no", options.no, "answer no to the scan's questions");
  yes->excludes(no);
  return cmd;
}

int RunScanCommand(const ScanOptions& options) {
  // Checked here: the reader would otherwise wait for a stop that never comes.
  CSectorSource probe;
  platform::SourceOpenResult why;
  if (!OpenImage(options.source, probe, &why)) {
    std::cerr << "trovium-cli: " << platform::DescribeOpenError(why, options.source) << "\n";
    return 1;
  }
  const uint64_t device_sectors = probe.hasSectors ? probe.lastLba + 1 : 0;
  CloseSource(probe);
  if (device_sectors == 0) {
    std::cerr << "trovium-cli: " << kBadDeviceSize << " (" << options.source << " holds no whole sector)\n";
    return 1;
  }
  uint64_t start = options.start;
  uint64_t count = options.count == 0 ? device_sectors - std::min(start, device_sectors) : options.count;
  if (start >= device_sectors || count == 0 || count > device_sectors - start) {
    std::cerr << "trovium-cli: the range " << start << " + " << count << " does not lie inside the "
              << device_sectors << " sectors of " << options.source << "\n";
    return 1;
  }

  std::optional<bool> answer;
  if (options.yes) answer = true;
  if (options.no) answer = false;
  CliPrompt prompt(answer);
  SetUserPrompt(&prompt);

  VolumeRecord volume;
  volume.device_path = options.source;
  volume.display_name = options.source;
  volume.start_lba = start;
  volume.sector_count = count;
  volume.device_sectors = device_sectors;
  SetRecoveryMode(options.mode);
  SetCurrentSource(volume);
  PrepareScanSettings();

  ScanParameter scan;
  FillScanParameterFromJob(scan);
  scan.post_scan_delay_ms = 0;
  platform::InstallInterruptHandler();
  if (!StartDeepScan(scan)) {
    SetUserPrompt(nullptr);
    return 1;
  }
  const bool show_progress = platform::StderrIsTerminal();
  bool interrupted = false;
  bool open_failed = false;
  ScanStats live{};
  auto last_draw = std::chrono::steady_clock::now();
  while (!DeepScanDone(scan)) {
    if (!interrupted && platform::StopRequested()) {
      interrupted = true;
      StopDeepScan(scan);
    }
    if (!open_failed && scan.reader_open_failed.load()) {
      open_failed = true;
      std::cerr << "trovium-cli: the scan could not open " << options.source << "\n";
      StopDeepScan(scan);
    }
    ProgressReport report{};
    if (TakeProgress(report) && report.reportKind == kProgressScan) live = report.scan;
    auto now = std::chrono::steady_clock::now();
    if (show_progress && now - last_draw >= std::chrono::milliseconds(250)) {
      last_draw = now;
      DrawProgress(live);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  WaitDeepScan(scan);
  if (show_progress) {
    DrawProgress(scan.final_stats);
    std::fputc('\n', stderr);
  }

  std::cout << "Source: " << options.source << "\n";
  for (const auto& [name, value] : StatsByName(scan.final_stats)) std::cout << name << ": " << value << "\n";
  int code = open_failed ? 1 : interrupted ? 130 : 0;
  if (!options.json_file.empty() && !open_failed &&
      !WriteJson(options.json_file, options.source, scan.final_stats, *scan.hits)) {
    std::cerr << "trovium-cli: cannot write " << options.json_file << "\n";
    code = code == 0 ? 1 : code;
  }
  if (interrupted) std::cerr << "trovium-cli: scan stopped\n";
  ShutdownDeepScan(scan);
  SetUserPrompt(nullptr);
  return code;
}

}  // namespace trovium::cli
