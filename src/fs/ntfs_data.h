#pragma once
// A file's content on an NTFS volume: resident values and whole files, and
// the device extents export reads.

#include <atomic>
#include <cstdint>
#include <vector>

#include "fs/ntfs_geometry.h"
#include "scan/sector_source.h"
#include "store/volume_record.h"

namespace trovium {

// The resident $DATA value of the record stored at r.data_lba (records of up
// to 1024 bytes with the resident flag). Returns the byte count in `bytes`.
bool ReadNtfsResidentData(const FileRecord& r, CSectorSource& source, uint8_t (&out)[kNtfsRecordBytes],
                          uint32_t& bytes);

// Reads the file into dest, at most min(r.size, dest_size) bytes; the last
// partial sector is read aside, so dest need not be a whole number of
// sectors. `bytes` says how many were copied. False when the data cannot be
// located, a read failed (what came before stays), or the scan was stopped.
bool ReadNtfsWholeFile(const FileRecord& r, const NtfsGeometry& geo, CSectorSource& source,
                       const std::atomic<int>* scan_state, uint8_t* dest, uint64_t dest_size, uint64_t& bytes);

// The same into a vector sized to what was read (at most `wanted` bytes).
bool ReadNtfsWholeFile(const FileRecord& r, const NtfsGeometry& geo, CSectorSource& source,
                       const std::atomic<int>* scan_state, uint64_t wanted, std::vector<uint8_t>& out);

// BuildExtents for NTFS records that are not resident: their mapping pairs
// placed on the device.
bool NtfsExtentBuilder(const VolumeRecord& v, const FileRecord& r, std::vector<DataExtent>& extents);

}  // namespace trovium
