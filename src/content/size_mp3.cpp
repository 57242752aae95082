// MP3 sized by a walk over its ID3v2 tag, the MPEG audio frames and the
// trailing ID3v1 ("TAG") and APE tags.

#include "content/size_format_rules.h"
#include "content/size_rule_read.h"

namespace trovium {
namespace {

// Bitrates in kbit/s by bitrate index. Index 0 ("free") and index 15 (not
// allowed) are refused before the tables are read, but the tables keep all 16
// slots so that no index can read past them.
constexpr uint16_t kBitrateV1[3][16] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},  // layer I
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},     // layer II
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},      // layer III
};
// MPEG-2 and MPEG-2.5 share these.
constexpr uint16_t kBitrateV2[3][16] = {
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
};
// Sample rates by version bits (00 MPEG-2.5, 10 MPEG-2, 11 MPEG-1) and index.
constexpr uint32_t kSampleRate[4][3] = {
    {11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};

constexpr uint32_t kMaxId3Size = 0xA00000;

}  // namespace

uint32_t MpegAudioFrameLength(const uint8_t h[4]) {
  if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return 0;
  const uint32_t version = (h[1] >> 3) & 3;
  const uint32_t layer_bits = (h[1] >> 1) & 3;
  const uint32_t rate_index = (h[2] >> 2) & 3;
  const uint32_t bitrate_index = (h[2] >> 4) & 15;
  if (version == 1 || layer_bits == 0 || rate_index == 3 || bitrate_index == 0 || bitrate_index == 15) return 0;
  const uint32_t layer = 4 - layer_bits;  // 1, 2 or 3
  const bool mpeg1 = version == 3;
  const uint64_t kbps = (mpeg1 ? kBitrateV1 : kBitrateV2)[layer - 1][bitrate_index];
  const uint64_t rate = kSampleRate[version][rate_index];
  const uint64_t padding = (h[2] >> 1) & 1;
  if (layer == 1) return static_cast<uint32_t>((12 * kbps * 1000 / rate + padding) * 4);
  const uint64_t coefficient = (layer == 3 && !mpeg1) ? 72 : 144;
  return static_cast<uint32_t>(coefficient * kbps * 1000 / rate + padding);
}

uint32_t SizeMp3(const CarveBuffer& buffer, CarveState& state) {
  for (;;) {
    ByteView b;
    const uint32_t r = ReadCarveAt(buffer, state, state.offset, 64, b);
    if (r != kCarveReadDone) return ReadFailure(r);
    if (state.phase == 0) {
      const uint8_t version = b.u8_or0(3);
      if (!b.matches(0, "ID3", 3) || version < 2 || version > 4) return kCarveInvalid;
      // 28-bit sync-safe size: 7 bits per byte, most significant first.
      uint32_t tag_size = 0;
      for (int i = 6; i < 10; ++i) tag_size = (tag_size << 7) | (b.u8_or0(i) & 0x7F);
      if (tag_size > kMaxId3Size) return kCarveInvalid;
      state.offset += uint64_t{tag_size} + 10;
      state.phase = 1;
      continue;
    }
    uint64_t step = 0;
    uint8_t header[4] = {};
    b.bytes(0, header, 4);
    if (b.matches(0, "APETAGEX", 8)) {
      // The first APE block met is the tag's header: skip to its footer,
      // which is then stepped over as one more 32-byte block.
      if (state.phase == 1) {
        state.phase = 2;
        step = b.le32_or0(12);
      } else {
        step = 32;
      }
    } else if (b.matches(0, "TAG", 3)) {
      step = 128;
    } else if (const uint32_t frame = MpegAudioFrameLength(header); frame != 0) {
      step = frame;
    } else {
      if (state.count > 10) return CarveSized(state, state.offset);
      return kCarveInvalid;
    }
    state.size = state.offset;
    ++state.count;
    state.offset += step;
  }
}

}  // namespace trovium
