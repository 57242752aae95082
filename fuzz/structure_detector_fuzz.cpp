// Any bytes through the structure detector: the raw input as given (any
// length) and padded or cut to one sector, at LBA 0, 1 and elsewhere.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "core/byte_view.h"
#include "scan/structure_detector.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace trovium;
  uint8_t kind = 0;
  const ByteView raw(data, size);
  DetectStructure(raw, 0, kind);
  IsExfatDirSectorFrom(raw, size % 20);
  IsFatVolumeLabelName(raw);

  uint8_t sector[512] = {};
  if (size > 0) std::memcpy(sector, data, size < sizeof sector ? size : sizeof sector);
  const ByteView view(sector, sizeof sector);
  for (uint64_t lba : {uint64_t{0}, uint64_t{1}, uint64_t{2048}, UINT64_MAX}) {
    bool found = DetectStructure(view, lba, kind);
    if (found != (kind != StructKind::kNone)) __builtin_trap();
    if (kind != StructKind::kNone && (kind < StructKind::kMbr || kind > StructKind::kGptHeader)) __builtin_trap();
  }
  IsNtfsBootSector(view);
  IsFat16BootSector(view);
  IsFat32BootSector(view);
  IsExfatBootSector(view);
  IsPartitionTableSector(view);
  IsFatRootDirSector(view);
  IsExfatRootDirSector(view);
  for (size_t first = 0; first <= 16; ++first) IsExfatDirSectorFrom(view, first);
  return 0;
}
