#pragma once
// A pass over every sector of a source that counts the file-system structures
// the detector recognises, with the first LBAs of each kind.

#include <cstdint>
#include <functional>
#include <vector>

#include "scan/sector_source.h"

namespace trovium {

struct KindCount {
  uint8_t kind = 0;
  uint64_t count = 0;
  std::vector<uint64_t> lbas;  // the first ones, ascending
};

struct SectorCensus {
  uint64_t sectors = 0;          // sectors examined
  std::vector<KindCount> kinds;  // kinds found, by ascending code
  uint64_t failed_reads = 0;     // chunks not read completely (their missing bytes examined as zeros)
  bool stopped = false;          // the progress callback asked to stop
};

// Called after each chunk with sectors done and total; returning false stops.
using CensusProgress = std::function<bool(uint64_t done, uint64_t total)>;

// Reads the source chunk by chunk from LBA 0 to lastLba and classifies every
// sector. Returns false only when the chunk buffer cannot be had.
bool RunSectorCensus(CSectorSource& source, size_t max_lbas_per_kind, const CensusProgress& progress,
                     SectorCensus& out);

}  // namespace trovium
