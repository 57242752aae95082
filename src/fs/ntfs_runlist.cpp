#include "fs/ntfs_runlist.h"

namespace trovium {

bool DecodeNtfsRunList(ByteView pairs, std::vector<NtfsRun>& runs) {
  runs.clear();
  size_t pos = 0;
  while (pos < pairs.size()) {
    const uint8_t header = pairs.u8_or0(pos);
    if (header == 0) return true;
    const size_t length_bytes = header & 0x0F;
    const size_t offset_bytes = header >= 0x90 ? 8 : header >> 4;
    if (length_bytes == 0 || length_bytes > 8) return false;
    if (!pairs.has(pos + 1, length_bytes + offset_bytes)) return false;  // the run must fit what is left
    uint64_t length = 0;
    for (size_t i = 0; i < length_bytes; ++i) length |= uint64_t{pairs.u8_or0(pos + 1 + i)} << (8 * i);
    uint64_t offset = 0;
    for (size_t i = 0; i < offset_bytes; ++i) offset |= uint64_t{pairs.u8_or0(pos + 1 + length_bytes + i)} << (8 * i);
    if (offset_bytes > 0 && offset_bytes < 8 && (offset >> (8 * offset_bytes - 1)) & 1)
      offset |= ~uint64_t{0} << (8 * offset_bytes);  // sign-extend from the top byte
    NtfsRun run;
    run.clusters = static_cast<uint32_t>(length);
    run.cluster_delta = static_cast<int64_t>(offset);
    if (run.clusters == 0) return false;
    runs.push_back(run);
    pos += 1 + length_bytes + offset_bytes;
  }
  return true;
}

bool NtfsRunsToLba(const NtfsGeometry& geo, std::vector<NtfsRun>& runs) {
  if (geo.cluster_sectors == 0) return false;
  const int64_t total = static_cast<int64_t>(geo.total_clusters());
  int64_t cluster = 0;
  for (NtfsRun& run : runs) {
    // Cluster numbers stay below 2^48, so the sums cannot overflow.
    if (run.cluster_delta > total || run.cluster_delta < -total) return false;
    cluster += run.cluster_delta;
    if (cluster < 0 || cluster + int64_t{run.clusters} > total) return false;
    run.start_lba = geo.start_lba + static_cast<uint64_t>(cluster) * geo.cluster_sectors;
    run.sector_count = uint64_t{run.clusters} * geo.cluster_sectors;
  }
  return true;
}

bool NtfsRunsToExtents(const NtfsGeometry& geo, ByteView pairs, std::vector<NtfsRun>& scratch,
                       std::vector<DataExtent>& extents) {
  DecodeNtfsRunList(pairs, scratch);  // whole runs before a damaged one still locate data
  if (scratch.empty() || !NtfsRunsToLba(geo, scratch)) return false;
  for (const NtfsRun& r : scratch) extents.push_back({r.start_lba, r.sector_count});
  return true;
}

}  // namespace trovium
