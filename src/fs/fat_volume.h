#pragma once
// The FAT16 and FAT32 reader: lists existing and deleted entries of a volume
// into its records, supplies file extents for export, the FAT for the
// free-space scan and the volume label.

#include <atomic>
#include <cstdint>
#include <span>
#include <vector>

#include "scan/scan_hit.h"
#include "scan/sector_source.h"
#include "store/volume_record.h"

namespace trovium {

struct FatReadOptions {
  // Set after a deep scan that ran to its end; its hits on the device then
  // give deleted FAT32 entries back the high half of their first cluster.
  bool deep_scan_completed = false;
  std::span<const ScanHit> scan_hits;
  // Receives the LBA of every directory start that was read, so the post-scan
  // step can drop the directory hits these cover.
  std::vector<uint64_t>* directory_starts = nullptr;
};

// Reads the volume (fs_kind 10 or 11) opened by its device_path: the FAT copy
// goes to extra_a, records are inserted and the tree is built. False when the
// boot sector describes no usable volume or the scan was stopped (scan_state 2).
bool ReadFatVolume(VolumeRecord& volume, const std::atomic<int>* scan_state, const FatReadOptions& options);
bool ReadFatVolume(VolumeRecord& volume, const std::atomic<int>* scan_state);

// Extents of a FAT record (registered for kinds 10 and 11 by RegisterFatExtentBuilder).
bool BuildFatExtents(const VolumeRecord& volume, const FileRecord& record, std::vector<DataExtent>& extents);
void RegisterFatExtentBuilder();

// The first FAT of the volume (cut to 128 MiB) for the free-space scan.
bool LoadFatForFreeSpace(const VolumeRecord& volume, std::vector<uint8_t>& fat);

// Sets label from the first sector of the root directory; false when there is none.
bool ReadFatVolumeLabel(VolumeRecord& volume, CSectorSource& source);

}  // namespace trovium
