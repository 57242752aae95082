#include "fs/exfat_volume.h"

#include <algorithm>
#include <new>

#include "fs/exfat_dir.h"
#include "fs/fat_table.h"
#include "store/extents.h"

namespace trovium {

namespace {

constexpr uint32_t kReadPiece = 0x4000;  // sectors per read of a long area

bool Allocate(std::vector<uint8_t>& buffer, uint64_t bytes) {
  try {
    buffer.assign(static_cast<size_t>(bytes), 0);
  } catch (const std::bad_alloc&) {
    buffer.clear();
    return false;
  }
  return true;
}

bool ReadArea(CSectorSource& source, uint8_t* dest, uint64_t lba, uint64_t sectors) {
  bool ok = true;
  for (uint64_t done = 0; done < sectors;) {
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(kReadPiece, sectors - done));
    ok = ReadSectors(n, source, dest + done * kSectorBytes, lba + done) && ok;
    done += n;
  }
  return ok;
}

bool FatNext(const VolumeRecord& v, uint64_t c, uint32_t& next) {
  const ByteView fat(v.extra_a.data(), v.extra_a.size());
  return c <= fat.size() / 4 && fat.le32(c * 4, next);
}

bool Allocated(const VolumeRecord& v, uint64_t c) {
  const uint64_t bit = c - 2;
  if (c < 2 || bit / 8 >= v.extra_b.size()) return false;
  return (v.extra_b[bit / 8] >> (bit % 8)) & 1u;
}

SourceLocation LocationOf(const VolumeRecord& v) {
  SourceLocation where;
  where.device_path = v.device_path;
  where.display_name = v.display_name;
  where.start_lba = v.start_lba;
  where.sector_count = v.sector_count == 0 ? kOpenEndedSectorCount : v.sector_count;
  return where;
}

struct PendingDir {
  uint64_t first_cluster = 0;
  uint64_t bytes = 0;
  bool no_fat_chain = false;
  uint32_t parent = 0;
  bool deleted = false;
};

void Count(ProgressReport& progress, const FileRecord& r) {
  FsListProgress& p = progress.fsList;
  switch (r.state()) {
    case kStateFile: ++p.existingFiles; break;
    case kStateDir: ++p.existingDirs; break;
    case kStateDeletedFile: ++p.deletedFiles; break;
    default: ++p.deletedDirs; break;
  }
}

// Finds the allocation bitmap in the root directory's first cluster and reads it.
void LoadBitmap(CSectorSource& source, VolumeRecord& v, const ExfatGeometry& geo) {
  v.extra_b.clear();
  std::vector<uint8_t> root;
  if (!Allocate(root, geo.cluster_bytes())) return;
  ReadSectors(geo.sectors_per_cluster, source, root.data(), ExfatClusterLba(geo, geo.root_cluster));
  const ByteView dir(root.data(), root.size());
  for (size_t at = 0; at + 32 <= dir.size(); at += 32) {
    const uint8_t type = dir.u8_or0(at);
    if (type == 0) return;
    if (type != 0x81) continue;
    const uint64_t first = dir.le32_or0(at + 20);
    const uint64_t length = dir.le64_or0(at + 24);
    // One bit a cluster: a longer length is no bitmap of this volume.
    const uint64_t needed = (geo.cluster_count + 7) / 8;
    if (length == 0 || length > needed + geo.cluster_bytes() || !IsExfatCluster(geo, first)) return;
    const uint64_t sectors = std::min((std::min(length, needed) + 511) / 512, kMaxExfatCopySectors);
    const uint64_t clusters = (sectors + geo.sectors_per_cluster - 1) / geo.sectors_per_cluster;
    if (first + clusters - 1 > geo.cluster_count + 1) return;
    if (!Allocate(v.extra_b, sectors * 512)) return;
    ReadArea(source, v.extra_b.data(), ExfatClusterLba(geo, first), sectors);
    return;
  }
}

}  // namespace

