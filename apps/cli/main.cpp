#include <CLI/CLI.hpp>

#include <iostream>

#include "cmd_devices.h"
#include "cmd_ls.h"
#include "cmd_recover.h"
#include "cmd_scan.h"
#include "cmd_sectors.h"
#include "core/program_identity.h"
#include "core/soft_config.h"
#include "platform/crash_handler.h"

// A crash anywhere, also before main, leaves a report in the state folder.
TROVIUM_CRASH_HANDLER_BEFORE_MAIN(trovium::kProgramVersion, trovium::kProgramBuild)

int main(int argc, char** argv) {
  CLI::App app{"trovium-cli: read-only data recovery from disks and disk images"};
  app.require_subcommand(1);
  trovium::cli::SectorsOptions sectors;
  CLI::App* sectors_cmd = trovium::cli::AddSectorsCommand(app, sectors);
  trovium::cli::ScanOptions scan;
  CLI::App* scan_cmd = trovium::cli::AddScanCommand(app, scan);
  trovium::cli::LsOptions ls;
  CLI::App* ls_cmd = trovium::cli::AddLsCommand(app, ls);
  trovium::cli::DevicesOptions devices;
  CLI::App* devices_cmd = trovium::cli::AddDevicesCommand(app, devices);
  trovium::cli::RecoverOptions recover;
  CLI::App* recover_cmd = trovium::cli::AddRecoverCommand(app, recover);
  CLI11_PARSE(app, argc, argv);
  // The edition's switches (which devices are listed, the export folder name)
  // come from the files beside the program; without them every switch is off.
  if (!trovium::LoadSoftConfig()) {
    std::cerr << "trovium-cli: warning: the configuration files Base.dat and Recovery.dat beside the program "
                 "could not be read; using built-in defaults\n";
  }
  if (sectors_cmd->parsed()) return trovium::cli::RunSectorsCommand(sectors);
  if (scan_cmd->parsed()) return trovium::cli::RunScanCommand(scan);
  if (ls_cmd->parsed()) return trovium::cli::RunLsCommand(ls);
  if (devices_cmd->parsed()) return trovium::cli::RunDevicesCommand(devices);
  if (recover_cmd->parsed()) return trovium::cli::RunRecoverCommand(recover);
  return 0;
}
