#include "fs/fat_table.h"

#include <algorithm>
#include <new>

#include "core/byte_view.h"

namespace trovium {

namespace {
// Reads in pieces so that one request never nears the sector source's limit.
constexpr uint32_t kFatReadPiece = 0x4000;  // 8 MiB

bool ReadRange(CSectorSource& source, uint8_t* dest, uint64_t lba, uint64_t count) {
  bool ok = true;
  for (uint64_t done = 0; done < count;) {
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(kFatReadPiece, count - done));
    ok = ReadSectors(n, source, dest + done * kSectorBytes, lba + done) && ok;
    done += n;
  }
  return ok;
}
}  // namespace

uint64_t FatCopySectors(const FatGeometry& geo) {
  uint64_t sectors = geo.fat_sectors;
  if (sectors > kMaxFatCopySectors) {
    // Entries beyond the last cluster map nothing.
    const uint64_t needed = ((geo.cluster_count + 2) * (geo.fat32 ? 4 : 2) + 511) / 512;
    sectors = std::min({sectors, needed, kMaxFatCopySectors});
  }
  return sectors;
}

bool LoadFatCopy(CSectorSource& source, const FatGeometry& geo, std::vector<uint8_t>& fat,
                 const std::atomic<int>* scan_state) {
  fat.clear();
  const uint64_t sectors = FatCopySectors(geo);
  if (sectors == 0) return false;
  try {
    fat.assign(sectors * kSectorBytes, 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (ScanStopped(scan_state)) return false;
  if (ReadRange(source, fat.data(), geo.fat_lba, sectors)) return true;
  if (geo.fat_count < 2) {
    ReadRange(source, fat.data(), geo.fat_lba, sectors);
    return true;
  }
  const uint64_t second = geo.fat_lba + geo.fat_sectors;
  if (ReadRange(source, fat.data(), second, sectors)) return true;
  // Both copies have bad sectors: take each sector from whichever copy reads.
  for (uint64_t s = 0; s < sectors; ++s) {
    if (ScanStopped(scan_state)) return false;
    uint8_t* at = fat.data() + s * kSectorBytes;
    if (!ReadSectors(1, source, at, second + s)) ReadSectors(1, source, at, geo.fat_lba + s);
  }
  return true;
}

bool FatEntry(const std::vector<uint8_t>& fat, bool fat32, uint64_t c, uint32_t& value) {
  const ByteView view(fat.data(), fat.size());
  if (fat32) {
    if (c > view.size() / 4 || !view.le32(c * 4, value)) return false;
    value &= 0x0FFFFFFF;
    return true;
  }
  uint16_t v16 = 0;
  if (c > view.size() / 2 || !view.le16(c * 2, v16)) return false;
  value = v16;
  return true;
}

bool ClusterRunSet::Contains(uint64_t c) const {
  auto it = runs_.upper_bound(c);
  if (it == runs_.begin()) return false;
  --it;
  return c < it->second;
}

bool ClusterRunSet::Insert(uint64_t c) {
  auto next = runs_.upper_bound(c);
  if (next != runs_.begin()) {
    auto prev = std::prev(next);
    if (c < prev->second) return false;
    if (c == prev->second) {
      prev->second = c + 1;
      if (next != runs_.end() && next->first == c + 1) {
        prev->second = next->second;
        runs_.erase(next);
      }
      return true;
    }
  }
  if (next != runs_.end() && next->first == c + 1) {
    const uint64_t end = next->second;
    runs_.erase(next);
    runs_.emplace(c, end);
    return true;
  }
  runs_.emplace(c, c + 1);
  return true;
}

}  // namespace trovium
