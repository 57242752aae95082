#include "fs/ntfs_volume.h"

#include <algorithm>
#include <vector>

#include "fs/ntfs_data.h"
#include "fs/ntfs_known_extents.h"
#include "fs/ntfs_mft.h"
#include "fs/ntfs_record.h"
#include "scan/hit_store.h"
#include "scan/progress.h"

namespace trovium {

namespace {

constexpr uint32_t kBlockRecords = 4096;  // 8192 sectors, 4 MiB per read
constexpr int kScanStopped = 2;

bool Stopped(const std::atomic<int>* scan_state) { return scan_state && scan_state->load() == kScanStopped; }

void Count(FsListProgress& counts, uint16_t state) {
  switch (state) {
    case kStateDeletedFile: ++counts.deletedFiles; break;
    case kStateFile: ++counts.existingFiles; break;
    case kStateDeletedDir: ++counts.deletedDirs; break;
    default: ++counts.existingDirs; break;
  }
}

// Room for the record at `index`: the array grows by at least half, so a
// volume larger than the first estimate does not copy the array per block.
bool MakeRoom(VolumeRecord& v, uint32_t index) {
  if (index < v.files.size()) return true;
  const uint64_t wanted = std::max<uint64_t>(uint64_t{index} + 1, v.files.size() + v.files.size() / 2);
  return GrowRecords(v, std::min<uint64_t>(wanted, RecordLimit(v))) || GrowRecords(v, uint64_t{index} + 1);
}

// The limit of records the volume may hold: the MFT's record count, with room
// for the lost-file group directories, and never below the ordinary limit.
uint32_t LimitFor(uint64_t mft_records) {
  const uint64_t wanted = mft_records + mft_records / 256 + 1024;
  return static_cast<uint32_t>(std::clamp<uint64_t>(wanted, kMaxRecords, kMaxRecordLimit));
}

}  // namespace

bool ReadNtfsVolume(VolumeRecord& volume, const std::atomic<int>* scan_state) {
  NtfsGeometry geo;
  if (!NtfsGeometryFromVolume(volume, geo)) return false;
  CSectorSource source;
  if (!OpenDevice({volume.device_path, volume.display_name, volume.start_lba, volume.sector_count}, source))
    return false;
  // An open-ended volume still ends where the device does.
  if (const uint64_t bytes = GetSourceSize(source); bytes / kSectorBytes > geo.start_lba)
    geo.sector_count = std::min(geo.sector_count, bytes / kSectorBytes - geo.start_lba);

  NtfsMftLocation mft;
  const uint64_t mft_records = LocateNtfsMft(source, geo, mft) ? NtfsMftRecordCount(geo, mft) : 0;
  if (mft_records == 0) {
    CloseSource(source);
    return false;
  }
  volume.record_limit = LimitFor(mft_records);
  // The estimate is bounded by the MFT's size and the volume, but memory may
  // still be short: then the array grows as records come.
  GrowRecords(volume, std::min<uint64_t>(mft_records, volume.record_limit));

  NtfsParseContext ctx;
  ctx.geo = geo;
  ctx.record_limit = mft_records;
  std::vector<NtfsRun> scratch;
  std::vector<DataExtent> index_extents;
  ctx.scratch = &scratch;
  ctx.index_extents = &index_extents;

  std::vector<uint8_t> block(size_t{kBlockRecords} * kNtfsRecordBytes);
  FileRecord rec;
  ProgressReport report{};
  report.reportKind = kProgressFsList;
  uint64_t inserted = 0;
  uint64_t records_left = mft_records;
  bool stopped = false;
  for (const DataExtent& extent : mft.extents) {
    const uint64_t extent_records = extent.sector_count / kNtfsRecordSectors;
    for (uint64_t first = 0; first < extent_records && records_left > 0 && !stopped; first += kBlockRecords) {
      if (Stopped(scan_state)) {
        stopped = true;
        break;
      }
      const uint32_t count =
          static_cast<uint32_t>(std::min<uint64_t>({kBlockRecords, extent_records - first, records_left}));
      records_left -= count;
      const uint64_t lba = extent.start_lba + first * kNtfsRecordSectors;
      if (!ReadNtfsFileRecords(source, count, lba, block.data())) continue;  // unreadable: skip the block
      for (uint32_t i = 0; i < count; ++i) {
        const ByteView record(block.data() + size_t{i} * kNtfsRecordBytes, kNtfsRecordBytes);
        if (!ParseNtfsFileRecord(rec, ctx, record, false) || rec.name.empty()) continue;
        if (rec.flags & kFlagResident) {
          rec.data_lba = lba + uint64_t{i} * kNtfsRecordSectors;
        } else if (!rec.runs.empty()) {
          DecodeNtfsRunList(ByteView(rec.runs.data(), rec.runs.size()), scratch);
          if (!scratch.empty() && NtfsRunsToLba(geo, scratch)) rec.data_lba = scratch.front().start_lba;
        }
        if (!MakeRoom(volume, rec.index) || InsertRecord(volume, rec, false) == 0) continue;
        ++inserted;
        Count(report.fsList, rec.state());
      }
      AddNtfsIndexExtents(index_extents);
      index_extents.clear();
      PostProgress(report);
    }
  }

  if (inserted > 0) {
    NtfsMftLocation mirror;
    std::vector<DataExtent> fresh = RecordNtfsMftExtents(mft.extents);
    if (LocateNtfsMftMirror(source, geo, mirror)) {
      std::vector<DataExtent> more = RecordNtfsMftExtents(mirror.extents);
      fresh.insert(fresh.end(), more.begin(), more.end());
    }
    for (const DataExtent& e : fresh) DropFileRecordHits(CurrentHitStore(), e);
  }
  if (stopped) {
    CloseSource(source);
    return false;
  }

  AddBaseRecords(volume);
  BuildTree(volume, [&](const VolumeRecord&, const FileRecord& r, uint64_t max_bytes, std::vector<uint8_t>& out) {
    return ReadNtfsWholeFile(r, geo, source, scan_state, max_bytes, out) && out.size() == std::min(r.size, max_bytes);
  });
  CompactVolume(volume);
  CloseSource(source);
  return true;
}

}  // namespace trovium
