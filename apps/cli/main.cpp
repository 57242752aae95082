#include <CLI/CLI.hpp>

int main(int argc, char** argv) {
  CLI::App app{"trovium-cli: read-only data recovery from disks and disk images"};
  app.require_subcommand(1);
  CLI11_PARSE(app, argc, argv);
  return 0;
}
