#include "fs/ntfs_fixup.h"

#include "fs/ntfs_geometry.h"

namespace trovium {

bool ApplyNtfsFixup(uint8_t* record, size_t size) {
  if (!record || size < kNtfsRecordBytes) return false;
  // The array's place is taken as fixed and the sequence number is not
  // compared: a torn write still leaves most of a record worth listing.
  record[510] = record[0x32];
  record[511] = record[0x33];
  record[1022] = record[0x34];
  record[1023] = record[0x35];
  return true;
}

}  // namespace trovium
