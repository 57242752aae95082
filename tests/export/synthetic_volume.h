#pragma once
// A small volume of found files over an image the test writes: every file is
// one contiguous run of sectors, so a test knows exactly where its bytes lie.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "common/test_support.h"
#include "scan/sector_source.h"
#include "store/store.h"

namespace trovium::test {

class SyntheticVolume {
 public:
  explicit SyntheticVolume(std::string image) : image_(std::move(image)) {
    v_.fs_kind = kFsFound;
    v_.label = "SYN";
    AddBaseRecords(v_);
  }

  uint32_t Dir(uint32_t parent, const std::string& name, uint16_t flags = 0) {
    FileRecord r;
    r.parent = parent;
    r.name = name;
    r.flags = flags;
    r.set_state(kStateDir);
    return InsertRecord(v_, r, true);
  }

  // A file whose data is appended to the image at the next free sector.
  uint32_t File(uint32_t parent, const std::string& name, const std::vector<uint8_t>& data, uint16_t flags = 0) {
    const uint64_t lba = bytes_.size() / kSectorBytes;
    bytes_.insert(bytes_.end(), data.begin(), data.end());
    bytes_.resize((bytes_.size() + kSectorBytes - 1) / kSectorBytes * kSectorBytes, 0);
    return FileAt(parent, name, lba, data.size(), flags);
  }

  // A file of `size` bytes at `lba`, whatever the image holds there.
  uint32_t FileAt(uint32_t parent, const std::string& name, uint64_t lba, uint64_t size, uint16_t flags = 0) {
    FileRecord r;
    r.parent = parent;
    r.name = name;
    r.data_lba = lba;
    r.size = size;
    r.flags = flags;
    r.set_state(kStateFile);
    return InsertRecord(v_, r, true);
  }

  // Writes the image (at least `min_bytes`) and adds the volume; its address.
  uint32_t Publish(FoundFileStore& store, uint64_t min_bytes = 0) {
    if (bytes_.size() < min_bytes) bytes_.resize(min_bytes, 0);
    if (bytes_.empty()) bytes_.resize(kSectorBytes, 0);
    WriteFile(image_, bytes_);
    VolumeRecord source;
    source.device_path = image_;
    store.Reset(source, false);
    return store.AddVolume(std::move(v_), false);
  }

  SourceLocation Source() const {
    SourceLocation s;
    s.device_path = image_;
    s.sector_count = bytes_.size() / kSectorBytes;
    return s;
  }

 private:
  std::string image_;
  VolumeRecord v_;
  std::vector<uint8_t> bytes_;
};

inline std::vector<uint8_t> Bytes(size_t size, uint8_t seed) {
  std::vector<uint8_t> out(size);
  uint32_t x = seed * 2654435761u + 7;
  for (auto& b : out) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  return out;
}

}  // namespace trovium::test