std::vector<ExfatClusterRun> ExfatClusterRuns(const VolumeRecord& v, const ExfatGeometry& geo, uint64_t first,
                                              uint64_t bytes, ExfatChain chain) {
  std::vector<ExfatClusterRun> runs;
  if (!IsExfatCluster(geo, first) || bytes == 0) return runs;
  const uint64_t cluster_bytes = geo.cluster_bytes();
  // Capped by the cluster count, so a huge length cannot make the list endless.
  const uint64_t wanted = std::min(bytes / cluster_bytes + (bytes % cluster_bytes != 0), geo.cluster_count);
  if (chain == ExfatChain::kContiguous) {
    runs.push_back({first, std::min(wanted, geo.cluster_count + 2 - first)});
    return runs;
  }
  if (chain == ExfatChain::kDirectory && v.extra_a.empty()) {
    runs.push_back({first, 1});
    return runs;
  }
  ClusterRunSet seen;
  uint64_t taken = 0;
  uint64_t c = first;
  while (taken < wanted && IsExfatCluster(geo, c) && seen.Insert(c)) {
    if (!runs.empty() && runs.back().first + runs.back().count == c) ++runs.back().count;
    else runs.push_back({c, 1});
    ++taken;
    uint32_t next = 0;
    const bool known = FatNext(v, c, next);
    if (known && next == 0xFFFFFFFF) break;
    if (chain == ExfatChain::kFile) {
      // Only an allocated cluster's FAT entry can be trusted; a deleted
      // file's clusters are free, and is taken as contiguous.
      if (!known || v.extra_b.empty() || !Allocated(v, next)) next = static_cast<uint32_t>(std::min<uint64_t>(c + 1, UINT32_MAX));
    } else if (!known) {
      break;
    }
    if (next < 2) break;
    c = next;
  }
  return runs;
}

bool ReadExfatDirectory(const std::atomic<int>* scan_state, ProgressReport& progress, CSectorSource& source,
                        VolumeRecord& v, const ExfatGeometry& geo, uint64_t first_cluster, uint64_t bytes,
                        bool no_fat_chain, uint32_t parent) {
  progress.reportKind = kProgressFsList;
  ClusterRunSet read_clusters;  // every directory cluster read so far
  std::vector<uint8_t> buffer;
  std::vector<PendingDir> found;
  // Existing directories first: a deleted one whose clusters were reused must
  // not claim them before the live directory is read in its own place.
  std::vector<PendingDir> live{{first_cluster, bytes, no_fat_chain, parent, false}};
  std::vector<PendingDir> dead;
  while (!live.empty() || !dead.empty()) {
    if (ScanStopped(scan_state)) return false;
    std::vector<PendingDir>& from = live.empty() ? dead : live;
    const PendingDir d = from.back();
    from.pop_back();
    if (!IsExfatCluster(geo, d.first_cluster) || read_clusters.Contains(d.first_cluster)) continue;
    const uint64_t want = std::min(d.bytes, kMaxExfatDirBytes);
    const auto runs = ExfatClusterRuns(v, geo, d.first_cluster, want,
                                       d.no_fat_chain ? ExfatChain::kContiguous : ExfatChain::kDirectory);
    uint64_t total = 0;
    for (const auto& run : runs) total += run.count;
    if (total == 0 || !Allocate(buffer, total * geo.cluster_bytes())) continue;
    uint64_t at = 0;
    for (const auto& run : runs) {
      if (ScanStopped(scan_state)) return false;
      for (uint64_t k = 0; k < run.count; ++k) read_clusters.Insert(run.first + k);
      // Unreadable clusters stay zero, which ends the entries there.
      ReadArea(source, buffer.data() + at, ExfatClusterLba(geo, run.first), run.count * geo.sectors_per_cluster);
      at += run.count * geo.cluster_bytes();
    }
    found.clear();
    ParseExfatDirectory(ByteView(buffer.data(), buffer.size()), d.parent,
                        [&](FileRecord& r, const ExfatStream& stream) {
                          r.data_lba = IsExfatCluster(geo, r.run_info) ? ExfatClusterLba(geo, r.run_info) : 0;
                          const uint32_t index = InsertRecord(v, r, false);
                          if (index == 0) return;
                          Count(progress, r);
                          if (r.is_dir() && stream.valid_length != 0)
                            found.push_back(
                                {stream.first_cluster, stream.valid_length, stream.no_fat_chain, index, r.is_deleted()});
                        });
    PostProgress(progress);
    // Deepest first, in entry order, as a recursive walk would go.
    for (auto it = found.rbegin(); it != found.rend(); ++it) (it->deleted ? dead : live).push_back(*it);
  }
  return true;
}

