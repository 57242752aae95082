#pragma once
// NTFS volumes of test images and their listings by path.

#include <map>
#include <string>
#include <vector>

#include "scan/sector_source.h"
#include "store/volume_record.h"

namespace trovium::test {

// A volume record for the NTFS volume at start_lba of an image, with its boot sector.
inline bool NtfsVolumeOf(const std::string& image, uint64_t start_lba, uint64_t sector_count, VolumeRecord& v) {
  v = VolumeRecord{};
  v.fs_kind = kFsNtfs;
  v.role = 2;
  v.device_path = image;
  v.display_name = image;
  v.start_lba = start_lba;
  v.sector_count = sector_count;
  CSectorSource source;
  if (!OpenImage(image, source)) return false;
  const bool ok = ReadSectors(1, source, v.boot_sector.data(), start_lba);
  CloseSource(source);
  return ok;
}

// "dir/sub/name" of a record, as The Sleuth Kit writes paths; empty for a
// record that does not reach the root.
inline std::string PathOf(const VolumeRecord& v, uint32_t index) {
  const std::vector<uint32_t> chain = PathToRoot(v, index);
  std::string path;
  for (size_t i = chain.size(); i-- > 0;) {
    if (chain[i] == kRootIndex) continue;
    if (!path.empty()) path += '/';
    path += v.files[chain[i]].name;
  }
  return chain.empty() ? std::string() : path;
}

// Every valid record but the root and the lost-files directory, by path.
inline std::map<std::string, const FileRecord*> ListingByPath(const VolumeRecord& v) {
  std::map<std::string, const FileRecord*> out;
  for (uint32_t i = 1; i < v.file_count; ++i) {
    const FileRecord* r = GetRecord(v, i);
    if (!r || i == kRootIndex || i == kLostIndex) continue;
    out[PathOf(v, i)] = r;
  }
  return out;
}

}  // namespace trovium::test
