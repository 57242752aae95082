#pragma once
// The copy of a FAT kept with a volume, reading entries from it, and the set
// of clusters already met that keeps every chain walk finite.

#include <atomic>
#include <cstdint>
#include <map>
#include <vector>

#include "fs/fat_boot.h"
#include "scan/sector_source.h"

namespace trovium {

// Longest FAT copy kept: 0x40000 sectors (128 MiB).
inline constexpr uint64_t kMaxFatCopySectors = 0x40000;

// Sectors of the first FAT that are copied: F, cut for very large FATs to
// what the volume's clusters need and to kMaxFatCopySectors.
uint64_t FatCopySectors(const FatGeometry& geo);

// Reads the first FAT (or, where it cannot be read, the second one, sector by
// sector as a last resort) into fat. Unreadable sectors stay zero. False only
// when nothing could be allocated or the walk was stopped (scan_state 2).
bool LoadFatCopy(CSectorSource& source, const FatGeometry& geo, std::vector<uint8_t>& fat,
                 const std::atomic<int>* scan_state);

// The entry of cluster c (FAT32 entries without their top four bits); false
// when c lies outside the copy.
bool FatEntry(const std::vector<uint8_t>& fat, bool fat32, uint64_t c, uint32_t& value);

// Clusters met so far, kept as runs so that a long contiguous chain costs one
// node. Insert is false when the cluster was already there.
class ClusterRunSet {
 public:
  bool Insert(uint64_t c);
  bool Contains(uint64_t c) const;
  void Clear() { runs_.clear(); }

 private:
  std::map<uint64_t, uint64_t> runs_;  // first cluster -> one past the last
};

inline bool ScanStopped(const std::atomic<int>* scan_state) {
  return scan_state && scan_state->load(std::memory_order_relaxed) == 2;
}

}  // namespace trovium
