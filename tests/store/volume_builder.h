#pragma once
// Small volumes for the store tests: records inserted as a reader would.

#include <string>

#include "store/volume_record.h"

namespace trovium::test {

inline VolumeRecord BaseVolume(int32_t fs_kind = kFsNtfs) {
  VolumeRecord v;
  v.fs_kind = fs_kind;
  AddBaseRecords(v);
  return v;
}

inline uint32_t Put(VolumeRecord& v, uint32_t index, uint32_t parent, const std::string& name, uint16_t state,
                    bool link = false, uint64_t size = 0) {
  FileRecord r;
  r.index = index;
  r.parent = parent;
  r.name = name;
  r.size = size;
  r.set_state(state);
  return InsertRecord(v, r, link);
}

}  // namespace trovium::test
