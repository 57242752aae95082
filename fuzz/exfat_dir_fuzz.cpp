// Any bytes as exFAT directory entries, and as the FAT and allocation bitmap
// that cluster lists follow.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/byte_view.h"
#include "fs/exfat_dir.h"
#include "fs/exfat_volume.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace trovium;
  const ByteView raw(data, size);
  ParseExfatDirectory(raw, 7, [](FileRecord& r, const ExfatStream& s) {
    if (r.name.empty() || r.parent != 7 || r.run_info != s.first_cluster) __builtin_trap();
  });
  std::string label;
  ExfatLabelFromDirectory(raw, label);

  // A volume of 1000 one-sector clusters; the input is its FAT, its tail the bitmap.
  VolumeRecord v;
  v.fs_kind = kFsExfat;
  uint8_t* b = v.boot_sector.data();
  const uint64_t length = 2000;
  std::memcpy(b + 72, &length, 8);
  const uint32_t fat_offset = 24, fat_length = 8, heap = 64, count = 1000, root = 2;
  std::memcpy(b + 80, &fat_offset, 4);
  std::memcpy(b + 84, &fat_length, 4);
  std::memcpy(b + 88, &heap, 4);
  std::memcpy(b + 92, &count, 4);
  std::memcpy(b + 96, &root, 4);
  v.extra_a.assign(data, data + size);
  v.extra_b.assign(data + size / 2, data + size);
  ExfatGeometry geo;
  if (!ParseExfatGeometry(v, geo)) __builtin_trap();
  const uint64_t first = size > 1 ? data[0] | data[1] << 8 : 2;
  const uint64_t bytes = size > 9 ? raw.le64_or0(2) : 1ull << 62;
  for (ExfatChain chain : {ExfatChain::kContiguous, ExfatChain::kDirectory, ExfatChain::kFile}) {
    uint64_t clusters = 0;
    for (const ExfatClusterRun& run : ExfatClusterRuns(v, geo, first, bytes, chain)) clusters += run.count;
    if (clusters > count) __builtin_trap();
  }
  FileRecord r;
  r.run_info = static_cast<uint32_t>(first);
  r.size = bytes;
  r.flags = size > 10 && (data[10] & 1) ? kExfatFlagNoFatChain : 0;
  std::vector<DataExtent> extents;
  BuildExfatExtents(v, r, extents);
  return 0;
}
