#pragma once
// `trovium-cli devices [--json] [--list-type 0..3]`: the drives and volumes a
// recovery can start from, as the device selection lists them.

#include <string>

#include "platform/block_devices.h"

namespace CLI {
class App;
}

namespace trovium::cli {

struct DevicesOptions {
  bool json = false;
  int list_type = 0;  // 0 volumes then drives, 1 volumes, 2 drives, 3 removable ones
  platform::BlockDeviceRoots roots;  // replaceable for tests (hidden options)
};

// Registers the subcommand; returns it so main can tell whether it was chosen.
CLI::App* AddDevicesCommand(CLI::App& app, DevicesOptions& options);

// Runs it; the process exit code.
int RunDevicesCommand(const DevicesOptions& options);

}  // namespace trovium::cli
