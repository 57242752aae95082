#pragma once
// One found file or directory. Records live in a flat array per volume and
// refer to each other by index; a slot is valid only when its `index` equals
// its position and it has a name (index 0 is never valid).

#include <cstdint>
#include <string>
#include <vector>

#include "core/time_text.h"

namespace trovium {

// `state` values (flags bits 3-4).
inline constexpr uint16_t kStateDeletedFile = 0;
inline constexpr uint16_t kStateFile = 1;
inline constexpr uint16_t kStateDeletedDir = 2;
inline constexpr uint16_t kStateDir = 3;

// Check state (flags bits 1-2).
inline constexpr uint16_t kUnchecked = 0;
inline constexpr uint16_t kChecked = 1;
inline constexpr uint16_t kPartlyChecked = 2;

// Other flag bits.
inline constexpr uint16_t kFlagResident = 1u << 0;
inline constexpr uint16_t kFlagFilterPass = 1u << 5;
inline constexpr uint16_t kFlagExtentList = 1u << 6;

// Thumbnail state (flags bits 7-8).
inline constexpr uint16_t kThumbNone = 0;
inline constexpr uint16_t kThumbFailed = 1;
inline constexpr uint16_t kThumbRequested = 2;
inline constexpr uint16_t kThumbReady = 3;

struct FileRecord {
  uint32_t index = 0;
  uint32_t parent = 0;
  std::vector<uint32_t> children;   // child_count = children.size()
  uint32_t subtree_file_count = 0;
  uint32_t run_info = 0;            // NTFS: bytes of `runs`; FAT/exFAT: first cluster; extent list: extents
  uint64_t data_lba = 0;
  uint64_t size = 0;
  PackedTime ctime = 0;
  PackedTime mtime = 0;
  std::string name;                 // UTF-8
  std::vector<uint8_t> runs;        // NTFS mapping pairs, or DataExtents with kFlagExtentList
  const void* thumbnail = nullptr;  // cached thumbnail block; not owned
  uint8_t type_code = 0;
  uint16_t flags = 0;

  uint32_t child_count() const { return static_cast<uint32_t>(children.size()); }

  uint16_t state() const { return (flags >> 3) & 3u; }
  void set_state(uint16_t s) { flags = static_cast<uint16_t>((flags & ~(3u << 3)) | ((s & 3u) << 3)); }
  bool is_dir() const { return state() >= kStateDeletedDir; }
  bool is_deleted() const { return state() == kStateDeletedFile || state() == kStateDeletedDir; }

  uint16_t check() const { return (flags >> 1) & 3u; }
  void set_check(uint16_t c) { flags = static_cast<uint16_t>((flags & ~(3u << 1)) | ((c & 3u) << 1)); }

  uint16_t thumb_state() const { return (flags >> 7) & 3u; }
  void set_thumb_state(uint16_t t) { flags = static_cast<uint16_t>((flags & ~(3u << 7)) | ((t & 3u) << 7)); }
};

// Frees the record's blocks and zeroes it.
inline void ClearRecord(FileRecord& r) { r = FileRecord{}; }

// A record of a classification view: a reference to a record of a real volume.
struct ViewNode {
  uint32_t index = 0;
  uint32_t parent = 0;
  std::vector<uint32_t> children;
  uint32_t volume_ref = 0;
  uint32_t record_ref = 0;
  uint32_t child_count() const { return static_cast<uint32_t>(children.size()); }
};

// A run of sectors of a file's data.
struct DataExtent {
  uint64_t start_lba = 0;
  uint64_t sector_count = 0;
  bool operator==(const DataExtent&) const = default;
};

// Appends a run of sectors, joining it to the last extent when it follows on.
inline void AppendExtent(std::vector<DataExtent>& extents, uint64_t lba, uint64_t sectors) {
  if (!extents.empty() && extents.back().start_lba + extents.back().sector_count == lba)
    extents.back().sector_count += sectors;
  else
    extents.push_back({lba, sectors});
}

}  // namespace trovium
