#pragma once
// Walking the attributes of a fixed-up 1024-byte file record. Every attribute
// handed out lies wholly inside the record and is long enough for the header
// of its form (resident or non-resident).

#include <cstdint>

#include "core/byte_view.h"

namespace trovium {

inline constexpr uint32_t kNtfsStandardInformation = 0x10;
inline constexpr uint32_t kNtfsFileName = 0x30;
inline constexpr uint32_t kNtfsVolumeName = 0x60;
inline constexpr uint32_t kNtfsData = 0x80;
inline constexpr uint32_t kNtfsIndexAllocation = 0xA0;

inline constexpr size_t kNtfsResidentHeader = 24;
inline constexpr size_t kNtfsNonResidentHeader = 64;

struct NtfsAttribute {
  uint32_t type = 0;
  bool non_resident = false;
  ByteView bytes;  // the whole attribute, header included

  // Resident: the value, or empty when it does not lie inside the attribute.
  ByteView value() const;
  // Non-resident fields.
  uint64_t start_vcn() const { return bytes.le64_or0(16); }
  uint64_t real_size() const { return bytes.le64_or0(48); }
  // Non-resident: the mapping pairs, from their offset to the attribute's end
  // (empty when the offset points into the header or past the end).
  ByteView mapping_pairs() const;
};

class NtfsAttributeWalk {
 public:
  explicit NtfsAttributeWalk(ByteView record);
  // The next attribute; false at the end marker or at the first attribute
  // that does not fit, after which the walk stays ended.
  bool Next(NtfsAttribute& out);

 private:
  ByteView record_;
  size_t pos_ = 0;
  bool ended_ = false;
};

// The first attribute of `type`; false when there is none.
bool FindNtfsAttribute(ByteView record, uint32_t type, NtfsAttribute& out);

// True when the record starts with "FILE".
bool HasNtfsFileSignature(ByteView record);

}  // namespace trovium
