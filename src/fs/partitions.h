#pragma once
// Volumes from what lies on a device: partition tables (MBR, extended boot
// records, GPT), boot sectors and the backup copies each file system keeps,
// and runs of NTFS file records whose boot sector is lost. Every volume made
// here carries start_lba, sector_count, fs_kind, boot_sector, role, active,
// serial and label; its files are read later by the reader of its kind.
//
// All positions are 64-bit LBAs, absolute on the source; a corrupted table
// yields what can be read and never makes a walk loop.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/byte_view.h"
#include "scan/scan_hit.h"
#include "scan/sector_source.h"
#include "store/volume_record.h"

namespace trovium {

inline constexpr char kDefaultVolumeLabel[] = "本地磁盘";

// One partition as a table describes it, converted to absolute LBAs.
struct TablePartition {
  uint64_t start_lba = 0;
  uint64_t sector_count = 0;
  uint8_t type = 0;     // MBR partition type; 0 for GPT entries
  bool active = false;  // boot indicator 0x80
};

// The FsKind a boot sector is recognised as, trying NTFS, FAT32, FAT16 and
// exFAT in that order; kFsUnknown when none passes.
int32_t FsKindOfBootSector(ByteView boot);

// True when a volume of the list starts at lba.
bool HasVolumeStart(const std::vector<VolumeRecord>& volumes, uint64_t lba);

// Partition-table hits (kind 222): each data entry whose boot sector passes a
// recogniser becomes a volume. Returns the number of hits looked at.
uint32_t PartitionsFromTableSectors(std::vector<VolumeRecord>& out, std::span<const ScanHit> hits, CSectorSource& source);

// Boot-sector hits (kinds 223, 226, 228, 233), each taken as a primary boot
// sector or as a backup copy. Returns the number of hits looked at.
uint32_t VolumesFromBootSectors(std::vector<VolumeRecord>& out, std::span<const ScanHit> hits, CSectorSource& source);

// File-record hits (kind 224, payload a FileRecordSummary): runs that hold the
// start of an MFT or of its mirror become NTFS volumes of unknown size.
// Returns the number of hits looked at.
uint32_t NtfsVolumesFromRecordRuns(std::vector<VolumeRecord>& out, std::span<const ScanHit> hits, CSectorSource& source);

// A volume from one boot sector found at lba: as a primary, else as the NTFS
// backup (one volume length earlier), the FAT32 backup (6 sectors earlier) or
// the exFAT backup region (12 sectors earlier), each confirmed on the device.
bool VolumeFromBootSector(CSectorSource& source, ByteView boot, uint64_t lba, VolumeRecord& out);

// `serial` from the boot-sector copy by fs_kind; 0 for other kinds.
void SetSerialFromBootSector(VolumeRecord& v);

// The volume name of an NTFS volume from its $Volume record; false when there is none.
bool ReadNtfsLabel(CSectorSource& source, VolumeRecord& v);
// The label by fs_kind (FAT and exFAT through their readers); an empty label
// becomes "本地磁盘".
void ReadVolumeLabel(CSectorSource& source, VolumeRecord& v);

// The partitions the table at LBA 0 describes: GPT when the MBR is protective,
// else the MBR entries and the chain of extended boot records. False when
// LBA 0 cannot be read or holds no partition table.
bool ReadPartitionTable(CSectorSource& source, std::vector<TablePartition>& out);

// The volume in a partition: the boot sector at its start (or a backup copy
// inside it) decides fs_kind whenever the partition type names no kind or
// another one. False when no boot sector is recognised.
bool VolumeFromTablePartition(CSectorSource& source, const TablePartition& p, VolumeRecord& out);

}  // namespace trovium
