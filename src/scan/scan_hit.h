#pragma once
// One finding of the deep scan: what lies at a sector (a file type, a video
// fragment kind or a file-system structure), how its size step ended, and a
// payload that depends on the kind.

#include <cstdint>

namespace trovium {

struct ScanHit {
  uint8_t kind = 238;    // FileTypeCode or StructKind; 238 a cancelled hit
  uint8_t sub = 0;       // file hits: low byte of the carve status; structures: 0
  uint64_t lba = 0;      // absolute LBA of the sector
  // File hits: size in bytes (a video record for 201 and 203). Structures: a
  // managed sector copy (boot sectors, partition tables), the record summary
  // (224), the owning directory's record number (225), or the "." and ".."
  // start clusters (231, low and high 32 bits).
  uint64_t payload = 0;
};

// The saved form is 18 bytes: kind, sub, lba and payload, little-endian, packed.
inline constexpr uint32_t kScanHitPackedBytes = 18;

// Kinds whose payload is a managed 512-byte copy of the sector.
inline bool HitKeepsSectorCopy(uint8_t kind) {
  return kind == 221 || kind == 222 || kind == 223 || kind == 226 || kind == 228 || kind == 233;
}

}  // namespace trovium
