#include "fs/ntfs_data.h"

#include <algorithm>
#include <cstring>

#include "core/byte_view.h"
#include "fs/ntfs_attribute.h"
#include "fs/ntfs_mft.h"
#include "fs/ntfs_runlist.h"
#include "fs/ntfs_volume.h"
#include "store/extents.h"

namespace trovium {

namespace {
constexpr uint32_t kBlockSectors = 8192;
constexpr int kScanStopped = 2;

bool Stopped(const std::atomic<int>* scan_state) { return scan_state && scan_state->load() == kScanStopped; }
}  // namespace

bool ReadNtfsResidentData(const FileRecord& r, CSectorSource& source, uint8_t (&out)[kNtfsRecordBytes],
                          uint32_t& bytes) {
  bytes = 0;
  if (!(r.flags & kFlagResident) || r.size > kNtfsRecordBytes) return false;
  uint8_t record[kNtfsRecordBytes];
  if (!ReadNtfsFileRecords(source, 1, r.data_lba, record)) return false;
  const ByteView view(record, sizeof record);
  NtfsAttribute data;
  if (!FindNtfsAttribute(view, kNtfsData, data) || data.non_resident) return false;
  const ByteView value = data.value();  // inside the record, or empty
  if (value.empty()) return false;
  std::memcpy(out, value.data(), value.size());
  bytes = static_cast<uint32_t>(value.size());
  return true;
}

bool ReadNtfsWholeFile(const FileRecord& r, const NtfsGeometry& geo, CSectorSource& source,
                       const std::atomic<int>* scan_state, uint8_t* dest, uint64_t dest_size, uint64_t& bytes) {
  bytes = 0;
  const uint64_t total = std::min(r.size, dest_size);
  if (total == 0) return true;
  if (r.flags & kFlagResident) {
    uint8_t value[kNtfsRecordBytes];
    uint32_t got = 0;
    if (!ReadNtfsResidentData(r, source, value, got)) return false;
    bytes = std::min<uint64_t>(got, total);
    if (bytes && !dest) return false;
    if (bytes) std::memcpy(dest, value, static_cast<size_t>(bytes));
    return true;
  }
  if (!dest) return false;
  std::vector<NtfsRun> runs;
  std::vector<DataExtent> extents;
  if (!NtfsRunsToExtents(geo, ByteView(r.runs.data(), r.runs.size()), runs, extents)) return false;
  for (const DataExtent& e : extents) {
    for (uint64_t done = 0; done < e.sector_count && bytes < total;) {
      if (Stopped(scan_state)) return false;
      const uint64_t left = total - bytes;
      const uint64_t whole = std::min<uint64_t>({e.sector_count - done, kBlockSectors, left / kSectorBytes});
      if (whole > 0) {
        if (!ReadSectors(static_cast<uint32_t>(whole), source, dest + bytes, e.start_lba + done)) return false;
        bytes += whole * kSectorBytes;
        done += whole;
        continue;
      }
      // Less than a sector wanted: read it aside so dest is not overrun.
      uint8_t sector[kSectorBytes];
      if (!ReadSectors(1, source, sector, e.start_lba + done)) return false;
      std::memcpy(dest + bytes, sector, static_cast<size_t>(left));
      bytes += left;
      done += 1;
    }
  }
  return true;
}

bool ReadNtfsWholeFile(const FileRecord& r, const NtfsGeometry& geo, CSectorSource& source,
                       const std::atomic<int>* scan_state, uint64_t wanted, std::vector<uint8_t>& out) {
  out.clear();
  const uint64_t size = std::min(r.size, wanted);
  if (size > kMaxReadBytes) return false;
  out.resize(static_cast<size_t>(size));
  uint64_t bytes = 0;
  const bool ok = ReadNtfsWholeFile(r, geo, source, scan_state, out.data(), out.size(), bytes);
  out.resize(static_cast<size_t>(bytes));
  return ok;
}

bool NtfsExtentBuilder(const VolumeRecord& v, const FileRecord& r, std::vector<DataExtent>& extents) {
  NtfsGeometry geo;
  if (!NtfsGeometryFromVolume(v, geo) || r.runs.empty()) return false;
  std::vector<NtfsRun> runs;
  return NtfsRunsToExtents(geo, ByteView(r.runs.data(), std::min<size_t>(r.runs.size(), r.run_info)), runs, extents);
}

void RegisterNtfsExtentBuilder() { SetExtentBuilder(kFsNtfs, &NtfsExtentBuilder); }

}  // namespace trovium
