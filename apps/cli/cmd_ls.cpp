#include "cmd_ls.h"

#include <CLI/CLI.hpp>
#include <atomic>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>
#include <thread>

#include "fs/quick_listing.h"
#include "platform/interrupt.h"
#include "platform/source_file.h"
#include "store/store.h"

namespace trovium::cli {
namespace {

const char* FsName(int32_t kind) {
  switch (kind) {
    case kFsExfat: return "exFAT";
    case kFsFat16: return "FAT16";
    case kFsFat32: return "FAT32";
    case kFsNtfs: return "NTFS";
    default: return "";
  }
}

// "YYYY-MM-DD hh:mm:ss" of a packed local time; empty for "no time".
std::string TimeText(PackedTime t) {
  if (t == 0) return "";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", (t >> 26) + 1980u, (t >> 22) & 15u,
                (t >> 17) & 31u, (t >> 12) & 31u, (t >> 6) & 63u, t & 63u);
  return buf;
}

struct Row {
  const FileRecord* record;
  std::string path;
  int depth;
};

// Depth-first from the root, children in their order; each record once, so a
// damaged tree cannot make the walk loop.
std::vector<Row> Walk(const VolumeRecord& v) {
  std::vector<Row> rows;
  std::vector<uint8_t> seen(v.file_count, 0);
  std::vector<Row> stack;
  auto push_children = [&](const FileRecord& dir, const std::string& prefix, int depth) {
    for (auto it = dir.children.rbegin(); it != dir.children.rend(); ++it) {
      const FileRecord* c = GetRecord(v, *it);
      if (!c || *it == kRootIndex || seen[*it]) continue;
      seen[*it] = 1;
      stack.push_back(Row{c, prefix + c->name, depth});
    }
  };
  const FileRecord* root = GetRecord(v, kRootIndex);
  if (!root) return rows;
  seen[kRootIndex] = 1;
  push_children(*root, "", 0);
  while (!stack.empty()) {
    Row row = std::move(stack.back());
    stack.pop_back();
    rows.push_back(row);
    if (row.record->is_dir()) push_children(*row.record, row.path + "/", row.depth + 1);
  }
  return rows;
}

void PrintText(const FoundFileStore& store) {
  const uint32_t count = store.VolumeCount();
  if (count <= kFirstRealVolume) std::cout << "No volumes found.\n";
  for (uint32_t i = kFirstRealVolume; i < count; ++i) {
    store.ReadVolume(i, [&](const VolumeRecord& v) {
      std::cout << store.Title(i) << "  [" << FsName(v.fs_kind) << ", start " << v.start_lba << ", "
                << v.sector_count << " sectors, serial " << std::hex << v.serial << std::dec << "]\n";
      for (const Row& row : Walk(v)) {
        const FileRecord& r = *row.record;
        std::cout << std::string(2 * (row.depth + 1), ' ') << r.name;
        if (r.is_dir()) {
          std::cout << "/";
        } else {
          std::cout << "  " << r.size;
          if (r.mtime) std::cout << "  " << TimeText(r.mtime);
        }
        if (r.is_deleted()) std::cout << "  (deleted)";
        std::cout << "\n";
      }
    });
  }
}

void PrintJson(const FoundFileStore& store) {
  nlohmann::ordered_json volumes = nlohmann::ordered_json::array();
  const uint32_t count = store.VolumeCount();
  for (uint32_t i = kFirstRealVolume; i < count; ++i) {
    store.ReadVolume(i, [&](const VolumeRecord& v) {
      nlohmann::ordered_json files = nlohmann::ordered_json::array();
      for (const Row& row : Walk(v)) {
        const FileRecord& r = *row.record;
        files.push_back({{"index", r.index},
                         {"parent", r.parent},
                         {"path", row.path},
                         {"size", r.size},
                         {"state", r.state()},
                         {"deleted", r.is_deleted()},
                         {"dir", r.is_dir()},
                         {"type_code", r.type_code},
                         {"data_lba", r.data_lba},
                         {"ctime", TimeText(r.ctime)},
                         {"mtime", TimeText(r.mtime)}});
      }
      volumes.push_back({{"index", i - kFoundVolumeIndex},
                         {"title", store.Title(i)},
                         {"fs", FsName(v.fs_kind)},
                         {"start_lba", v.start_lba},
                         {"sector_count", v.sector_count},
                         {"label", v.label},
                         {"serial", v.serial},
                         {"files", std::move(files)}});
    });
  }
  nlohmann::ordered_json out = {{"volumes", std::move(volumes)}};
  std::cout << out.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

}  // namespace

CLI::App* AddLsCommand(CLI::App& app, LsOptions& options) {
  CLI::App* cmd = app.add_subcommand("ls", "List the volumes of a disk, partition or image and their existing "
                                           "and deleted files, from the partition table and boot sectors");
  cmd->add_option("SOURCE", options.source, "block device or disk-image file (opened read-only)")->required();
  cmd->add_flag("--json", options.json, "print the result as JSON");
  auto* deleted = cmd->add_flag("--deleted", options.deleted_only, "only deleted files and directories");
  auto* existing = cmd->add_flag("--existing", options.existing_only, "only existing files and directories");
  deleted->excludes(existing);
  return cmd;
}

int RunLsCommand(const LsOptions& options) {
  platform::InstallInterruptHandler();
  std::atomic<int> scan_state{0};
  std::atomic<bool> done{false};
  // Ctrl-C asks the readers to stop, as the scan's stop button does.
  std::thread watch([&] {
    while (!done.load()) {
      if (platform::StopRequested()) scan_state.store(2);
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  });
  ListOptions list;
  list.scan_state = &scan_state;
  std::vector<VolumeRecord> volumes;
  platform::SourceOpenResult why;
  CSectorSource probe;
  const bool opened = OpenImage(options.source, probe, &why);
  CloseSource(probe);
  const bool listed = opened && ListSource(options.source, list, volumes, &why);
  done.store(true);
  watch.join();
  if (!opened) {
    std::cerr << "trovium-cli: " << platform::DescribeOpenError(why, options.source) << "\n";
    return 1;
  }
  if (scan_state.load() == 2) {
    std::cerr << "trovium-cli: stopped\n";
    return 130;
  }
  if (!listed) std::cerr << "trovium-cli: no partition table or known file system on " << options.source << "\n";
  FoundFileStore store;
  const ListingView view = options.deleted_only    ? ListingView::kDeleted
                           : options.existing_only ? ListingView::kExisting
                                                   : ListingView::kAll;
  LoadListing(store, std::move(volumes), view, options.source);
  if (options.json) PrintJson(store);
  else PrintText(store);
  return listed ? 0 : 2;
}

}  // namespace trovium::cli
