#include "store/store.h"

#include <algorithm>

#include "content/file_type_table.h"
#include "core/memory_manager.h"
#include "store/extents.h"
#include "store/title.h"

namespace trovium {

FoundFileStore::FoundFileStore() : shared_(std::make_shared<Shared>()) {
  shared_->table = std::make_shared<Table>();
}

FoundFileStore::~FoundFileStore() = default;

void FoundFileStore::RegisterWindow(Notifier* window) {
  std::lock_guard<std::mutex> hold(windows_lock_);
  if (window && std::find(windows_.begin(), windows_.end(), window) == windows_.end()) windows_.push_back(window);
}

void FoundFileStore::UnregisterWindow(Notifier* window) {
  std::lock_guard<std::mutex> hold(windows_lock_);
  windows_.erase(std::remove(windows_.begin(), windows_.end(), window), windows_.end());
}

void FoundFileStore::SetMainWindow(Notifier* window) {
  std::lock_guard<std::mutex> hold(windows_lock_);
  main_window_ = window;
}

void FoundFileStore::Notify(int message, uint64_t wparam, uint64_t lparam, Notifier* excluded, bool post) {
  std::vector<Notifier*> targets;
  {
    std::lock_guard<std::mutex> hold(windows_lock_);
    targets = windows_;
  }
  for (Notifier* w : targets) {
    if (w == excluded) continue;
    post ? w->Post(message, wparam, lparam) : w->Send(message, wparam, lparam);
  }
}

void FoundFileStore::NotifyMain(int message, uint64_t wparam, uint64_t lparam) {
  Notifier* main = nullptr;
  {
    std::lock_guard<std::mutex> hold(windows_lock_);
    main = main_window_;
  }
  if (main) main->Send(message, wparam, lparam);
}

std::shared_ptr<FoundFileStore::Table> FoundFileStore::Snapshot() const {
  std::lock_guard<std::mutex> hold(shared_->lock);
  return shared_->table;
}

const FoundFileStore::Slot* FoundFileStore::Find(const Table& t, uint32_t address) {
  if (address & kViewAddressBit) {
    const uint32_t i = address & ~kViewAddressBit;
    return i < t.views.size() ? t.views[i].get() : nullptr;
  }
  return address < t.count.load(std::memory_order_acquire) ? t.slots[address].get() : nullptr;
}

FoundFileStore::Slot* FoundFileStore::Find(Table& t, uint32_t address) {
  return const_cast<Slot*>(Find(static_cast<const Table&>(t), address));
}

namespace {

VolumeRecord ViewHeader(uint32_t i) {
  static const char* const kLabels[3] = {"文件类型", "创建时间", "修改时间"};
  VolumeRecord v;
  v.fs_kind = kFsVirtual;
  v.label = kLabels[i];
  v.display_name = v.label;
  return v;
}

VolumeRecord NewFoundVolume(const VolumeRecord& source) {
  VolumeRecord v;
  v.fs_kind = kFsFound;
  v.label = kFoundFilesName;
  v.display_name = kFoundFilesName;
  v.device_path = source.device_path;
  AddBaseRecords(v);
  v.file_count = kFirstFoundFileIndex;
  return v;
}

}  // namespace

void FoundFileStore::Reset(const VolumeRecord& current_source, bool notify) {
  auto table = std::make_shared<Table>();
  table->slots.resize(kMaxVolumes);
  table->source = current_source;
  table->source.files.clear();
  {
    auto old = Snapshot();
    std::lock_guard<std::mutex> hold(old->add_lock);
    table->mounted = old->mounted;
  }
  for (uint32_t i = 0; i < 3; ++i) {
    table->views[i] = std::make_unique<Slot>();
    table->views[i]->volume = ViewHeader(i);
    AddVolumeTo(*table, ViewHeader(i));
  }
  filter_mode_.store(kFilterTrees);
  {
    std::lock_guard<std::mutex> hold(shared_->lock);
    shared_->table = table;  // the old table goes with its last reader
  }
  AddVolume(NewFoundVolume(current_source), notify);
}

uint32_t FoundFileStore::AddVolumeTo(Table& t, VolumeRecord v) {
  std::lock_guard<std::mutex> hold(t.add_lock);
  const uint32_t index = t.count.load(std::memory_order_relaxed);
  if (index >= kMaxVolumes || t.slots.size() < kMaxVolumes) return 0;
  if (index >= kFoundVolumeIndex) {
    if (FileRecord* root = GetRecord(v, kRootIndex)) root->name = VolumeTitle(v, index, t.mounted, t.source);
  }
  auto slot = std::make_unique<Slot>();
  slot->volume = std::move(v);
  t.slots[index] = std::move(slot);
  t.count.store(index + 1, std::memory_order_release);
  return index;
}

uint32_t FoundFileStore::AddVolume(VolumeRecord v, bool notify) {
  auto table = Snapshot();
  const uint32_t index = AddVolumeTo(*table, std::move(v));
  if (index == 0 || !notify) return index;
  Notify(kMsgVolumeAdded, index, 0);
  if (index + 1 == 5) {
    bool found_empty = true;
    ReadVolume(kFoundVolumeIndex, [&](const VolumeRecord& f) { found_empty = f.shown_file_count == 0; });
    if (found_empty) NotifyMain(kMsgFirstFoundFile, 0, 0);
  }
  return index;
}

void FoundFileStore::LoadVolumes(std::vector<VolumeRecord> list, const VolumeRecord& current_source, bool show_all,
                                 const std::vector<bool>& selected_types) {
  Reset(current_source, false);
  auto table = Snapshot();
  auto found = std::find_if(list.begin(), list.end(), [](const VolumeRecord& v) { return v.fs_kind == kFsFound; });
  if (found != list.end()) {
    Slot* slot = Find(*table, kFoundVolumeIndex);
    std::unique_lock<std::shared_mutex> hold(slot->lock);
    slot->volume = std::move(*found);
  }
  for (auto it = list.begin(); it != list.end(); ++it) {
    if (it == found) continue;
    CountShownFiles(*it, show_all, selected_types);
    CompactVolume(*it);
    AddVolume(std::move(*it), false);
  }
  if (table->count.load() > kFirstRealVolume) Notify(kMsgVolumesLoaded, 4, 0);
}

uint32_t FoundFileStore::AddFoundFile(FileRecord r) {
  const uint32_t code = r.parent;
  const FileTypeTable& types = build_file_type_table();
  if (code < kFirstFileTypeCode || code > kLastFileTypeCode || types.rows[code].code != code) return 0;
  const uint32_t category = types.rows[code].category;
  if (category < kFirstShownCategory || category >= kFileTypeCategoryCount) return 0;

  auto table = Snapshot();
  Slot* slot = Find(*table, kFoundVolumeIndex);
  if (!slot) return 0;
  uint32_t index = 0;
  bool first = false;
  {
    std::unique_lock<std::shared_mutex> hold(slot->lock);
    VolumeRecord& v = slot->volume;
    first = v.shown_file_count == 0;
    // The category's folder, then the type's folder inside it, made on first use.
    auto ensure_dir = [&v](uint32_t at, uint32_t parent, const std::string& name) {
      if (IsValidRecord(v, at)) return true;
      FileRecord dir;
      dir.index = at;
      dir.parent = parent;
      dir.name = name;
      dir.set_state(kStateDir);
      return InsertRecord(v, dir, true) != 0;
    };
    if (!ensure_dir(category, kRootIndex, types.categories[category].name)) return 0;
    if (!ensure_dir(code, category, types.rows[code].description)) return 0;
    r.index = std::max(v.file_count, kFirstFoundFileIndex);
    r.type_code = static_cast<uint8_t>(code);
    index = InsertRecord(v, r, true);
  }
  if (!index) return 0;
  Notify(kMsgFoundFileAdded, kFoundVolumeIndex, index);
  if (first) NotifyMain(kMsgFirstFoundFile, 0, 0);
  return index;
}

uint32_t FoundFileStore::VolumeCount() const { return Snapshot()->count.load(std::memory_order_acquire); }

bool FoundFileStore::CopyVolumeHeader(uint32_t address, VolumeRecord& out) const {
  return ReadVolume(address, [&](const VolumeRecord& v) {
    out = VolumeRecord{};
    VolumeRecord& o = out;
    // Copy everything but the records.
    o.active = v.active, o.role = v.role, o.fs_kind = v.fs_kind, o.start_lba = v.start_lba;
    o.free_sectors = v.free_sectors, o.sector_count = v.sector_count, o.device_sectors = v.device_sectors;
    o.removable = v.removable, o.boot_sector = v.boot_sector, o.file_count = v.file_count;
    o.shown_file_count = v.shown_file_count, o.extra_a = v.extra_a, o.extra_b = v.extra_b;
    o.mounted = v.mounted, o.disk_number = v.disk_number, o.serial = v.serial, o.disk_name = v.disk_name;
    o.display_name = v.display_name, o.device_path = v.device_path, o.volume_path = v.volume_path;
    o.label = v.label, o.fs_name = v.fs_name, o.view = v.view;
  });
}

std::optional<FileRecord> FoundFileStore::Record(uint32_t address, uint32_t index) const {
  std::optional<FileRecord> out;
  ReadVolume(address, [&](const VolumeRecord& v) {
    if (const FileRecord* r = GetRecord(v, index)) out = *r;
  });
  return out;
}

std::string FoundFileStore::Title(uint32_t address) const {
  auto table = Snapshot();
  std::vector<VolumeRecord> mounted;
  {
    std::lock_guard<std::mutex> hold(table->add_lock);
    mounted = table->mounted;
  }
  std::string title;
  ReadVolume(address, [&](const VolumeRecord& v) {
    title = (address & kViewAddressBit) || address < kFoundVolumeIndex
                ? v.label
                : VolumeTitle(v, address, mounted, table->source);
  });
  return title;
}

bool FoundFileStore::Rename(uint32_t address, uint32_t index, const std::string& name, Notifier* excluded) {
  if (name.empty()) return false;
  auto table = Snapshot();
  Slot* slot = Find(*table, address);
  if (!slot) return false;
  {
    std::unique_lock<std::shared_mutex> hold(slot->lock);
    FileRecord* r = GetRecord(slot->volume, index);
    if (!r) return false;
    r->name = name;
  }
  Notify(kMsgRecordRenamed, address, index, excluded);
  return true;
}

bool FoundFileStore::ToggleCheck(uint32_t address, uint32_t index, Notifier* excluded) {
  auto table = Snapshot();
  Slot* slot = Find(*table, address);
  if (!slot || (address & kViewAddressBit)) return false;  // view references come with the views
  {
    std::unique_lock<std::shared_mutex> hold(slot->lock);
    if (!trovium::ToggleCheck(slot->volume, index, FilterActive())) return false;
  }
  Notify(kMsgCheckStateChanged, address, index, excluded);
  return true;
}

uint16_t FoundFileStore::CheckState(uint32_t address, uint32_t index) const {
  uint16_t state = kUnchecked;
  ReadVolume(address, [&](const VolumeRecord& v) {
    if (const FileRecord* r = GetRecord(v, index)) state = r->check();
  });
  return state;
}

bool FoundFileStore::SetThumbState(uint32_t address, uint32_t index, uint16_t state) {
  auto table = Snapshot();
  Slot* slot = Find(*table, address);
  if (!slot) return false;
  {
    std::unique_lock<std::shared_mutex> hold(slot->lock);
    FileRecord* r = GetRecord(slot->volume, index);
    if (!r) return false;
    r->set_thumb_state(state);
  }
  if (state == kThumbReady) Notify(kMsgThumbnailReady, address, index, nullptr, true);
  return true;
}

std::vector<uint32_t> FoundFileStore::Children(uint32_t address, uint32_t index, bool with_children_only) const {
  std::vector<uint32_t> out;
  const bool filter = FilterActive();
  ReadVolume(address, [&](const VolumeRecord& v) {
    const FileRecord* r = GetRecord(v, index);
    if (!r) return;
    for (uint32_t c : r->children) {
      if (c == kRootIndex || !IsVisibleRecord(v, c, filter)) continue;
      if (with_children_only && v.files[c].children.empty()) continue;
      out.push_back(c);
    }
  });
  return out;
}

std::vector<uint32_t> FoundFileStore::PathToRoot(uint32_t address, uint32_t index) const {
  std::vector<uint32_t> out;
  ReadVolume(address, [&](const VolumeRecord& v) { out = trovium::PathToRoot(v, index); });
  return out;
}

FileTotals FoundFileStore::Totals(uint32_t address, uint32_t index, bool checked_only) const {
  FileTotals t;
  const bool filter = FilterActive();
  ReadVolume(address, [&](const VolumeRecord& v) { t = TotalsBelow(v, index, filter, checked_only); });
  return t;
}

bool FoundFileStore::Extents(uint32_t address, uint32_t index, std::vector<DataExtent>& extents) const {
  bool ok = false;
  extents.clear();
  ReadVolume(address, [&](const VolumeRecord& v) {
    if (const FileRecord* r = GetRecord(v, index)) ok = BuildExtents(v, *r, extents);
  });
  return ok;
}

uint64_t FoundFileStore::VideoSizeValue() const {
  std::vector<uint64_t> sizes;
  ReadVolume(kFoundVolumeIndex, [&](const VolumeRecord& v) {
    for (uint32_t i = kFirstFoundFileIndex; i < v.file_count; ++i) {
      const FileRecord* r = GetRecord(v, i);
      if (r && !r->is_dir() && is_video_type(r->type_code)) sizes.push_back(r->size);
    }
  });
  if (sizes.empty()) return kNoVideoSize;
  std::nth_element(sizes.begin(), sizes.begin() + sizes.size() / 2, sizes.end());
  return sizes[sizes.size() / 2] + 1024;
}

void FoundFileStore::SetMountedVolumes(std::vector<VolumeRecord> mounted) {
  // Titles of volumes added from now on use this list.
  auto table = Snapshot();
  std::lock_guard<std::mutex> hold(table->add_lock);
  table->mounted = std::move(mounted);
}

void FoundFileStore::AttachMemoryStatus() {
  std::weak_ptr<Shared> weak = shared_;
  SetMemStatusSource([weak]() {
    std::vector<MemStatusVolume> out;
    auto shared = weak.lock();
    if (!shared) return out;
    std::shared_ptr<Table> table;
    {
      std::lock_guard<std::mutex> hold(shared->lock);
      table = shared->table;
    }
    const uint32_t count = table->count.load(std::memory_order_acquire);
    for (uint32_t i = kFoundVolumeIndex; i < count; ++i) {
      const Slot* slot = table->slots[i].get();
      std::shared_lock<std::shared_mutex> hold(slot->lock);
      out.push_back({i - kFoundVolumeIndex, slot->volume.file_count});
    }
    return out;
  });
}

}  // namespace trovium
