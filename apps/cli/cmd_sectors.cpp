#include "cmd_sectors.h"


#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include "platform/interrupt.h"
#include "platform/source_file.h"
#include "scan/kind_names.h"
#include "scan/sector_census.h"

namespace trovium::cli {
namespace {

constexpr size_t kJsonLbasPerKind = 1000;
constexpr size_t kTextLbasPerKind = 10;

// "done/total sectors, percent, speed, remaining" on one rewritten line, at
// most a few times a second.
class ProgressLine {
 public:
  bool Update(uint64_t done, uint64_t total) {
    auto now = std::chrono::steady_clock::now();
    if (done < total && now - last_ < std::chrono::milliseconds(250)) return true;
    last_ = now;
    double seconds = std::chrono::duration<double>(now - start_).count();
    double mb_per_s = seconds > 0 ? static_cast<double>(done) * 512.0 / 1048576.0 / seconds : 0.0;
    double remaining = done > 0 && done < total ? seconds * static_cast<double>(total - done) / static_cast<double>(done) : 0.0;
    std::fprintf(stderr, "\r%llu/%llu sectors  %5.1f%%  %.1f MB/s  %.0f s left   ",
                 static_cast<unsigned long long>(done), static_cast<unsigned long long>(total),
                 total ? 100.0 * static_cast<double>(done) / static_cast<double>(total) : 100.0, mb_per_s, remaining);
    if (done >= total) std::fputc('\n', stderr);
    return true;
  }
  void Finish() { std::fputc('\n', stderr); }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point last_{};
};

void PrintText(const std::string& source, const SectorCensus& census) {
  std::cout << "Source: " << source << "\n";
  std::cout << "Sectors: " << census.sectors << "\n";
  if (census.kinds.empty()) std::cout << "No file-system structures found.\n";
  for (const KindCount& k : census.kinds) {
    std::cout << "  " << static_cast<int>(k.kind) << " " << KindName(k.kind) << ": " << k.count << " at ";
    for (size_t i = 0; i < k.lbas.size() && i < kTextLbasPerKind; ++i) std::cout << (i ? ", " : "") << k.lbas[i];
    if (k.count > kTextLbasPerKind) std::cout << ", ...";
    std::cout << "\n";
  }
}

void PrintJson(const SectorCensus& census) {
  nlohmann::ordered_json kinds = nlohmann::ordered_json::array();
  for (const KindCount& k : census.kinds) {
    kinds.push_back({{"kind", k.kind}, {"name", KindName(k.kind)}, {"count", k.count}, {"lbas", k.lbas}});
  }
  nlohmann::ordered_json out = {{"sectors", census.sectors}, {"kinds", kinds}};
  std::cout << out.dump() << "\n";
}

}  // namespace

CLI::App* AddSectorsCommand(CLI::App& app, SectorsOptions& options) {
  CLI::App* cmd = app.add_subcommand("sectors", "Classify every sector of a device or image and list the "
                                                  "file-system structures found");
  cmd->add_option("SOURCE", options.source, "block device or disk-image file (opened read-only)")->required();
  cmd->add_flag("--json", options.json, "print the result as JSON");
  return cmd;
}

int RunSectorsCommand(const SectorsOptions& options) {
  CSectorSource source;
  platform::SourceOpenResult why;
  if (!OpenImage(options.source, source, &why)) {
    std::cerr << "trovium-cli: " << platform::DescribeOpenError(why, options.source) << "\n";
    return 1;
  }
  platform::InstallInterruptHandler();
  const bool show_progress = platform::StderrIsTerminal();
  ProgressLine line;
  auto progress = [&](uint64_t done, uint64_t total) {
    if (show_progress) line.Update(done, total);
    return !platform::StopRequested();
  };
  SectorCensus census;
  bool ran = RunSectorCensus(source, options.json ? kJsonLbasPerKind : kTextLbasPerKind, progress, census);
  CloseSource(source);
  if (!ran) {
    std::cerr << "trovium-cli: not enough memory for the read buffer\n";
    return 1;
  }
  if (census.stopped) {
    if (show_progress) line.Finish();
    std::cerr << "trovium-cli: stopped after " << census.sectors << " sectors\n";
    return 130;
  }
  if (census.failed_reads > 0) {
    std::cerr << "trovium-cli: warning: " << census.failed_reads
              << " reads failed; the sectors they did not deliver were examined as zeros\n";
  }
  if (options.json) PrintJson(census);
  else PrintText(options.source, census);
  return 0;
}

}  // namespace trovium::cli
