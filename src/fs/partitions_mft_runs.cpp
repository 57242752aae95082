#include <vector>

#include "fs/partitions.h"
#include "fs/ntfs_runlist.h"
#include "fs/partitions_record_summary.h"

namespace trovium {

namespace {

constexpr uint8_t kFileRecordKind = 224;
constexpr uint64_t kSectorsPerRecord = 2;
constexpr uint32_t kMinRunRecords = 4;

struct RecordRun {
  size_t first_hit = 0;
  uint64_t count = 0;
  uint64_t first_lba = 0;
  bool starts_with_mft = false;
};

bool NameStartsWithMft(const FileRecordSummary* s) { return s && s->name.size() >= 2 && s->name.compare(0, 2, "$M") == 0; }

// The first extent of mapping pairs: its cluster (from cluster 0) and length.
bool DecodeFirstExtent(const std::vector<uint8_t>& pairs, uint64_t& cluster, uint64_t& length) {
  std::vector<NtfsRun> runs;
  DecodeNtfsRunList(ByteView(pairs.data(), pairs.size()), runs);
  if (runs.empty() || runs[0].cluster_delta <= 0) return false;
  cluster = static_cast<uint64_t>(runs[0].cluster_delta);
  length = runs[0].clusters;
  return true;
}

bool IsPowerOfTwoUpTo128(uint64_t v) { return v != 0 && v <= 128 && (v & (v - 1)) == 0; }

// Runs of hits that lie one record after another.
std::vector<RecordRun> GroupRuns(std::span<const ScanHit> hits) {
  std::vector<RecordRun> runs;
  RecordRun current;
  bool open = false;
  for (size_t i = 0; i < hits.size(); ++i) {
    const ScanHit& h = hits[i];
    if (h.kind != kFileRecordKind) continue;
    if (open && h.lba == current.first_lba + kSectorsPerRecord * current.count) {
      ++current.count;
      continue;
    }
    if (open) runs.push_back(current);
    current = RecordRun{i, 1, h.lba, NameStartsWithMft(SummaryOfHit(h.payload))};
    open = true;
  }
  if (open) runs.push_back(current);
  return runs;
}

// The hit `n` records into a run (hits of other kinds in between are passed over).
const FileRecordSummary* RunRecord(std::span<const ScanHit> hits, const RecordRun& run, uint64_t n) {
  for (size_t i = run.first_hit; i < hits.size(); ++i) {
    if (hits[i].kind != kFileRecordKind) continue;
    if (n-- == 0) return SummaryOfHit(hits[i].payload);
  }
  return nullptr;
}

// Sectors per cluster from the $MFTMirr record: its data is one cluster when
// clusters are larger than the four mirrored records, else four records.
uint64_t SectorsPerClusterFromMirror(const FileRecordSummary& mirror) {
  if (mirror.data_size > 4096) {
    const uint64_t spc = mirror.data_size / kSectorBytes;
    return IsPowerOfTwoUpTo128(spc) && mirror.data_size % kSectorBytes == 0 ? spc : 0;
  }
  uint64_t cluster = 0, length = 0;
  if (!DecodeFirstExtent(mirror.runs, cluster, length) || length == 0 ||
      length > 8)
    return 0;
  const uint64_t spc = 8 / length;
  return IsPowerOfTwoUpTo128(spc) && spc * length == 8 ? spc : 0;
}

bool VolumeFromRun(std::span<const ScanHit> hits, const RecordRun& run, CSectorSource& source, VolumeRecord& out) {
  const FileRecordSummary* mirror = RunRecord(hits, run, 1);
  if (!mirror) return false;
  const uint64_t spc = SectorsPerClusterFromMirror(*mirror);
  if (spc == 0) return false;
  // A run longer than one cluster of records is the MFT itself; a shorter
  // one is the mirror, whose own record says where it lies.
  const uint64_t limit = spc >= 8 ? spc / 2 : 4;
  const FileRecordSummary* locator = nullptr;
  if (run.count > limit) {
    locator = RunRecord(hits, run, 0);
  } else {
    if (spc < 8 && run.count != 4) return false;
    locator = mirror;
  }
  uint64_t cluster = 0, length = 0, offset = 0;
  if (!locator || !DecodeFirstExtent(locator->runs, cluster, length))
    return false;
  if (__builtin_mul_overflow(cluster, spc, &offset) || offset > run.first_lba) return false;

  out = VolumeRecord{};
  out.role = 2;
  out.fs_kind = kFsNtfs;
  out.start_lba = run.first_lba - offset;  // 64-bit: runs beyond 2 TiB stay where they are
  out.sector_count = kUnknownSectorCount;
  uint8_t* b = out.boot_sector.data();
  b[11] = 0x00;
  b[12] = 0x02;  // 512 bytes per sector
  b[13] = static_cast<uint8_t>(spc);
  for (int i = 0; i < 8; ++i) {
    b[40 + i] = static_cast<uint8_t>(kUnknownSectorCount >> (8 * i));
    b[48 + i] = static_cast<uint8_t>(cluster >> (8 * i));
  }
  b[64] = 0xF6;  // 1024-byte records
  b[510] = 0x55;
  b[511] = 0xAA;
  SetSerialFromBootSector(out);
  ReadVolumeLabel(source, out);
  return true;
}

}  // namespace

uint32_t NtfsVolumesFromRecordRuns(std::vector<VolumeRecord>& out, std::span<const ScanHit> hits, CSectorSource& source) {
  uint32_t looked_at = 0;
  for (const ScanHit& h : hits) looked_at += h.kind == kFileRecordKind;
  for (const RecordRun& run : GroupRuns(hits)) {
    if (!run.starts_with_mft || run.count < kMinRunRecords) continue;
    VolumeRecord v;
    if (VolumeFromRun(hits, run, source, v) && !HasVolumeStart(out, v.start_lba)) out.push_back(std::move(v));
  }
  return looked_at;
}

}  // namespace trovium
