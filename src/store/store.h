#pragma once
// The found-file store: every volume a scan found, the found-files volume and
// the classification views, with the operations the results browser and
// export use, and the notifications that announce changes.
//
// Thread safety. Readers fill their own VolumeRecord without locks and hand it
// over with AddVolume. Inside the store:
//  - the volume table (4096 slots) lives behind a std::shared_ptr; every
//    operation takes its own reference first, so Reset can replace the table
//    while a reader still works on the old one, which is freed only when the
//    last reference goes;
//  - each volume has a std::shared_mutex: operations that change a volume
//    (insert, rename, check marks, found files) hold it exclusively, readers
//    (records, children, totals, ReadVolume) hold it shared, so no reader sees
//    a record array while it is being grown or freed;
//  - a slot is published by raising the volume count (release) after it was
//    filled; readers see only slots below the count they loaded (acquire).
// Notifications are sent after the lock is released: a window that handles a
// message reads the store, and would otherwise wait on the lock we hold.
//
// Shutdown order: stop every worker that adds to the store (scan, readers)
// and join it; only then call Reset or destroy the store. Threads that only
// read (UI, preview) may keep running across a Reset: they finish on the old
// table.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <vector>

#include "core/notifier.h"
#include "store/check_state.h"
#include "store/volume_record.h"

namespace trovium {

inline constexpr uint32_t kMaxVolumes = 4096;
inline constexpr uint32_t kFoundVolumeIndex = 3;
inline constexpr uint32_t kFirstRealVolume = 4;
inline constexpr uint32_t kViewAddressBit = 0x10000;
inline constexpr int32_t kFilterTrees = -2;
inline constexpr int32_t kFilterResults = -1;
inline constexpr uint64_t kNoVideoSize = 1ull << 48;

class FoundFileStore {
 public:
  FoundFileStore();
  ~FoundFileStore();
  FoundFileStore(const FoundFileStore&) = delete;
  FoundFileStore& operator=(const FoundFileStore&) = delete;

  // Windows that receive the notifications, and the main window (1128).
  void RegisterWindow(Notifier* window);
  void UnregisterWindow(Notifier* window);
  void SetMainWindow(Notifier* window);

  // Empties the store (workers joined first, see above) and sets up the view
  // templates, the views and the found-files volume for this source.
  void Reset(const VolumeRecord& current_source, bool notify);

  // Takes the volume over; its index, or 0 when the store is full.
  uint32_t AddVolume(VolumeRecord v, bool notify);

  // Reset, then the list's found-files volume (or a new one) into slot 3 and
  // every other volume counted, compacted and added without notification.
  void LoadVolumes(std::vector<VolumeRecord> list, const VolumeRecord& current_source, bool show_all,
                   const std::vector<bool>& selected_types);

  // A file found by signature; r.parent holds its FileTypeCode. Its index, or 0.
  uint32_t AddFoundFile(FileRecord r);

  uint32_t VolumeCount() const;
  // The header of a volume without its records.
  bool CopyVolumeHeader(uint32_t address, VolumeRecord& out) const;
  std::optional<FileRecord> Record(uint32_t address, uint32_t index) const;
  std::string Title(uint32_t address) const;

  bool Rename(uint32_t address, uint32_t index, const std::string& name, Notifier* excluded = nullptr);
  bool ToggleCheck(uint32_t address, uint32_t index, Notifier* excluded = nullptr);
  uint16_t CheckState(uint32_t address, uint32_t index) const;
  bool SetThumbState(uint32_t address, uint32_t index, uint16_t state);

  std::vector<uint32_t> Children(uint32_t address, uint32_t index, bool with_children_only) const;
  std::vector<uint32_t> PathToRoot(uint32_t address, uint32_t index) const;
  FileTotals Totals(uint32_t address, uint32_t index, bool checked_only) const;
  bool Extents(uint32_t address, uint32_t index, std::vector<DataExtent>& extents) const;

  int32_t FilterMode() const { return filter_mode_.load(); }
  void SetFilterMode(int32_t mode) { filter_mode_.store(mode); }

  // Median size of the found video files plus 1024, or kNoVideoSize.
  uint64_t VideoSizeValue() const;

  // Mounted volumes named in the titles.
  void SetMountedVolumes(std::vector<VolumeRecord> mounted);

  // Feeds the memory status text from this store until it is destroyed.
  void AttachMemoryStatus();

  // Runs f(const VolumeRecord&) under the volume's shared lock; false for a bad address.
  template <class F>
  bool ReadVolume(uint32_t address, F&& f) const {
    auto table = Snapshot();
    const Slot* slot = Find(*table, address);
    if (!slot) return false;
    std::shared_lock<std::shared_mutex> hold(slot->lock);
    f(static_cast<const VolumeRecord&>(slot->volume));
    return true;
  }

 private:
  struct Slot {
    mutable std::shared_mutex lock;
    VolumeRecord volume;
    std::vector<ViewNode> nodes;  // view volumes only
  };
  struct Table {
    std::vector<std::unique_ptr<Slot>> slots;  // kMaxVolumes entries
    std::atomic<uint32_t> count{0};
    std::mutex add_lock;
    std::array<std::unique_ptr<Slot>, 3> views;
    VolumeRecord source;
    std::vector<VolumeRecord> mounted;
  };
  struct Shared {
    mutable std::mutex lock;
    std::shared_ptr<Table> table;
  };

  std::shared_ptr<Table> Snapshot() const;
  static const Slot* Find(const Table& t, uint32_t address);
  static Slot* Find(Table& t, uint32_t address);
  uint32_t AddVolumeTo(Table& t, VolumeRecord v);
  void Notify(int message, uint64_t wparam, uint64_t lparam, Notifier* excluded = nullptr, bool post = false);
  void NotifyMain(int message, uint64_t wparam, uint64_t lparam);
  bool FilterActive() const { return filter_mode_.load() == kFilterResults; }

  std::shared_ptr<Shared> shared_;
  std::atomic<int32_t> filter_mode_{kFilterTrees};
  mutable std::mutex windows_lock_;
  std::vector<Notifier*> windows_;
  Notifier* main_window_ = nullptr;
};

}  // namespace trovium
