#pragma once
// Recognises, from one 512-byte sector and its LBA, the file-system structures
// from which lost partitions and directories are rebuilt. Runs on every sector
// of a device, so every test bails out on its first bytes.

#include <cstddef>
#include <cstdint>

#include "core/byte_view.h"

namespace trovium {

// Structure kinds share the one-byte code space of the file types.
struct StructKind {
  static constexpr uint8_t kMbr = 221;              // partition table at LBA 0
  static constexpr uint8_t kEbr = 222;              // partition table elsewhere
  static constexpr uint8_t kNtfsBoot = 223;
  static constexpr uint8_t kNtfsFileRecord = 224;
  static constexpr uint8_t kNtfsIndexBlock = 225;
  static constexpr uint8_t kFat16Boot = 226;
  static constexpr uint8_t kFat16Table = 227;       // named only
  static constexpr uint8_t kFat32Boot = 228;
  static constexpr uint8_t kFat32Table = 229;       // named only
  static constexpr uint8_t kFat32FsInfo = 230;      // named only
  static constexpr uint8_t kFatDirEntry = 231;      // first sector of a subdirectory
  static constexpr uint8_t kFatRootDirEntry = 232;  // first sector of a root directory
  static constexpr uint8_t kExfatBoot = 233;
  static constexpr uint8_t kExfatRootDirEntry = 234;
  static constexpr uint8_t kExfatDirEntry = 235;
  static constexpr uint8_t kGptHeader = 236;
  static constexpr uint8_t kNone = 238;
};

// Sets kind to StructKind::kNone, then to the structure found; true when one
// was. Sectors shorter than 512 bytes are never recognised.
bool DetectStructure(ByteView sector, uint64_t lba, uint8_t& kind);

// The individual tests, also used by the partition code. Each takes a whole
// sector (at least 512 bytes) and fails on anything shorter.
bool IsNtfsBootSector(ByteView sector);
bool IsFat16BootSector(ByteView sector);
bool IsFat32BootSector(ByteView sector);
bool IsExfatBootSector(ByteView sector);
bool IsPartitionTableSector(ByteView sector);
bool IsFatRootDirSector(ByteView sector);
bool IsExfatRootDirSector(ByteView sector);
// Entries first..15 hold at least one complete exFAT file entry set.
bool IsExfatDirSectorFrom(ByteView sector, size_t first);
// The 11 name bytes of a FAT volume label (single bytes or GBK-style pairs).
bool IsFatVolumeLabelName(ByteView name11);

}  // namespace trovium
