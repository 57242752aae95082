#pragma once
// The file-record parser: one fixed-up 1024-byte MFT record to a FileRecord
// (name and parent from $FILE_NAME, times from $STANDARD_INFORMATION, size and
// mapping pairs from the first $DATA).

#include <cstdint>
#include <vector>

#include "core/byte_view.h"
#include "fs/ntfs_geometry.h"
#include "fs/ntfs_runlist.h"
#include "store/file_record.h"
#include "store/volume_record.h"

namespace trovium {

// Resident $DATA values longer than this are taken as damage: no size.
inline constexpr uint32_t kNtfsMaxResidentValue = 768;

struct NtfsParseContext {
  NtfsGeometry geo;
  // Record numbers must lie below this: the MFT's own record count when it is
  // known, else the store's ordinary limit.
  uint64_t record_limit = kMaxRecords;
  // Extents of every $INDEX_ALLOCATION met are appended here (when set).
  std::vector<DataExtent>* index_extents = nullptr;
  // Reused for decoding; a local one is used when null.
  std::vector<NtfsRun>* scratch = nullptr;
};

// Parses `record` (fix-up already applied) into `out`, which is reset first
// but keeps the capacity of its name and runs so a caller can reuse it.
// False when the record is not a file record, its number is out of range, or
// it is a "$" system file and allow_system is off. A record that parses but
// holds no name comes back true with an empty name; callers skip it.
// "$RECYCLE.BIN" of a system file becomes the recycle bin, a deleted directory.
bool ParseNtfsFileRecord(FileRecord& out, const NtfsParseContext& ctx, ByteView record, bool allow_system);

// FILETIME (100 ns since 1601, UTC) to local PackedTime; 0 stays 0.
PackedTime NtfsTimeToPacked(uint64_t filetime);

}  // namespace trovium
