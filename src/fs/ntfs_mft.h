#pragma once
// Finding the master file table of a volume and reading its records.

#include <cstdint>
#include <vector>

#include "fs/ntfs_geometry.h"
#include "scan/sector_source.h"
#include "store/file_record.h"

namespace trovium {

struct NtfsMftLocation {
  std::vector<DataExtent> extents;  // of $MFT's $DATA, in order
  uint64_t real_size = 0;           // $MFT's $DATA size in bytes
};

// Reads count records (count * 2 sectors) at lba into buffer (count * 1024
// bytes) and fixes each one up. False when the read failed; the buffer then
// holds what could be read, zeros elsewhere.
bool ReadNtfsFileRecords(CSectorSource& source, uint32_t count, uint64_t lba, uint8_t* buffer);

// $MFT's extents from record 0 at the MFT cluster, else from the copy at the
// mirror cluster. Extents must lie inside the volume.
bool LocateNtfsMft(CSectorSource& source, const NtfsGeometry& geo, NtfsMftLocation& mft);

// $MFTMirr's extents from record 1, tried at the same two places.
bool LocateNtfsMftMirror(CSectorSource& source, const NtfsGeometry& geo, NtfsMftLocation& mirror);

// How many records the MFT holds: its extents' sectors / 2, no more than its
// $DATA size says and than the volume can hold. 0 when there is none.
uint64_t NtfsMftRecordCount(const NtfsGeometry& geo, const NtfsMftLocation& mft);

}  // namespace trovium
