#pragma once
// The NTFS reader: every file and directory the master file table still
// describes, existing or deleted, listed into the volume and built into its
// tree from the parent references of the file names.

#include <atomic>

#include "store/volume_record.h"

namespace trovium {

// Opens volume.device_path, reads the MFT and fills volume.files; then adds
// the root and lost-files records, builds the tree (restoring recycle-bin
// names) and compacts. scan_state may be null; 2 stops the read, which then
// fails with the records read so far kept and no tree built. False too when
// the MFT cannot be located.
bool ReadNtfsVolume(VolumeRecord& volume, const std::atomic<int>* scan_state);

// Registers the NTFS extent builder with the store (SetExtentBuilder).
void RegisterNtfsExtentBuilder();

}  // namespace trovium
