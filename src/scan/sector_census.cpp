#include "scan/sector_census.h"

#include <array>
#include <memory>
#include <new>

#include "core/byte_view.h"
#include "scan/structure_detector.h"

namespace trovium {

bool RunSectorCensus(CSectorSource& source, size_t max_lbas_per_kind, const CensusProgress& progress,
                     SectorCensus& out) {
  out = SectorCensus{};
  if (!source.hasSectors) return true;
  // lastLba + 1 sectors, saturating for a source that reaches the last LBA.
  const uint64_t total = source.lastLba == UINT64_MAX ? UINT64_MAX : source.lastLba + 1;

  constexpr size_t kChunkBytes = static_cast<size_t>(kChunkSectors) * kSectorBytes;
  std::unique_ptr<uint8_t[]> chunk(new (std::nothrow) uint8_t[kChunkBytes]);
  if (!chunk) return false;

  std::array<KindCount, 256> by_kind{};
  uint64_t lba = 0;
  while (out.sectors < total) {
    uint64_t left = total - out.sectors;
    uint32_t n = left < kChunkSectors ? static_cast<uint32_t>(left) : kChunkSectors;
    if (!ReadSectors(n, source, chunk.get(), lba)) ++out.failed_reads;
    const ByteView data(chunk.get(), static_cast<size_t>(n) * kSectorBytes);
    for (uint32_t i = 0; i < n; ++i) {
      uint8_t kind = 0;
      if (!DetectStructure(data.sub(static_cast<size_t>(i) * kSectorBytes, kSectorBytes), lba + i, kind)) continue;
      KindCount& k = by_kind[kind];
      ++k.count;
      if (k.lbas.size() < max_lbas_per_kind) k.lbas.push_back(lba + i);
    }
    out.sectors += n;
    lba += n;
    if (progress && !progress(out.sectors, total)) {
      out.stopped = out.sectors < total;
      break;
    }
  }
  for (size_t code = 0; code < by_kind.size(); ++code) {
    if (by_kind[code].count == 0) continue;
    by_kind[code].kind = static_cast<uint8_t>(code);
    out.kinds.push_back(std::move(by_kind[code]));
  }
  return true;
}

}  // namespace trovium
