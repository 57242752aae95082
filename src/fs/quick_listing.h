#pragma once
// The quick listing behind `trovium-cli ls`: the volumes of a disk, partition
// or image found from its partition table (or the boot sector at LBA 0 of a
// bare volume), each read by the reader of its file system, without a scan.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/source_file.h"
#include "scan/sector_source.h"
#include "store/store.h"
#include "store/volume_record.h"

namespace trovium {

struct ListOptions {
  const std::atomic<int>* scan_state = nullptr;  // 2 asks the readers to stop
  bool read_files = true;                         // false: volumes only
};

// Which volumes a listing keeps in the store.
enum class ListingView { kAll, kExisting, kDeleted };

// The volumes of an opened source: partitions from its table (GPT behind a
// protective MBR, else MBR and extended records), or one volume at LBA 0 when
// LBA 0 is a boot sector. device_path is set to `device_path`, start_lba and
// sector_count are absolute on the source. False when nothing was found.
bool FindSourceVolumes(CSectorSource& source, const std::string& device_path, std::vector<VolumeRecord>& out);

// Reads the volume's files with the reader of its kind and gives recycle-bin
// entries their original names. A volume without a reader keeps just the
// root and lost-files records; false then, or when the reader failed or was
// stopped.
bool ReadVolumeFiles(VolumeRecord& v, const std::atomic<int>* scan_state);

// Opens the source (image or device, read-only) and lists it. False when it
// cannot be opened (failure says why) or holds no volume we know.
bool ListSource(const std::string& path, const ListOptions& options, std::vector<VolumeRecord>& out,
                platform::SourceOpenResult* failure = nullptr);

// Puts the listed volumes into the store (reset first), split into existing
// or deleted views when asked; every file counts, whatever its type.
void LoadListing(FoundFileStore& store, std::vector<VolumeRecord> volumes, ListingView view,
                 const std::string& source_path);

}  // namespace trovium
