#pragma once
// The exFAT reader: lists existing and deleted entry sets of a volume into its
// records, keeps the FAT and the allocation bitmap with the volume, and turns
// a record into the clusters of its data for export.

#include <atomic>
#include <cstdint>
#include <vector>

#include "fs/exfat_boot.h"
#include "scan/progress.h"
#include "scan/sector_source.h"
#include "store/volume_record.h"

namespace trovium {

// Longest FAT or bitmap copy kept: 0x40000 sectors (128 MiB).
inline constexpr uint64_t kMaxExfatCopySectors = 0x40000;
// Most bytes read of one directory (the format's own limit is 256 MiB).
inline constexpr uint64_t kMaxExfatDirBytes = 64ull << 20;

// Reads the volume (fs_kind 4) opened by its device_path: FAT copy to
// extra_a, allocation bitmap to extra_b, records inserted, tree built.
// False when the boot sector describes no usable volume or the scan was
// stopped (records read so far stay).
bool ReadExfatVolume(VolumeRecord& volume, const std::atomic<int>* scan_state);

// A run of clusters: first cluster and count.
struct ExfatClusterRun {
  uint64_t first = 0;
  uint64_t count = 0;
};

// How the clusters after the first one are found.
enum class ExfatChain {
  kContiguous,  // the stream says NoFatChain
  kDirectory,   // FAT entries only; a free entry ends the list; no FAT copy: the first cluster alone
  kFile,        // FAT entries of allocated clusters, else the next cluster
};

// Clusters holding `bytes` bytes from `first` on, as runs; never more than
// the volume's cluster count, never a cluster twice. Uses the FAT copy
// (v.extra_a) and the bitmap (v.extra_b).
std::vector<ExfatClusterRun> ExfatClusterRuns(const VolumeRecord& v, const ExfatGeometry& geo, uint64_t first,
                                              uint64_t bytes, ExfatChain chain);

// Reads a directory and everything below it into v (explicit stack, each
// directory cluster read once). Also used for directories found loose on a
// device (then without a FAT copy).
bool ReadExfatDirectory(const std::atomic<int>* scan_state, ProgressReport& progress, CSectorSource& source,
                        VolumeRecord& v, const ExfatGeometry& geo, uint64_t first_cluster, uint64_t bytes,
                        bool no_fat_chain, uint32_t parent);

bool BuildExfatExtents(const VolumeRecord& volume, const FileRecord& record, std::vector<DataExtent>& extents);
void RegisterExfatExtentBuilder();

// Sets label from the root directory's label entry; false when there is none.
bool ReadExfatVolumeLabel(VolumeRecord& volume, CSectorSource& source);

}  // namespace trovium
