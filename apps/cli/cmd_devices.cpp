#include "cmd_devices.h"

#include <CLI/CLI.hpp>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "core/size_text.h"
#include "fs/device_enum.h"

namespace trovium::cli {
namespace {

nlohmann::ordered_json EntryJson(const DeviceEntry& e) {
  nlohmann::ordered_json j = {
      {"kind", e.kind == kDeviceDrive ? "drive" : "volume"},
      {"removable", e.removable != 0},
      {"start_lba", e.start_lba},
      {"sector_count", e.sector_count},
      {"display_name", e.display_name},
  };
  if (e.kind == kDeviceVolume) {
    j["name"] = e.drive_letter;
    j["volume_path"] = e.volume_path;
    j["free_sectors"] = e.free_sectors;
    j["fs_kind"] = e.fs_kind;
    j["fs_name"] = e.fs_name;
    j["label"] = e.label;
    j["serial"] = e.serial;
    j["mount_point"] = e.mount_point;
  }
  j["disk_number"] = e.disk_number;
  j["disk_name"] = e.disk_name;
  j["device_path"] = e.device_path;
  j["device_sectors"] = e.device_sectors;
  j["bus"] = e.bus;
  return j;
}

void PrintText(const std::vector<DeviceEntry>& list) {
  for (const DeviceEntry& e : list) {
    std::ostringstream line;
    if (e.kind == kDeviceDrive) {
      line << "drive  " << e.disk_number << "  " << e.device_path << "  " << e.display_name << "  "
           << FormatBytes(e.sector_count * 512) << "  " << e.bus;
    } else {
      line << "volume " << e.disk_number << "  " << e.volume_path << "  " << e.display_name << "  "
           << FormatBytes(e.sector_count * 512) << " at sector " << e.start_lba;
      if (!e.mount_point.empty())
        line << "  mounted on " << e.mount_point << ", " << FormatBytes(e.free_sectors * 512) << " free";
    }
    if (e.removable) line << "  removable";
    std::cout << line.str() << "\n";
  }
}

}  // namespace

CLI::App* AddDevicesCommand(CLI::App& app, DevicesOptions& options) {
  CLI::App* cmd = app.add_subcommand("devices", "List the drives and volumes a recovery can read");
  cmd->add_flag("--json", options.json, "print the list as JSON");
  cmd->add_option("--list-type", options.list_type,
                  "0 volumes then drives, 1 volumes, 2 drives, 3 removable volumes then removable drives")
      ->check(CLI::Range(0, 3));
  // Fake sysfs trees for the tests.
  cmd->add_option("--sysfs-root", options.roots.sysfs)->group("");
  cmd->add_option("--dev-root", options.roots.dev)->group("");
  cmd->add_option("--mountinfo", options.roots.mountinfo)->group("");
  return cmd;
}

int RunDevicesCommand(const DevicesOptions& options) {
  std::vector<DeviceEntry> list;
  const bool found = EnumerateDevices(options.list_type, list, options.roots);
  if (options.json) {
    nlohmann::ordered_json out = nlohmann::ordered_json::array();
    for (const DeviceEntry& e : list) out.push_back(EntryJson(e));
    std::cout << out.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
  } else {
    PrintText(list);
  }
  if (!found) {
    std::cerr << "trovium-cli: no drive or volume of this kind was found\n";
    return 1;
  }
  return 0;
}

}  // namespace trovium::cli
