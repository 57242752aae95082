// The export of the checked records: volumes, export root, and the walk over
// each checked subtree, with an explicit stack and one path string.

#include "export/export_engine.h"

#include <cstdio>

#include "core/path_util.h"
#include "core/program_identity.h"
#include "core/report.h"
#include "core/soft_config.h"
#include "export/export_paths.h"
#include "export/output_names.h"
#include "platform/output_file.h"
#include "store/check_state.h"

namespace trovium {

void ExportProgress::Publish() {
  report.reportKind = kProgressExportCopy;
  PostProgress(report);
}

std::vector<uint32_t> ExportVolumes(ExportJob& job) {
  std::vector<uint32_t> out;
  const bool filter = job.store->FilterMode() == kFilterResults;
  const uint32_t count = job.store->VolumeCount();
  for (uint32_t a = kFoundVolumeIndex; a < count; ++a) {
    job.store->ReadVolume(a, [&](const VolumeRecord& v) {
      if (v.files.size() <= kRootIndex || !IsVisibleRecord(v, kRootIndex, filter)) return;
      std::vector<uint8_t>& states = job.check_states[a];
      const uint16_t s = NormaliseCheckStates(v, kRootIndex, filter, states);
      if (s == kChecked || s == kPartlyChecked) out.push_back(a);
      else job.check_states.erase(a);
    });
  }
  return out;
}

std::string ResolveExportRoot(ExportJob& job) {
  std::string dir = job.out_dir;
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  const std::string sub = job.save_dir.empty() ? std::string() : SafeNameComponent(job.save_dir);
  const size_t slash = dir.rfind('/');
  if (sub.empty() || (slash != std::string::npos && dir.substr(slash + 1) == sub)) {
    job.export_root = dir;
    return dir;
  }
  std::string root;
  if (!CreateExportFolder(job, dir, sub, root).ok()) root.clear();
  job.export_root = root;
  return root;
}

namespace {

uint16_t StateOf(const ExportJob& job, uint32_t volume, uint32_t index) {
  auto it = job.check_states.find(volume);
  if (it != job.check_states.end() && index < it->second.size()) return it->second[index];
  return job.store->CheckState(volume, index);
}

void StartFile(ExportProgress& progress, const FileRecord& r) {
  auto& p = progress.report.exportCopy;
  SetProgressText(p.current_name, r.name, kExportNameChars);
  p.current_size = r.size;
  p.current_copied = 0;
}

void EndFile(ExportProgress& progress) {
  progress.report.exportCopy.files_done++;
  progress.Publish();
}

bool Stopping(const ExportJob& job) { return job.control.load() == kWorkerStop || job.totals.out_of_space; }

}  // namespace

bool ExportRecord(ExportJob& job, const ExportTarget& target, ExportProgress& progress, bool checked_only) {
  if (Stopping(job)) return false;
  const bool filter = job.store->FilterMode() == kFilterResults;
  uint32_t slots = 0;
  bool usable = false;
  job.store->ReadVolume(target.volume, [&](const VolumeRecord& v) {
    slots = static_cast<uint32_t>(v.files.size());
    usable = IsVisibleRecord(v, target.record, filter);
  });
  if (!usable) return false;
  auto taken = [&](uint32_t i) {
    const uint16_t s = StateOf(job, target.volume, i);
    return !checked_only || s == kChecked || s == kPartlyChecked;
  };
  if (!taken(target.record)) return false;

  struct Entry {
    uint32_t index;
    uint32_t depth;   // 0: the record itself, inside target.out_dir
    bool doomed;      // its folder could not be made: its files fail
  };
  std::vector<Entry> stack{{target.record, 0, false}};
  std::vector<size_t> folder_len{target.out_dir.size()};  // path length of the folder at each depth
  std::string path = target.out_dir;
  std::vector<uint8_t> seen(slots, 0);
  seen[target.record] = 1;
  bool first_ok = true;
  while (!stack.empty()) {
    if (Stopping(job)) return false;
    const Entry e = stack.back();
    stack.pop_back();
    const std::optional<FileRecord> r = job.store->Record(target.volume, e.index);
    if (!r) continue;
    const std::string name = SafeNameComponent(r->name);
    path.resize(folder_len[e.depth]);
    if (!r->is_dir()) {
      StartFile(progress, *r);
      job.totals.files_attempted++;
      if (e.doomed) CountFailure(job, JoinPath(path, name));
      else CopyFileRecord(job, JoinPath(path, name), progress, *r, target.volume);
      EndFile(progress);
      continue;
    }
    bool doomed = e.doomed;
    if (!doomed) {
      std::string made;
      if (CreateExportFolder(job, path, name, made).ok()) {
        path = made;
      } else {
        doomed = true;
        if (e.depth == 0) first_ok = false;
      }
    }
    if (folder_len.size() < e.depth + 2) folder_len.resize(e.depth + 2);
    folder_len[e.depth + 1] = path.size();
    for (auto it = r->children.rbegin(); it != r->children.rend(); ++it) {
      const uint32_t c = *it;
      if (c == kRootIndex || c >= slots || seen[c] || !taken(c)) continue;
      bool child_usable = false;
      job.store->ReadVolume(target.volume, [&](const VolumeRecord& v) { child_usable = IsVisibleRecord(v, c, filter); });
      if (!child_usable) continue;
      seen[c] = 1;
      stack.push_back({c, e.depth + 1, doomed});
    }
  }
  return first_ok;
}

void SaveAllToDirThread(ExportJob& job) {
  WorkerScope scope("SaveAllToDirThread");
  SetReadErrorMode(2);
  ZeroReadCounters();
  ReportEvent(2, "");
  ExportProgress progress;
  progress.report.reportKind = kProgressExportCopy;
  const bool filter = job.store->FilterMode() == kFilterResults;

  const std::vector<uint32_t> volumes = ExportVolumes(job);
  for (uint32_t a : volumes) {
    job.store->ReadVolume(a, [&](const VolumeRecord& v) {
      CountSelected(v, kRootIndex, filter, job.check_states[a], progress);
    });
  }
  progress.Publish();

  const std::string root = ResolveExportRoot(job);
  for (uint32_t a : volumes) {
    if (root.empty() || Stopping(job)) break;
    std::string folder;
    // A volume folder that cannot be made fails the files below it, not the export.
    if (!CreateExportFolder(job, root, SafeNameComponent(job.store->Title(a)), folder).ok()) {
      folder = JoinPath(root, SafeNameComponent(job.store->Title(a)));
    }
    for (uint32_t c : job.store->Children(a, kRootIndex, false)) {
      if (Stopping(job)) break;
      ExportRecord(job, ExportTarget{folder, a, c}, progress, true);
    }
  }

  ReportEvent(3, CopySummaryLine(progress));
  int32_t running = kWorkerRunning;
  job.control.compare_exchange_strong(running, kWorkerFinished);
}

}  // namespace trovium
