#include <algorithm>
#include <vector>

#include "core/text_convert.h"
#include "fs/partitions.h"
#include "fs/partitions_ntfs.h"

namespace trovium {

namespace {

constexpr size_t kMaxNtfsLabelChars = 259;
constexpr uint32_t kMaxExfatLabelSectors = 512;  // the label is the first entry; 256 KiB is plenty

ByteView Boot(const VolumeRecord& v) { return ByteView(v.boot_sector.data(), v.boot_sector.size()); }

// Record 0 of the MFT at `cluster`: the LBA of the first extent of its data.
bool MftStartFromRecord0(CSectorSource& source, const VolumeRecord& v, uint64_t cluster, uint64_t& mft_lba) {
  const uint64_t spc = Boot(v).u8_or0(13);
  uint64_t offset = 0;
  if (spc == 0 || __builtin_mul_overflow(cluster, spc, &offset)) return false;
  uint8_t record[1024];
  if (!ReadSectors(2, source, record, v.start_lba + offset) || !FixupFileRecord(record, sizeof record)) return false;
  ByteView data = FindRecordAttribute(ByteView(record, sizeof record), 0x80);
  if (data.empty() || data.u8_or0(8) == 0) return false;  // $MFT data is never resident
  uint64_t first = 0, length = 0;
  if (!DecodeFirstExtent(data.sub(data.le16_or0(32), data.size() - std::min<size_t>(data.size(), data.le16_or0(32))),
                         first, length) ||
      __builtin_mul_overflow(first, spc, &offset))
    return false;
  mft_lba = v.start_lba + offset;
  return true;
}

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
  const ByteView b = Boot(v);
  uint64_t mft_lba = 0;
  if (!MftStartFromRecord0(source, v, b.le64_or0(48), mft_lba) &&
      !MftStartFromRecord0(source, v, b.le64_or0(56), mft_lba))
    return false;
  uint8_t record[1024];  // record 3, $Volume
  if (!ReadSectors(2, source, record, mft_lba + 6) || !FixupFileRecord(record, sizeof record)) return false;
  ByteView name = FindRecordAttribute(ByteView(record, sizeof record), 0x60);
  if (name.empty() || name.u8_or0(8) != 0) return false;
  const size_t chars = std::min<size_t>(name.le32_or0(16) / 2, kMaxNtfsLabelChars);
  ByteView value = name.sub(name.le16_or0(20), 2 * chars);
  if (value.empty()) return false;
  v.label = Utf16LeToUtf8(value);
  return !v.label.empty();
}

bool ReadFatLabel(CSectorSource& source, VolumeRecord& v) {
  const ByteView b = Boot(v);
  const uint64_t reserved = b.le16_or0(14);
  const uint64_t fats = b.u8_or0(16);
  uint64_t root = 0;
  if (v.fs_kind == kFsFat16) {
    root = v.start_lba + reserved + fats * b.le16_or0(22);
  } else {
    const uint64_t spc = b.u8_or0(13);
    const uint32_t root_cluster = b.le32_or0(44);
    if (spc == 0 || root_cluster < 2) return false;
    root = v.start_lba + reserved + fats * b.le32_or0(36) + (root_cluster - 2ull) * spc;
  }
  uint8_t sector[kSectorBytes];
  if (!ReadSectors(1, source, sector, root)) return false;
  if (!(sector[11] & 0x08) || sector[11] == 0x0F || sector[0] == 0 || sector[0] == 0xE5) return false;
  size_t n = 11;
  while (n > 0 && sector[n - 1] == ' ') --n;
  v.label = AnsiToUtf8(std::string_view(reinterpret_cast<const char*>(sector), n));
  return !v.label.empty();
}

bool ReadExfatLabel(CSectorSource& source, VolumeRecord& v) {
  const ByteView b = Boot(v);
  const uint32_t shift = b.u8_or0(109);
  const uint32_t root_cluster = b.le32_or0(96);
  if (shift > 16 || root_cluster < 2) return false;
  const uint64_t root = v.start_lba + b.le32_or0(88) + ((root_cluster - 2ull) << shift);
  const uint32_t sectors = std::min<uint32_t>(1u << shift, kMaxExfatLabelSectors);
  std::vector<uint8_t> dir(static_cast<size_t>(sectors) * kSectorBytes);
  if (!ReadSectors(sectors, source, dir.data(), root)) return false;
  const ByteView d(dir.data(), dir.size());
  for (size_t at = 0; d.has(at, 32); at += 32) {
    const uint8_t type = d.u8_or0(at);
    if (type == 0) break;
    if (type != 0x83) continue;
    const uint8_t chars = d.u8_or0(at + 1);
    if (chars >= 16) continue;
    v.label = Utf16LeToUtf8(d.sub(at + 2, 2u * chars));
    return !v.label.empty();
  }
  return false;
}

void ReadVolumeLabel(CSectorSource& source, VolumeRecord& v) {
  v.label.clear();
  switch (v.fs_kind) {
    case kFsNtfs: ReadNtfsLabel(source, v); break;
    case kFsFat16: case kFsFat32: ReadFatLabel(source, v); break;
    case kFsExfat: ReadExfatLabel(source, v); break;
    default: break;
  }
  if (v.label.empty()) v.label = kDefaultVolumeLabel;
}

}  // namespace trovium
