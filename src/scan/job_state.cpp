#include "scan/job_state.h"

#include <atomic>
#include <mutex>

namespace trovium {

namespace {

struct JobState {
  std::mutex lock;
  VolumeRecord source;
  ScanSettings settings;
  bool filled = false;
};

JobState& State() {
  static JobState state;
  return state;
}

std::atomic<int32_t> g_mode{kModeAll};

}  // namespace

std::string RecoveryModeName(int32_t mode) {
  switch (mode) {
    case kModeAll: return "Recovery all file";
    case kModeDeleted: return "Recovery del file";
    case kModePartition: return "Recovery part file";
    case kModeUsb: return "Recovery usb file";
    case kModeRecycle: return "Recovery recycle file";
    case kModeDisk: return "Recovery disk file";
    default: return "";
  }
}

ScanSettings DefaultScanSettings(const VolumeRecord& source, int32_t mode) {
  ScanSettings s;
  s.ScanRangeStart = source.start_lba;
  s.ScanRangeCount = source.sector_count;
  s.PriorityStart = source.start_lba;
  s.PrioritySize = 0;
  if (IsFreeSpaceMode(mode)) {
    s.AlignCarvedFiles = kOptionOn;
    s.ShowAllFoundFiles = kOptionLocked;
  }
  return s;
}

void SetRecoveryMode(int32_t mode) { g_mode.store(mode); }
int32_t GetRecoveryMode() { return g_mode.load(); }

void SetCurrentSource(const VolumeRecord& source) {
  JobState& st = State();
  std::lock_guard<std::mutex> hold(st.lock);
  st.source = source;
  st.source.files.clear();
  st.source.files.shrink_to_fit();
}

VolumeRecord GetCurrentSource() {
  JobState& st = State();
  std::lock_guard<std::mutex> hold(st.lock);
  return st.source;
}

void SetScanSettings(const ScanSettings& settings) {
  JobState& st = State();
  std::lock_guard<std::mutex> hold(st.lock);
  st.settings = settings;
}

ScanSettings GetScanSettings() {
  JobState& st = State();
  std::lock_guard<std::mutex> hold(st.lock);
  return st.settings;
}

bool ScanSettingsFilled() {
  JobState& st = State();
  std::lock_guard<std::mutex> hold(st.lock);
  return st.filled;
}

void PrepareScanSettings() {
  JobState& st = State();
  std::lock_guard<std::mutex> hold(st.lock);
  const VolumeRecord& src = st.source;
  if (!st.filled) {
    st.settings = DefaultScanSettings(src, g_mode.load());
    st.filled = true;
    return;
  }
  ScanSettings& s = st.settings;
  s.ScanRangeStart = src.start_lba;
  s.ScanRangeCount = src.sector_count;
  // Compared without overflow: a priority range from an earlier, larger
  // source must not wrap into the new one.
  const bool inside = s.PriorityStart >= src.start_lba && s.PrioritySize <= src.sector_count &&
                      s.PriorityStart - src.start_lba <= src.sector_count - s.PrioritySize;
  if (!inside) {
    s.PriorityStart = src.start_lba;
    s.PrioritySize = 0;
  }
  // The block kept from an earlier scan may come from another mode: the lock
  // follows the mode of this scan.
  if (IsFreeSpaceMode(g_mode.load())) {
    s.ShowAllFoundFiles = kOptionLocked;
  } else if (s.ShowAllFoundFiles == kOptionLocked) {
    s.ShowAllFoundFiles = kOptionOn;
  }
}

void ResetJobStateForTesting() {
  JobState& st = State();
  std::lock_guard<std::mutex> hold(st.lock);
  st.source = VolumeRecord{};
  st.settings = ScanSettings{};
  st.filled = false;
  g_mode.store(kModeAll);
}

}  // namespace trovium
