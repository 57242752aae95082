#pragma once
// A partition, volume, rebuilt volume or view, with its records, plus the
// record-level operations. These work on one volume with no locking: a reader
// fills its own volume on its own thread, and the store calls them under the
// volume's lock.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "store/file_record.h"

namespace trovium {

enum FsKind : int32_t {
  kFsUnknown = 0,
  kFsExfat = 4,
  kFsFat16 = 10,
  kFsFat32 = 11,
  kFsNtfs = 12,
  kFsVirtual = 14,   // classification view
  kFsFound = 15,     // files found by signature
  kFsFatDir = 16,    // loose FAT directories
  kFsExfatDir = 17,  // loose exFAT directories
};

inline constexpr uint32_t kRootIndex = 5;
inline constexpr uint32_t kLostIndex = 4;
inline constexpr uint32_t kFirstFoundFileIndex = 237;
inline constexpr uint32_t kMaxRecords = 0x200000;
// A volume may allow more records than kMaxRecords: an NTFS volume holds as
// many as its MFT does. Indices stay 32-bit.
inline constexpr uint32_t kMaxRecordLimit = 0xFFFFFF00;
inline constexpr uint32_t kMaxViewNodes = 0x400000;
inline constexpr uint64_t kUnknownSectorCount = 1ull << 48;
inline constexpr char kLostFilesName[] = "丢失的文件";
inline constexpr char kFoundFilesName[] = "找到的文件";
inline constexpr char kRecycleBinName[] = "回收站";

struct VolumeRecord {
  uint32_t active = 0;
  int32_t role = 0;
  int32_t fs_kind = kFsUnknown;
  uint64_t start_lba = 0;
  uint64_t free_sectors = 0;
  uint64_t sector_count = 0;
  uint64_t device_sectors = 0;
  uint32_t removable = 0;
  std::array<uint8_t, 512> boot_sector{};
  std::vector<FileRecord> files;  // size() is the capacity
  uint32_t file_count = 0;        // one more than the highest index in use
  uint32_t shown_file_count = 0;
  std::vector<uint8_t> extra_a;   // FAT/exFAT: copy of the FAT
  std::vector<uint8_t> extra_b;   // exFAT: allocation bitmap
  uint32_t mounted = 0;
  uint32_t disk_number = 0;
  uint32_t serial = 0;
  std::string disk_name, display_name, device_path, volume_path, label, fs_name;
  int32_t view = 0;               // 0 all, 1 existing only, 2 deleted only
  uint32_t record_limit = kMaxRecords;  // records allowed (see RecordLimit)

  uint32_t file_capacity() const { return static_cast<uint32_t>(files.size()); }
};

// Indices below this are accepted: the volume's own limit, never below kMaxRecords.
inline uint32_t RecordLimit(const VolumeRecord& v) {
  return v.record_limit < kMaxRecords ? kMaxRecords : v.record_limit > kMaxRecordLimit ? kMaxRecordLimit : v.record_limit;
}

// The record at index when valid, else null.
const FileRecord* GetRecord(const VolumeRecord& v, uint32_t index);
FileRecord* GetRecord(VolumeRecord& v, uint32_t index);
inline bool IsValidRecord(const VolumeRecord& v, uint32_t index) { return GetRecord(v, index) != nullptr; }

// Makes room for `wanted` records (0: the ordinary growth step). A wanted count
// above the limit cannot be met and fails without allocating anything.
bool GrowRecords(VolumeRecord& v, uint64_t wanted = 0);
bool GrowViewNodes(std::vector<ViewNode>& nodes, uint32_t node_count, uint64_t wanted = 0);

// Copies r into the volume; returns its index, or 0 when refused.
uint32_t InsertRecord(VolumeRecord& v, const FileRecord& r, bool link);

// Appends index to the directory's children.
void AddChild(FileRecord& dir, uint32_t index);

// Root "." at 5 and the lost-files directory at 4.
bool AddBaseRecords(VolumeRecord& v);

// Indices from index up to the root (both included); empty for an invalid
// index. Bounded, so a damaged parent chain cannot make it loop.
std::vector<uint32_t> PathToRoot(const VolumeRecord& v, uint32_t index);

// Reads up to max_bytes of a record's content through its file system's
// reader (the device is opened by the current source's path); false when
// it cannot.
using RecordContentReader =
    std::function<bool(const VolumeRecord& v, const FileRecord& r, uint64_t max_bytes, std::vector<uint8_t>& out)>;

// Links every record under its parent. A record whose parent is missing,
// invalid, a file, or part of a parent cycle goes under the lost-files
// directory. NTFS volumes and loose FAT directories then get their
// recycle-bin names back through `reader` (nothing is renamed without one).
void BuildTree(VolumeRecord& v, const RecordContentReader& reader = {});

// Gives "$R" files of the recycle bin their original names from their "$I"
// companions, which are then removed. Returns how many were renamed.
uint32_t RestoreRecycleBinNames(VolumeRecord& v, const RecordContentReader& reader);

// The original name held in a "$I" file's content (UTF-16): the text after the
// last "\" following the last ":\". False when there is none of 1 to 260 characters.
bool ParseRecycleInfoName(const std::vector<uint8_t>& content, std::string& name);

// Moves more than 300 lost files into numbered subdirectories of 300.
bool SplitLostFiles(VolumeRecord& v);

// Closes the gaps of a volume with more than 5000 empty slots.
void CompactVolume(VolumeRecord& v);

// Counts the files shown below the root; files not shown are cleared and
// empty directories dropped. `show_all` is "ShowAllFile"; otherwise a file
// counts when `selected[type_code]` is set.
uint32_t CountShownFiles(VolumeRecord& v, bool show_all, const std::vector<bool>& selected);

// An independent copy of the volume with all its records.
VolumeRecord DeepCopyVolume(const VolumeRecord& v);

// v keeps the existing entries (view 1); the returned volume the deleted ones (view 2).
VolumeRecord SplitExistingDeleted(VolumeRecord& v);

// The recycle bin alone, or false when it holds no file.
bool KeepOnlyRecycleBin(const VolumeRecord& v, VolumeRecord& out);

// Removes the record and everything below it, and drops it from its parent.
void RemoveSubtree(VolumeRecord& v, uint32_t index);

}  // namespace trovium
