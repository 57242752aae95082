#include "fs/partitions_ntfs.h"

namespace trovium {

bool FixupFileRecord(uint8_t* record, size_t size) {
  ByteView r(record, size);
  if (!r.matches(0, "FILE", 4)) return false;
  const uint16_t usa_offset = r.le16_or0(4);
  const uint16_t usa_count = r.le16_or0(6);
  // One check value plus one saved pair per 512-byte sector of the record.
  if (usa_count < 2 || static_cast<size_t>(usa_count - 1) * 512 > size || !r.has(usa_offset, 2u * usa_count))
    return false;
  const uint16_t check = r.le16_or0(usa_offset);
  for (size_t i = 1; i < usa_count; ++i) {
    const size_t end = i * 512 - 2;
    if (r.le16_or0(end) != check) return false;
    record[end] = record[usa_offset + 2 * i];
    record[end + 1] = record[usa_offset + 2 * i + 1];
  }
  return true;
}

ByteView FindRecordAttribute(ByteView record, uint32_t type) {
  size_t at = record.le16_or0(20);
  // Each attribute is at least 16 bytes long, so the walk always moves on.
  while (record.has(at, 16)) {
    const uint32_t t = record.le32_or0(at);
    const uint32_t length = record.le32_or0(at + 4);
    if (t == 0xFFFFFFFF || length < 16 || !record.has(at, length)) break;
    if (t == type) return record.sub(at, length);
    at += length;
  }
  return ByteView();
}

bool DecodeFirstExtent(ByteView runs, uint64_t& cluster, uint64_t& length) {
  const uint8_t header = runs.u8_or0(0);
  const size_t length_bytes = header & 0x0F;
  const size_t offset_bytes = header >> 4;
  if (length_bytes == 0 || length_bytes > 8 || offset_bytes == 0 || offset_bytes > 8 ||
      !runs.has(1, length_bytes + offset_bytes))
    return false;
  length = 0;
  for (size_t i = 0; i < length_bytes; ++i) length |= static_cast<uint64_t>(runs.u8_or0(1 + i)) << (8 * i);
  uint64_t value = 0;
  for (size_t i = 0; i < offset_bytes; ++i)
    value |= static_cast<uint64_t>(runs.u8_or0(1 + length_bytes + i)) << (8 * i);
  // The first offset is from cluster 0, so a negative one is damage.
  if (offset_bytes < 8 && (value >> (8 * offset_bytes - 1)) & 1) return false;
  if (offset_bytes == 8 && (value >> 63)) return false;
  cluster = value;
  return true;
}

}  // namespace trovium
