#pragma once
// `trovium-cli sectors SOURCE [--json]`: which file-system structures lie on
// which sectors of a device or image.

#include <string>

namespace CLI {
class App;
}

namespace trovium::cli {

struct SectorsOptions {
  std::string source;
  bool json = false;
};

// Registers the subcommand; returns it so main can tell whether it was chosen.
CLI::App* AddSectorsCommand(CLI::App& app, SectorsOptions& options);

// Runs it; the process exit code.
int RunSectorsCommand(const SectorsOptions& options);

}  // namespace trovium::cli
