// Any bytes as an MFT file record: fixed up, then parsed with and without
// system files, under a small and a large record limit, with the index
// extents collected; the $DATA mapping pairs found are placed on a volume.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fs/ntfs_fixup.h"
#include "fs/ntfs_record.h"
#include "fs/ntfs_runlist.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace trovium;
  std::vector<uint8_t> record(kNtfsRecordBytes, 0);
  std::memcpy(record.data(), data, size < record.size() ? size : record.size());
  ApplyNtfsFixup(record.data(), record.size());
  // The raw input as well: a short view must be refused, never overrun.
  FileRecord out;
  NtfsParseContext ctx;
  ctx.geo.start_lba = 2048;
  ctx.geo.sector_count = 1ull << 24;
  ctx.geo.cluster_sectors = 8;
  std::vector<DataExtent> index_extents;
  std::vector<NtfsRun> scratch;
  ctx.index_extents = &index_extents;
  ctx.scratch = &scratch;
  ParseNtfsFileRecord(out, ctx, ByteView(data, size), false);
  for (uint64_t limit : {uint64_t{0x200000}, uint64_t{UINT32_MAX} + 1}) {
    ctx.record_limit = limit;
    for (bool allow_system : {false, true}) {
      if (!ParseNtfsFileRecord(out, ctx, ByteView(record.data(), record.size()), allow_system)) continue;
      if (out.index >= limit) __builtin_trap();
      if (out.run_info != out.runs.size()) __builtin_trap();
      if ((out.flags & kFlagResident) && out.size > kNtfsMaxResidentValue) __builtin_trap();
      std::vector<DataExtent> extents;
      NtfsRunsToExtents(ctx.geo, ByteView(out.runs.data(), out.runs.size()), scratch, extents);
      for (const DataExtent& e : extents)
        if (e.start_lba < ctx.geo.start_lba || e.start_lba + e.sector_count > ctx.geo.end_lba()) __builtin_trap();
    }
  }
  return 0;
}
