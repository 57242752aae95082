#include "fs/ntfs_bitmap.h"

#include <mutex>

#include "core/memory_manager.h"
#include "fs/ntfs_data.h"
#include "fs/ntfs_mft.h"
#include "fs/ntfs_record.h"

namespace trovium {

namespace {

constexpr uint16_t kBitmapTag = 310;
constexpr uint64_t kBitmapRecord = 6;

struct LoadedBitmap {
  std::mutex lock;
  uint8_t* data = nullptr;
  uint64_t size = 0;
};

LoadedBitmap& Bitmap() {
  static LoadedBitmap bitmap;
  return bitmap;
}

void Replace(uint8_t* data, uint64_t size) {
  LoadedBitmap& b = Bitmap();
  uint8_t* old = nullptr;
  {
    std::lock_guard<std::mutex> hold(b.lock);
    old = b.data;
    b.data = data;
    b.size = size;
  }
  if (old) MemFree(old);
}

}  // namespace

bool LoadNtfsVolumeBitmap(const VolumeRecord& volume, const std::atomic<int>* scan_state) {
  Replace(nullptr, 0);
  NtfsGeometry geo;
  if (!NtfsGeometryFromVolume(volume, geo)) return false;
  CSectorSource source;
  if (!OpenDevice({volume.device_path, volume.display_name, volume.start_lba, volume.sector_count}, source))
    return false;

  bool ok = false;
  uint8_t record[kNtfsRecordBytes];
  FileRecord bitmap_file;
  NtfsParseContext ctx;
  ctx.geo = geo;
  ctx.record_limit = UINT32_MAX;
  if (ReadNtfsFileRecords(source, 1, geo.mft_lba() + kBitmapRecord * kNtfsRecordSectors, record) &&
      ParseNtfsFileRecord(bitmap_file, ctx, ByteView(record, sizeof record), true)) {
    // One bit per cluster, kept in whole 8-byte words: anything larger cannot
    // belong to this volume and is not allocated.
    const uint64_t limit = (geo.total_clusters() + 63) / 64 * 8;
    const uint64_t size = bitmap_file.size;
    if (size != 0 && size <= limit) {
      auto* data = static_cast<uint8_t*>(MemTryAlloc(static_cast<size_t>(size), kBitmapTag));
      uint64_t bytes = 0;
      if (data && ReadNtfsWholeFile(bitmap_file, geo, source, scan_state, data, size, bytes) && bytes == size) {
        Replace(data, size);
        ok = true;
      } else if (data) {
        MemFree(data);
      }
    }
  }
  CloseSource(source);
  return ok;
}

ByteView NtfsVolumeBitmap() {
  LoadedBitmap& b = Bitmap();
  std::lock_guard<std::mutex> hold(b.lock);
  return ByteView(b.data, static_cast<size_t>(b.size));
}

void ReleaseNtfsVolumeBitmap() { Replace(nullptr, 0); }

}  // namespace trovium
