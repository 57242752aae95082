#pragma once
// The sector source: every byte read from a device or image under recovery
// goes through here. Sectors are always 512 bytes, addressed by 64-bit LBAs;
// reads are bounded by the last sector of the opened object, serialised
// process-wide, retried once on a fresh handle, and counted for the
// read-error reports of the deep scan and of export.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/source_file.h"

namespace trovium {

inline constexpr uint64_t kSectorBytes = 512;
inline constexpr uint32_t kChunkSectors = 16384;             // one deep-scan chunk, 8 MiB
inline constexpr uint64_t kMaxReadBytes = 0x10000000;        // 256 MiB: larger reads are refused
inline constexpr uint64_t kOpenEndedSectorCount = 1ull << 48;  // size of a volume whose end is unknown

struct CSectorSource {
  int handle = -1;          // -1 when closed or when a reopen failed
  std::string name;         // image path, or the volume's display name
  std::string reopenPath;   // path opened again after a failed read
  uint64_t lastLba = 0;     // last readable sector, inclusive (meaningful only when hasSectors)
  uint64_t imageBytes = 0;  // size of an image file; 0 for devices
  bool hasSectors = false;  // false for an object without one whole sector: every read fails
};

// What OpenDevice needs to know of a volume or drive.
struct SourceLocation {
  std::string device_path;
  std::string display_name;
  uint64_t start_lba = 0;
  uint64_t sector_count = 0;  // kOpenEndedSectorCount: readable up to LBA 2^48
};

// Opens the device of a volume. lastLba = start_lba + sector_count - 1, or 2^48
// for the open-ended size. On failure the source stays closed and failure (when
// given) says why, so a missing permission can be told apart.
bool OpenDevice(const SourceLocation& volume, CSectorSource& source,
                platform::SourceOpenResult* failure = nullptr);

// Opens a disk-image file (or any readable device path by its own size).
bool OpenImage(const std::string& path, CSectorSource& source,
               platform::SourceOpenResult* failure = nullptr);

// Reads count sectors at lba into dest (at least count * 512 bytes). dest is
// zero-filled first; a read past lastLba is cut there. Returns true only when
// every (possibly cut) byte was read. A request above 256 MiB is refused
// before dest is touched. A zero count reads nothing and succeeds.
bool ReadSectors(uint32_t count, CSectorSource& source, void* dest, uint64_t lba);

// ReadSectors in pieces of piece_sectors, so that another thread can examine
// the start of dest while the rest is still being read: after each piece
// on_piece(sectors) says how many sectors from the start of dest are final
// (read, or zeros). Every sector up to count is published before it returns,
// also when a piece failed. The read-error counters see one read of the whole
// (cut) request, as if ReadSectors had been called once.
using PieceReady = std::function<void(uint32_t sectors_ready)>;
bool ReadSectorsInPieces(uint32_t count, uint32_t piece_sectors, CSectorSource& source, void* dest, uint64_t lba,
                         const PieceReady& on_piece);

// Size of the opened object in bytes; 0 when it cannot be learnt.
uint64_t GetSourceSize(const CSectorSource& source);

// Closes the handle; the source can be opened again.
void CloseSource(CSectorSource& source);

// Read-error counters, process-wide. Mode 0: nothing is counted; 1: only reads
// of exactly 16384 sectors (deep scan); 2: every read that reaches the device
// (export). Refused reads beyond lastLba are never counted.
void SetReadErrorMode(int mode);
int ReadErrorMode();
void ZeroReadCounters();
uint32_t ReadCount();
uint32_t ReadErrorCount();

}  // namespace trovium