bool ReadExfatVolume(VolumeRecord& volume, const std::atomic<int>* scan_state) {
  ExfatGeometry geo;
  if (!ParseExfatGeometry(volume, geo)) return false;
  CSectorSource source;
  if (!OpenDevice(LocationOf(volume), source)) return false;
  bool ok = AddBaseRecords(volume);
  if (ok) {
    // Only the entries of existing clusters are kept; a failed read leaves zeros.
    const uint64_t needed = ((geo.cluster_count + 2) * 4 + 511) / 512;
    const uint64_t sectors = std::min({geo.fat_sectors, needed, kMaxExfatCopySectors});
    if (Allocate(volume.extra_a, sectors * 512)) ReadArea(source, volume.extra_a.data(), geo.fat_lba, sectors);
    ok = !ScanStopped(scan_state);
  }
  if (ok) {
    LoadBitmap(source, volume, geo);
    // The root has no length of its own: its FAT chain says where it ends.
    ProgressReport progress{};
    ok = ReadExfatDirectory(scan_state, progress, source, volume, geo, geo.root_cluster, kMaxExfatDirBytes, false,
                            kRootIndex);
  }
  CloseSource(source);
  if (ok) BuildTree(volume);
  return ok;
}

bool BuildExfatExtents(const VolumeRecord& v, const FileRecord& r, std::vector<DataExtent>& extents) {
  extents.clear();
  ExfatGeometry geo;
  if (!ParseExfatGeometry(v, geo)) return false;
  const ExfatChain chain = (r.flags & kExfatFlagNoFatChain) ? ExfatChain::kContiguous : ExfatChain::kFile;
  for (const auto& run : ExfatClusterRuns(v, geo, r.run_info, r.size, chain)) {
    const uint64_t lba = ExfatClusterLba(geo, run.first);
    const uint64_t sectors = run.count * geo.sectors_per_cluster;
    AppendExtent(extents, lba, sectors);
  }
  // The last cluster is only partly the file's.
  const uint64_t wanted = (r.size + kSectorBytes - 1) / kSectorBytes;
  uint64_t total = 0;
  for (auto it = extents.begin(); it != extents.end(); ++it) {
    if (total + it->sector_count >= wanted) {
      it->sector_count = wanted - total;
      extents.erase(it + 1, extents.end());
      break;
    }
    total += it->sector_count;
  }
  return !extents.empty();
}

void RegisterExfatExtentBuilder() { SetExtentBuilder(kFsExfat, &BuildExfatExtents); }

bool ReadExfatVolumeLabel(VolumeRecord& volume, CSectorSource& source) {
  ExfatGeometry geo;
  if (!ParseExfatGeometry(volume, geo)) return false;
  std::vector<uint8_t> root;
  if (!Allocate(root, geo.cluster_bytes())) return false;
  if (!ReadSectors(geo.sectors_per_cluster, source, root.data(), ExfatClusterLba(geo, geo.root_cluster))) return false;
  return ExfatLabelFromDirectory(ByteView(root.data(), root.size()), volume.label);
}

}  // namespace trovium
