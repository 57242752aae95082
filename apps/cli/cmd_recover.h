#pragma once
// `trovium-cli recover SOURCE --out DIR ...`: lists the source like `ls`,
// checks the files the options select and exports them with the export
// engine into DIR, then prints the summary.

#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace trovium::cli {

struct RecoverOptions {
  std::string source;
  std::string out;
  bool deleted_only = false;
  bool existing_only = false;
  std::optional<unsigned> volume;   // as numbered by `ls` (its "index")
  std::vector<std::string> paths;   // globs on the path inside the volume
  std::string overwrite = "overwrite";
  std::string on_read_error = "keep";
  bool yes = false;
  bool no = false;
};

CLI::App* AddRecoverCommand(CLI::App& app, RecoverOptions& options);
int RunRecoverCommand(const RecoverOptions& options);

}  // namespace trovium::cli
