#include "fs/fat_repair.h"

#include <algorithm>
#include <array>

#include "fs/fat_table.h"

namespace trovium {

namespace {

constexpr uint32_t kHighHalf = 0x10000;
constexpr uint8_t kFirstFileType = 36;
constexpr uint8_t kLastKnownKind = 236;

struct Suggestion {
  uint32_t weight = 0;
  uint32_t cluster = 0;
};

// Up to five clusters suggested by nearby entries, lightest first.
struct Suggestions {
  std::array<Suggestion, 5> items{};
  size_t count = 0;
  void Add(Suggestion s) {
    size_t at = 0;
    while (at < count && items[at].weight <= s.weight) ++at;
    if (at >= items.size()) return;
    if (count < items.size()) ++count;
    for (size_t k = count - 1; k > at; --k) items[k] = items[k - 1];
    items[at] = s;
  }
};

bool IsFreeCluster(const VolumeRecord& v, const FatGeometry& geo, uint64_t c) {
  uint32_t entry = 1;
  return IsFatDataCluster(geo, c) && FatEntry(v.extra_a, true, c, entry) && entry == 0;
}

Suggestions NeighbourSuggestions(const VolumeRecord& v, const FatGeometry& geo, uint32_t index) {
  Suggestions out;
  const FileRecord& self = v.files[index];
  const uint32_t low = self.run_info & 0xFFFF;
  auto consider = [&](uint64_t at) {
    if (at <= kRootIndex || at > UINT32_MAX) return;
    const FileRecord* nb = GetRecord(v, static_cast<uint32_t>(at));
    if (!nb || (nb->is_deleted() && nb->run_info < kHighHalf)) return;
    const uint32_t candidate = (nb->run_info & 0xFFFF0000u) | low;
    if (!IsFreeCluster(v, geo, candidate)) return;
    const uint32_t weight = nb->ctime > self.ctime ? nb->ctime - self.ctime : self.ctime - nb->ctime;
    out.Add({weight, candidate});
  };
  for (uint64_t i = 1; i < 1000; ++i) {
    if (i <= index) consider(index - i);
    consider(uint64_t{index} + i);
    if (out.count > 0 && (out.items[0].weight == 0 || i >= 50)) break;
  }
  return out;
}

uint32_t ChooseCluster(const VolumeRecord& v, const FatGeometry& geo, const FatClusterMap& map, uint32_t index) {
  const FileRecord& r = v.files[index];
  const Suggestions near = NeighbourSuggestions(v, geo, index);
  const uint32_t suggested = near.count > 0 ? near.items[0].cluster : r.run_info;
  if (r.type_code < kFirstFileType || r.type_code > kLastKnownKind) return suggested;

  std::vector<uint32_t> candidates;
  const uint32_t low = r.run_info & 0xFFFF;
  for (uint64_t k = 0; k <= (geo.cluster_count >> 16); ++k) {
    const uint64_t c = (k << 16) | low;
    if (IsFreeCluster(v, geo, c) && map.KindAt(c) == r.type_code) candidates.push_back(static_cast<uint32_t>(c));
  }
  if (candidates.empty()) return suggested;
  if (candidates.size() == 1 || r.state() == kStateDeletedDir) return candidates.front();
  for (size_t s = 0; s < near.count; ++s)
    if (std::find(candidates.begin(), candidates.end(), near.items[s].cluster) != candidates.end())
      return near.items[s].cluster;
  if (near.count == 0) return candidates.front();
  auto distance = [&](uint32_t c) { return c > suggested ? c - suggested : suggested - c; };
  return *std::min_element(candidates.begin(), candidates.end(),
                           [&](uint32_t a, uint32_t b) { return distance(a) < distance(b); });
}

}  // namespace

uint8_t FatClusterMap::KindAt(uint64_t cluster) const {
  auto it = std::lower_bound(hits.begin(), hits.end(), cluster,
                             [](const FatClusterHit& h, uint64_t c) { return h.cluster < c; });
  return it != hits.end() && it->cluster == cluster ? it->kind : 0;
}

FatClusterMap BuildFatClusterMap(const FatGeometry& geo, std::span<const ScanHit> hits) {
  FatClusterMap map;
  const uint64_t limit = std::min<uint64_t>(geo.cluster_count + 2, kMaxFatClusterMapClusters);
  for (const ScanHit& h : hits) {
    if (h.kind == 238 || h.lba < geo.data_lba) continue;
    const uint64_t offset = h.lba - geo.data_lba;
    if (offset % geo.sectors_per_cluster != 0) continue;
    const uint64_t c = offset / geo.sectors_per_cluster + 2;
    if (c >= limit) continue;
    map.hits.push_back({static_cast<uint32_t>(c), h.kind});
  }
  std::stable_sort(map.hits.begin(), map.hits.end(),
                   [](const FatClusterHit& a, const FatClusterHit& b) { return a.cluster < b.cluster; });
  // Of several hits on one cluster the last one found counts.
  std::vector<FatClusterHit> unique;
  unique.reserve(map.hits.size());
  for (const FatClusterHit& h : map.hits) {
    if (!unique.empty() && unique.back().cluster == h.cluster) unique.back() = h;
    else unique.push_back(h);
  }
  map.hits.swap(unique);
  return map;
}

void RepairFatFirstClusters(VolumeRecord& v, const FatGeometry& geo, const FatClusterMap& map,
                            uint32_t first_index, bool deleted_dirs_only) {
  if (!geo.fat32) return;
  for (uint32_t index = std::max(first_index, kRootIndex); index < v.file_count; ++index) {
    FileRecord* r = GetRecord(v, index);
    if (!r || !r->is_deleted() || r->run_info >= kHighHalf) continue;
    if (deleted_dirs_only && r->state() != kStateDeletedDir) continue;
    if (!r->is_dir() && r->size == 0) continue;  // an empty file has no cluster to find
    const uint32_t chosen = ChooseCluster(v, geo, map, index);
    r->run_info = chosen;
    r->data_lba = IsFatDataCluster(geo, chosen) ? FatClusterLba(geo, chosen) : 0;
  }
}

}  // namespace trovium
