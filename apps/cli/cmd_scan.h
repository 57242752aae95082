#pragma once
// `trovium-cli scan SOURCE [--mode 1..6] [--start LBA --count N] [--json FILE]
// [--yes|--no]`: a deep scan of a device or image, with the scan's counters
// and, as JSON, every hit in chunk order.

#include <cstdint>
#include <string>

namespace CLI {
class App;
}

namespace trovium::cli {

struct ScanOptions {
  std::string source;
  int mode = 1;
  uint64_t start = 0;
  uint64_t count = 0;  // 0: up to the end
  std::string json_file;
  bool yes = false;
  bool no = false;
};

CLI::App* AddScanCommand(CLI::App& app, ScanOptions& options);

// Runs it; the process exit code (130 after Ctrl-C).
int RunScanCommand(const ScanOptions& options);

}  // namespace trovium::cli
