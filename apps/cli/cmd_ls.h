#pragma once
// `trovium-cli ls SOURCE [--json] [--deleted|--existing]`: the volumes of a
// disk, partition or image and the files each one lists, existing and deleted.

#include <string>

namespace CLI {
class App;
}

namespace trovium::cli {

struct LsOptions {
  std::string source;
  bool json = false;
  bool deleted_only = false;
  bool existing_only = false;
};

// Registers the subcommand; returns it so main can tell whether it was chosen.
CLI::App* AddLsCommand(CLI::App& app, LsOptions& options);

// Runs it; the process exit code.
int RunLsCommand(const LsOptions& options);

}  // namespace trovium::cli
