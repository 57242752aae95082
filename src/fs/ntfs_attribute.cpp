#include "fs/ntfs_attribute.h"

namespace trovium {

ByteView NtfsAttribute::value() const {
  if (non_resident) return ByteView();
  return bytes.sub(bytes.le16_or0(20), bytes.le32_or0(16));
}

ByteView NtfsAttribute::mapping_pairs() const {
  if (!non_resident) return ByteView();
  const size_t at = bytes.le16_or0(32);
  if (at < kNtfsNonResidentHeader || at > bytes.size()) return ByteView();
  return bytes.sub(at, bytes.size() - at);
}

NtfsAttributeWalk::NtfsAttributeWalk(ByteView record) : record_(record), pos_(record.le16_or0(0x14)) {}

bool NtfsAttributeWalk::Next(NtfsAttribute& out) {
  if (ended_) return false;
  uint32_t type = 0, length = 0;
  uint8_t non_resident = 0;
  if (!record_.le32(pos_, type) || type == 0 || type == 0xFFFFFFFF || !record_.le32(pos_ + 4, length) ||
      !record_.u8(pos_ + 8, non_resident)) {
    ended_ = true;
    return false;
  }
  const size_t header = non_resident ? kNtfsNonResidentHeader : kNtfsResidentHeader;
  // The length must cover the header of its form and fit the bytes left.
  if (length < header || !record_.has(pos_, length)) {
    ended_ = true;
    return false;
  }
  out.type = type;
  out.non_resident = non_resident != 0;
  out.bytes = record_.sub(pos_, length);
  pos_ += length;
  return true;
}

bool FindNtfsAttribute(ByteView record, uint32_t type, NtfsAttribute& out) {
  NtfsAttributeWalk walk(record);
  NtfsAttribute a;
  while (walk.Next(a)) {
    if (a.type == type) {
      out = a;
      return true;
    }
  }
  return false;
}

bool HasNtfsFileSignature(ByteView record) { return record.matches(0, "FILE", 4); }

}  // namespace trovium
