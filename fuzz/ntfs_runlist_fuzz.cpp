// Any bytes as NTFS mapping pairs: decoded, then placed on a volume whose
// start and size come from the first bytes; every placed run must lie inside.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fs/ntfs_runlist.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace trovium;
  const ByteView input(data, size);
  NtfsGeometry geo;
  geo.start_lba = input.le32_or0(0) * uint64_t{4096};  // up to 2^44
  geo.cluster_sectors = 1u << (input.u8_or0(4) % 8);
  geo.sector_count = (uint64_t{input.le32_or0(5)} + 1) << (input.u8_or0(9) % 17);
  const ByteView pairs = size > 10 ? input.sub(10, size - 10) : ByteView();
  std::vector<NtfsRun> runs;
  const bool complete = DecodeNtfsRunList(pairs, runs);
  if (complete && runs.size() > pairs.size() / 2) __builtin_trap();  // every run takes two bytes or more
  for (const NtfsRun& r : runs)
    if (r.clusters == 0) __builtin_trap();
  if (NtfsRunsToLba(geo, runs)) {
    for (const NtfsRun& r : runs)
      if (r.start_lba < geo.start_lba || r.start_lba + r.sector_count > geo.end_lba()) __builtin_trap();
  }
  std::vector<DataExtent> extents;
  NtfsRunsToExtents(geo, pairs, runs, extents);
  return 0;
}
