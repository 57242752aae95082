#include "fs/fat_volume.h"

#include <algorithm>
#include <new>
#include <unordered_set>

#include "fs/fat_boot.h"
#include "fs/fat_dir.h"
#include "fs/fat_repair.h"
#include "fs/fat_table.h"
#include "scan/progress.h"
#include "store/extents.h"

namespace trovium {

namespace {

constexpr uint64_t kMaxDirClusters = 1024;

struct PendingDir {
  uint32_t first_cluster = 0;  // 0: the root
  uint32_t parent = 0;
};

struct FatWalk {
  VolumeRecord& v;
  const FatGeometry& geo;
  CSectorSource& source;
  const std::atomic<int>* scan_state;
  const FatReadOptions& options;
  const FatClusterMap* map = nullptr;  // FAT32 after a completed deep scan
  std::unordered_set<uint64_t> read_starts;
  std::vector<uint8_t> buffer;  // one directory, reused
  std::vector<uint32_t> new_dirs;
  ProgressReport progress{};

  bool MarkRead(uint64_t lba) {
    if (!read_starts.insert(lba).second) return false;
    if (options.directory_starts) options.directory_starts->push_back(lba);
    return true;
  }

  bool ReadInto(uint64_t lba, uint64_t sectors, uint64_t at_byte) {
    try {
      if (buffer.size() < at_byte + sectors * kSectorBytes) buffer.resize(at_byte + sectors * kSectorBytes);
    } catch (const std::bad_alloc&) {
      return false;
    }
    return ReadSectors(static_cast<uint32_t>(sectors), source, buffer.data() + at_byte, lba);
  }

  // Reads the directory's clusters into buffer; the byte count read, 0 for none.
  uint64_t ReadDirectory(const PendingDir& d) {
    const uint64_t cluster_bytes = uint64_t{geo.sectors_per_cluster} * kSectorBytes;
    if (d.first_cluster == 0 && !geo.fat32) {
      if (!MarkRead(geo.root_lba)) return 0;
      return ReadInto(geo.root_lba, geo.root_dir_sectors, 0) ? geo.root_dir_sectors * kSectorBytes : 0;
    }
    const uint64_t first = d.first_cluster == 0 ? geo.root_cluster : d.first_cluster;
    if (!IsFatDataCluster(geo, first) || !MarkRead(FatClusterLba(geo, first))) return 0;
    // Collect the chain as runs of adjacent clusters, then read each run at once.
    ClusterRunSet seen;
    std::vector<std::pair<uint64_t, uint64_t>> runs;  // first cluster, count
    uint64_t c = first;
    for (uint64_t n = 0; n < kMaxDirClusters && IsFatDataCluster(geo, c) && seen.Insert(c); ++n) {
      if (!runs.empty() && runs.back().first + runs.back().second == c) ++runs.back().second;
      else runs.push_back({c, 1});
      uint32_t next = 0;
      if (!FatEntry(v.extra_a, geo.fat32, c, next) || next == 0) break;
      c = next;
    }
    uint64_t bytes = 0;
    for (const auto& [start, count] : runs) {
      if (ScanStopped(scan_state)) break;
      // An unreadable run leaves zeros, which end the entries there.
      ReadInto(FatClusterLba(geo, start), count * geo.sectors_per_cluster, bytes);
      bytes += count * cluster_bytes;
    }
    return bytes;
  }

  void Count(const FileRecord& r) {
    FsListProgress& p = progress.fsList;
    switch (r.state()) {
      case kStateFile: ++p.existingFiles; break;
      case kStateDir: ++p.existingDirs; break;
      case kStateDeletedFile: ++p.deletedFiles; break;
      default: ++p.deletedDirs; break;
    }
  }

