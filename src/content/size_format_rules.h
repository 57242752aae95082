#pragma once
// The size rules of carved files, one per format family (each in its own
// size_<family>.cpp). They walk the format's own structure from the file's
// first byte and answer pending (3), sized (4, state.size set) or invalid (5);
// determine_size picks them by type code from the table in size_rules.cpp.
// Every rule keeps its progress in the state, so a rule that answered pending
// continues where it stopped when run again with the carve window.

#include <cstdint>

#include "content/carve.h"

namespace trovium {

uint32_t SizeOle2(const CarveBuffer& buffer, CarveState& state);        // 36, refines the type
uint32_t SizeOoxml(const CarveBuffer& buffer, CarveState& state);       // 37, refines the type
uint32_t SizeZip(const CarveBuffer& buffer, CarveState& state);         // 61
uint32_t SizeChm(const CarveBuffer& buffer, CarveState& state);         // 39
uint32_t SizeWinHelp(const CarveBuffer& buffer, CarveState& state);     // 41
uint32_t SizeJpeg(const CarveBuffer& buffer, CarveState& state);        // 46
uint32_t SizeBmp(const CarveBuffer& buffer, CarveState& state);         // 48
uint32_t SizeTiff(const CarveBuffer& buffer, CarveState& state);        // 49, refines the type
uint32_t SizeWave(const CarveBuffer& buffer, CarveState& state);        // 53
uint32_t SizeAvi(const CarveBuffer& buffer, CarveState& state);         // 73
uint32_t SizeMp3(const CarveBuffer& buffer, CarveState& state);         // 54
uint32_t SizeRar(const CarveBuffer& buffer, CarveState& state);         // 62
uint32_t SizeFlv(const CarveBuffer& buffer, CarveState& state);         // 64
uint32_t SizeRealMedia(const CarveBuffer& buffer, CarveState& state);   // 66
uint32_t SizeQuickTime(const CarveBuffer& buffer, CarveState& state);   // 67, 68, 69, 71, 72, 202
uint32_t SizeMpegPs(const CarveBuffer& buffer, CarveState& state);      // 82
uint32_t SizeMatroska(const CarveBuffer& buffer, CarveState& state);    // 86
uint32_t SizeAsf(const CarveBuffer& buffer, CarveState& state);         // 108

// Length in bytes of the MPEG audio frame whose header is b[0..3], 0 when the
// four bytes are no valid frame header.
uint32_t MpegAudioFrameLength(const uint8_t header[4]);

}  // namespace trovium
