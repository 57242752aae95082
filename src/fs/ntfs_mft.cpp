#include "fs/ntfs_mft.h"

#include <algorithm>

#include "core/byte_view.h"
#include "fs/ntfs_attribute.h"
#include "fs/ntfs_fixup.h"
#include "fs/ntfs_runlist.h"

namespace trovium {

bool ReadNtfsFileRecords(CSectorSource& source, uint32_t count, uint64_t lba, uint8_t* buffer) {
  if (count == 0 || count > kMaxReadBytes / kNtfsRecordBytes) return false;
  const bool ok = ReadSectors(count * kNtfsRecordSectors, source, buffer, lba);
  for (uint32_t i = 0; i < count; ++i) ApplyNtfsFixup(buffer + size_t{i} * kNtfsRecordBytes, kNtfsRecordBytes);
  return ok;
}

namespace {

// The $DATA extents of the record at lba.
bool DataExtentsAt(CSectorSource& source, const NtfsGeometry& geo, uint64_t lba, NtfsMftLocation& out) {
  uint8_t record[kNtfsRecordBytes];
  if (!ReadNtfsFileRecords(source, 1, lba, record)) return false;
  const ByteView view(record, sizeof record);
  NtfsAttribute data;
  if (!HasNtfsFileSignature(view) || !FindNtfsAttribute(view, kNtfsData, data) || !data.non_resident) return false;
  const ByteView pairs = data.mapping_pairs();
  if (pairs.size() <= 2) return false;
  std::vector<NtfsRun> runs;
  if (!DecodeNtfsRunList(pairs, runs) || runs.empty() || !NtfsRunsToLba(geo, runs)) return false;
  out.extents.clear();
  for (const NtfsRun& r : runs) {
    if (r.cluster_delta == 0) return false;  // a sparse MFT cannot be
    out.extents.push_back({r.start_lba, r.sector_count});
  }
  out.real_size = data.real_size();
  return true;
}

bool LocateRecord(CSectorSource& source, const NtfsGeometry& geo, uint64_t record, NtfsMftLocation& out) {
  const uint64_t offset = record * kNtfsRecordSectors;
  return DataExtentsAt(source, geo, geo.mft_lba() + offset, out) ||
         DataExtentsAt(source, geo, geo.mirror_lba() + offset, out);
}

}  // namespace

bool LocateNtfsMft(CSectorSource& source, const NtfsGeometry& geo, NtfsMftLocation& mft) {
  return LocateRecord(source, geo, 0, mft);
}

bool LocateNtfsMftMirror(CSectorSource& source, const NtfsGeometry& geo, NtfsMftLocation& mirror) {
  return LocateRecord(source, geo, 1, mirror);
}

uint64_t NtfsMftRecordCount(const NtfsGeometry& geo, const NtfsMftLocation& mft) {
  uint64_t sectors = 0;
  for (const DataExtent& e : mft.extents) sectors += e.sector_count;  // each lies inside the volume
  uint64_t records = std::min(sectors, geo.sector_count) / kNtfsRecordSectors;
  if (mft.real_size != 0) records = std::min(records, mft.real_size / kNtfsRecordBytes);
  return std::min<uint64_t>(records, UINT32_MAX);
}

}  // namespace trovium
