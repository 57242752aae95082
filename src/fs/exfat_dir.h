#pragma once
// exFAT directory entry sets: a file entry, its stream extension and its name
// entries, existing (0x85, 0xC0, 0xC1) or deleted (0x05, 0x40, 0x41).

#include <cstdint>
#include <functional>
#include <string>

#include "core/byte_view.h"
#include "store/file_record.h"

namespace trovium {

// Record flag: the data is contiguous and the FAT holds no chain for it.
// (Bits 0-8 belong to the store; exFAT records keep the stream's flag here.)
inline constexpr uint16_t kExfatFlagNoFatChain = 1u << 9;

// What the stream extension says beyond the record itself.
struct ExfatStream {
  uint32_t first_cluster = 0;
  uint64_t valid_length = 0;
  uint64_t data_length = 0;
  bool no_fat_chain = false;
};

// Receives each complete set: parent, name, size (valid data length), times,
// run_info (first cluster), state and flags; data_lba is left to the caller.
using ExfatRecordSink = std::function<void(FileRecord& record, const ExfatStream& stream)>;

// Parses 32-byte entries up to the end-of-directory entry or the end of dir.
// A set is complete when all its secondary entries were seen, a stream
// extension and a name among them. Returns how many records were handed over.
uint32_t ParseExfatDirectory(ByteView dir, uint32_t parent, const ExfatRecordSink& sink);

// The label of a volume-label entry (0x83) among the entries of dir; false
// when there is none with a count below 16.
bool ExfatLabelFromDirectory(ByteView dir, std::string& label);

}  // namespace trovium
