#include "fs/quick_listing.h"

#include <algorithm>

#include "fs/exfat_volume.h"
#include "fs/fat_volume.h"
#include "fs/ntfs_volume.h"
#include "fs/partitions.h"
#include "store/extents.h"

namespace trovium {

namespace {

constexpr uint64_t kMaxContentBytes = 1ull << 20;

// A record's content through its extents; resident NTFS data lives inside the
// file record and is left to the NTFS reader.
bool ReadRecordContent(const VolumeRecord& v, const FileRecord& r, uint64_t max_bytes, std::vector<uint8_t>& out) {
  if ((r.flags & kFlagResident) || r.size > max_bytes || r.size > kMaxContentBytes) return false;
  std::vector<DataExtent> extents;
  if (!BuildExtents(v, r, extents)) return false;
  CSectorSource source;
  if (!OpenImage(v.device_path, source)) return false;
  out.clear();
  std::vector<uint8_t> buf;
  bool ok = true;
  for (const DataExtent& e : extents) {
    if (out.size() >= r.size) break;
    const uint64_t want = std::min<uint64_t>(e.sector_count, (r.size - out.size() + kSectorBytes - 1) / kSectorBytes);
    buf.assign(want * kSectorBytes, 0);
    if (!ReadSectors(static_cast<uint32_t>(want), source, buf.data(), e.start_lba)) {
      ok = false;
      break;
    }
    out.insert(out.end(), buf.begin(), buf.end());
  }
  CloseSource(source);
  if (out.size() > r.size) out.resize(r.size);
  return ok && out.size() == r.size;
}

void RegisterExtentBuildersOnce() {
  static const bool registered = [] {
    RegisterNtfsExtentBuilder();
    RegisterFatExtentBuilder();
    RegisterExfatExtentBuilder();
    return true;
  }();
  (void)registered;
}

}  // namespace

bool FindSourceVolumes(CSectorSource& source, const std::string& device_path, std::vector<VolumeRecord>& out) {
  const uint64_t device_sectors = GetSourceSize(source) / kSectorBytes;
  uint8_t lba0[kSectorBytes];
  if (!ReadSectors(1, source, lba0, 0)) return false;
  std::vector<VolumeRecord> found;
  if (FsKindOfBootSector(ByteView(lba0, sizeof lba0)) != kFsUnknown) {
    // A bare volume: the image or partition itself.
    VolumeRecord v;
    if (VolumeFromTablePartition(source, TablePartition{0, device_sectors, 0, false}, v)) found.push_back(std::move(v));
  } else {
    std::vector<TablePartition> table;
    ReadPartitionTable(source, table);
    for (const TablePartition& p : table) {
      VolumeRecord v;
      if (!HasVolumeStart(found, p.start_lba) && VolumeFromTablePartition(source, p, v)) found.push_back(std::move(v));
    }
  }
  for (VolumeRecord& v : found) {
    v.device_path = device_path;
    v.device_sectors = device_sectors;
    out.push_back(std::move(v));
  }
  return !found.empty();
}

bool ReadVolumeFiles(VolumeRecord& v, const std::atomic<int>* scan_state) {
  RegisterExtentBuildersOnce();
  bool read = false;
  switch (v.fs_kind) {
    case kFsNtfs: read = ReadNtfsVolume(v, scan_state); break;
    case kFsFat16: case kFsFat32: read = ReadFatVolume(v, scan_state); break;
    case kFsExfat: read = ReadExfatVolume(v, scan_state); break;
    default: break;
  }
  if (!IsValidRecord(v, kRootIndex)) {
    AddBaseRecords(v);
    BuildTree(v);
  }
  if (read) RestoreRecycleBinNames(v, ReadRecordContent);
  return read;
}

bool ListSource(const std::string& path, const ListOptions& options, std::vector<VolumeRecord>& out,
                platform::SourceOpenResult* failure) {
  CSectorSource source;
  if (!OpenImage(path, source, failure)) return false;
  std::vector<VolumeRecord> volumes;
  const bool found = FindSourceVolumes(source, path, volumes);
  CloseSource(source);
  if (!found) return false;
  for (VolumeRecord& v : volumes) {
    if (options.scan_state && options.scan_state->load() == 2) break;
    if (options.read_files) {
      ReadVolumeFiles(v, options.scan_state);
    } else {
      AddBaseRecords(v);
    }
    out.push_back(std::move(v));
  }
  return true;
}

void LoadListing(FoundFileStore& store, std::vector<VolumeRecord> volumes, ListingView view,
                 const std::string& source_path) {
  std::vector<VolumeRecord> kept;
  kept.reserve(volumes.size());
  for (VolumeRecord& v : volumes) {
    if (view == ListingView::kAll) {
      kept.push_back(std::move(v));
      continue;
    }
    VolumeRecord deleted = SplitExistingDeleted(v);
    kept.push_back(view == ListingView::kExisting ? std::move(v) : std::move(deleted));
  }
  VolumeRecord source;
  source.device_path = source_path;
  store.LoadVolumes(std::move(kept), source, true, {});
}

}  // namespace trovium
