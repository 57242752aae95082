// Any bytes as a FAT directory (FAT16 and FAT32 cluster numbers), as the first
// sector of a root directory, and as the FAT copy that file extents follow.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/byte_view.h"
#include "fs/fat_dir.h"
#include "fs/fat_volume.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace trovium;
  const ByteView raw(data, size);
  for (bool fat32 : {false, true}) {
    ParseFatDirectory(raw, fat32, 5, [](FileRecord& r) {
      if (r.name.empty() || r.parent != 5) __builtin_trap();
      if (r.is_dir() != (r.type_code == kFatDirTypeCode)) __builtin_trap();
    });
  }
  HasFatDotEntries(raw);
  std::string label;
  FatLabelFromRootSector(raw, label);

  // A FAT32 volume of 4096 one-sector clusters whose FAT is the input.
  VolumeRecord v;
  v.fs_kind = kFsFat32;
  uint8_t* b = v.boot_sector.data();
  b[13] = 1; b[14] = 32; b[16] = 1; b[36] = 33; b[44] = 2;
  const uint32_t total = 32 + 33 + 4096;
  std::memcpy(b + 32, &total, 4);
  v.extra_a.assign(data, data + size);
  FileRecord r;
  r.run_info = size > 0 ? data[0] | (size > 1 ? data[1] << 8 : 0) : 2;
  r.size = size > 5 ? (uint64_t{data[2]} << 24 | uint64_t{data[3]} << 16 | data[4] << 8 | data[5]) : 1;
  r.set_state(size > 6 ? data[6] & 3 : 1);
  std::vector<DataExtent> extents;
  if (BuildFatExtents(v, r, extents)) {
    uint64_t sectors = 0;
    for (const DataExtent& e : extents) sectors += e.sector_count;
    if (r.state() != 2 && sectors > 4096) __builtin_trap();
  }
  return 0;
}
