#pragma once
// The volume's cluster bitmap ($Bitmap), loaded for the free-space scan modes
// and kept process-wide until the next load or release.

#include <atomic>

#include "core/byte_view.h"
#include "store/volume_record.h"

namespace trovium {

// Reads file record 6 and the whole $Bitmap. Its size must be nonzero and no
// more than the volume's clusters need; otherwise, or when a read fails, the
// buffer is released and the size is 0.
bool LoadNtfsVolumeBitmap(const VolumeRecord& volume, const std::atomic<int>* scan_state);

// The loaded bitmap (empty when none); valid until the next load or release,
// which only the thread that loaded it performs.
ByteView NtfsVolumeBitmap();

void ReleaseNtfsVolumeBitmap();

}  // namespace trovium
