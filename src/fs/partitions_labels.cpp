#include <algorithm>

#include "core/text_convert.h"
#include "fs/exfat_volume.h"
#include "fs/fat_volume.h"
#include "fs/ntfs_attribute.h"
#include "fs/ntfs_mft.h"
#include "fs/partitions.h"

namespace trovium {

namespace {

constexpr size_t kMaxNtfsLabelChars = 259;

ByteView Boot(const VolumeRecord& v) { return ByteView(v.boot_sector.data(), v.boot_sector.size()); }

}  // namespace

void SetSerialFromBootSector(VolumeRecord& v) {
  const ByteView b = Boot(v);
  switch (v.fs_kind) {
    case kFsExfat: v.serial = b.le32_or0(100); break;
    case kFsFat16: v.serial = b.le32_or0(39); break;
    case kFsFat32: v.serial = b.le32_or0(67); break;
    case kFsNtfs: v.serial = b.le32_or0(72); break;
    default: v.serial = 0; break;
  }
}

bool ReadNtfsLabel(CSectorSource& source, VolumeRecord& v) {
  NtfsGeometry geo;
  NtfsMftLocation mft;
  if (!NtfsGeometryFromVolume(v, geo) || !LocateNtfsMft(source, geo, mft) || mft.extents.empty()) return false;
  uint8_t record[kNtfsRecordBytes];  // record 3, $Volume
  if (!ReadNtfsFileRecords(source, 1, mft.extents[0].start_lba + 3 * kNtfsRecordSectors, record) ||
      !HasNtfsFileSignature(ByteView(record, sizeof record)))
    return false;
  NtfsAttribute name;
  if (!FindNtfsAttribute(ByteView(record, sizeof record), kNtfsVolumeName, name) || name.non_resident) return false;
  const ByteView value = name.value();
  v.label = Utf16LeToUtf8(value.sub(0, 2 * std::min<size_t>(value.size() / 2, kMaxNtfsLabelChars)));
  return !v.label.empty();
}

void ReadVolumeLabel(CSectorSource& source, VolumeRecord& v) {
  v.label.clear();
  switch (v.fs_kind) {
    case kFsNtfs: ReadNtfsLabel(source, v); break;
    case kFsFat16: case kFsFat32: ReadFatVolumeLabel(v, source); break;
    case kFsExfat: ReadExfatVolumeLabel(v, source); break;
    default: break;
  }
  if (v.label.empty()) v.label = kDefaultVolumeLabel;
}

}  // namespace trovium
