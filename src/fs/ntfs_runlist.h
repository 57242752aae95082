#pragma once
// NTFS mapping pairs (run lists): decoding and placing the runs on the device.

#include <cstdint>
#include <vector>

#include "core/byte_view.h"
#include "fs/ntfs_geometry.h"
#include "store/file_record.h"

namespace trovium {

struct NtfsRun {
  int64_t cluster_delta = 0;  // from the previous run's cluster; 0 for a sparse run
  uint32_t clusters = 0;
  uint64_t start_lba = 0;     // set by NtfsRunsToLba
  uint64_t sector_count = 0;
};

// Decodes mapping pairs into `runs` (cleared first; the caller may reuse it).
// Returns true when the list ends properly (a zero header byte or the end of
// the bytes); false when a run is malformed or does not fit the bytes left,
// `runs` then holding the whole runs before it.
bool DecodeNtfsRunList(ByteView pairs, std::vector<NtfsRun>& runs);

// Places each run: the first at the volume start plus its delta in clusters,
// each next one relative to the previous (a sparse run lands where the
// previous one starts). False when a run would lie before the volume start or
// past the volume's end.
bool NtfsRunsToLba(const NtfsGeometry& geo, std::vector<NtfsRun>& runs);

// Both steps, as device extents. False when nothing usable was decoded.
bool NtfsRunsToExtents(const NtfsGeometry& geo, ByteView pairs, std::vector<NtfsRun>& scratch,
                       std::vector<DataExtent>& extents);

}  // namespace trovium