  bool Run() {
    progress.reportKind = kProgressFsList;
    // Existing directories first: a deleted one whose cluster was reused must
    // not claim a live directory before it is read in its own place.
    std::vector<PendingDir> live{{0, kRootIndex}};
    std::vector<PendingDir> dead;
    while (!live.empty() || !dead.empty()) {
      if (ScanStopped(scan_state)) return false;
      std::vector<PendingDir>& from = live.empty() ? dead : live;
      const PendingDir d = from.back();
      from.pop_back();
      const uint64_t bytes = ReadDirectory(d);
      if (bytes == 0) continue;
      const ByteView dir(buffer.data(), bytes);
      if (d.first_cluster != 0 && !HasFatDotEntries(dir)) continue;
      new_dirs.clear();
      ParseFatDirectory(dir, geo.fat32, d.parent, [&](FileRecord& r) {
        r.data_lba = IsFatDataCluster(geo, r.run_info) ? FatClusterLba(geo, r.run_info) : 0;
        const uint32_t index = InsertRecord(v, r, false);
        if (index == 0) return;
        Count(r);
        if (r.is_dir()) new_dirs.push_back(index);
      });
      if (map && !new_dirs.empty()) RepairFatFirstClusters(v, geo, *map, new_dirs.front(), true);
      PostProgress(progress);
      // Deepest first, in entry order, as a recursive walk would go.
      for (auto it = new_dirs.rbegin(); it != new_dirs.rend(); ++it) {
        const FileRecord* r = GetRecord(v, *it);
        if (r && IsFatDataCluster(geo, r->run_info)) (r->is_deleted() ? dead : live).push_back({r->run_info, *it});
      }
    }
    return true;
  }
};

SourceLocation LocationOf(const VolumeRecord& v) {
  SourceLocation where;
  where.device_path = v.device_path;
  where.display_name = v.display_name;
  where.start_lba = v.start_lba;
  where.sector_count = v.sector_count == 0 ? kOpenEndedSectorCount : v.sector_count;
  return where;
}

}  // namespace

bool ReadFatVolume(VolumeRecord& volume, const std::atomic<int>* scan_state) {
  return ReadFatVolume(volume, scan_state, FatReadOptions{});
}

bool ReadFatVolume(VolumeRecord& volume, const std::atomic<int>* scan_state, const FatReadOptions& options) {
  FatGeometry geo;
  if (!ParseFatGeometry(volume, geo)) return false;
  CSectorSource source;
  if (!OpenDevice(LocationOf(volume), source)) return false;
  bool ok = LoadFatCopy(source, geo, volume.extra_a, scan_state) && !ScanStopped(scan_state);
  if (ok) ok = AddBaseRecords(volume);
  if (ok) {
    FatClusterMap map;
    const bool repair = geo.fat32 && options.deep_scan_completed;
    if (repair) map = BuildFatClusterMap(geo, options.scan_hits);
    FatWalk walk{volume, geo, source, scan_state, options};
    if (repair) walk.map = &map;
    ok = walk.Run();
    if (ok && repair) RepairFatFirstClusters(volume, geo, map, kRootIndex, false);
  }
  CloseSource(source);
  if (ok) BuildTree(volume);
  return ok;
}

bool BuildFatExtents(const VolumeRecord& v, const FileRecord& r, std::vector<DataExtent>& extents) {
  extents.clear();
  FatGeometry geo;
  if (!ParseFatGeometry(v, geo) || !IsFatDataCluster(geo, r.run_info)) return false;
  const uint64_t spc = geo.sectors_per_cluster;
  const uint64_t wanted = (r.size + kSectorBytes - 1) / kSectorBytes;
  if (r.state() == kStateDeletedDir) {
    if (wanted == 0) return false;
    extents.push_back({FatClusterLba(geo, r.run_info), wanted});
    return true;
  }
  // A chain that ends early, or a deleted file whose entries were cleared,
  // goes on contiguously up to the size; a chain that returns to a cluster
  // already taken ends there.
  ClusterRunSet seen;
  uint64_t covered = 0;
  uint64_t c = r.run_info;
  for (uint64_t n = 0; covered < wanted && n < geo.cluster_count && IsFatDataCluster(geo, c) && seen.Insert(c); ++n) {
    const uint64_t lba = FatClusterLba(geo, c);
    const uint64_t sectors = std::min(spc, wanted - covered);
    AppendExtent(extents, lba, sectors);
    covered += sectors;
    uint32_t next = 0;
    c = FatEntry(v.extra_a, geo.fat32, c, next) && IsFatDataCluster(geo, next) ? next : c + 1;
  }
  return !extents.empty();
}

void RegisterFatExtentBuilder() {
  SetExtentBuilder(kFsFat16, &BuildFatExtents);
  SetExtentBuilder(kFsFat32, &BuildFatExtents);
}

bool LoadFatForFreeSpace(const VolumeRecord& volume, std::vector<uint8_t>& fat) {
  fat.clear();
  FatGeometry geo;
  if (!ParseFatGeometry(volume, geo)) return false;
  CSectorSource source;
  if (!OpenDevice(LocationOf(volume), source)) return false;
  const bool ok = LoadFatCopy(source, geo, fat, nullptr);
  CloseSource(source);
  return ok;
}

bool ReadFatVolumeLabel(VolumeRecord& volume, CSectorSource& source) {
  FatGeometry geo;
  if (!ParseFatGeometry(volume, geo)) return false;
  uint64_t lba = geo.root_lba;
  if (geo.fat32) {
    if (!IsFatDataCluster(geo, geo.root_cluster)) return false;
    lba = FatClusterLba(geo, geo.root_cluster);
  }
  std::vector<uint8_t> sector(kSectorBytes);
  if (!ReadSectors(1, source, sector.data(), lba)) return false;
  return FatLabelFromRootSector(ByteView(sector.data(), sector.size()), volume.label);
}

}  // namespace trovium
