#pragma once
// What the deep scan keeps of an NTFS file record it found: the payload of a
// file-record hit (kind 224).

#include <cstdint>
#include <string>
#include <vector>

namespace trovium {

struct FileRecordSummary {
  uint32_t parent = 0;            // low half of the parent reference of the chosen $FILE_NAME
  uint32_t record = 0;            // record number (header offset 0x2C)
  std::string name;               // name of the chosen $FILE_NAME, UTF-8
  std::vector<uint8_t> runs;      // mapping pairs of the first $DATA, or empty
  uint64_t data_size = 0;         // real size of $DATA (resident: value length)
  uint64_t allocated_size = 0;    // allocated size of non-resident $DATA
  uint8_t summary_flags = 0;      // bits 0-1 record flags; 2 resident $DATA; 3 has $INDEX_ALLOCATION
};

// The summary a file-record hit points at, or null.
inline const FileRecordSummary* SummaryOfHit(uint64_t payload) {
  return reinterpret_cast<const FileRecordSummary*>(static_cast<uintptr_t>(payload));
}

}  // namespace trovium
