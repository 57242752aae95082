// TIFF-based photos (TIFF, camera raw) sized by walking the image file
// directories and the data they point at; the camera maker names the type.
// Directory offsets come from the device: each directory is walked once
// (SubIFD and Exif pointers may point back), nesting is shallow and the
// number of directories is capped. Counts times element sizes are 64-bit and
// every range that is read is checked against the bytes read.

#include <algorithm>
#include <string_view>
#include <vector>

#include "content/file_type_table.h"
#include "content/size_format_rules.h"
#include "content/size_rule_read.h"

namespace trovium {
namespace {

constexpr uint32_t kTiffRead = 0x3800000;       // 56 MiB: always served by the carve window
constexpr uint64_t kMinTiffSize = 0x200000;     // smaller files are thumbnails, not photos
constexpr uint32_t kMaxSubDirectoryDepth = 4;
constexpr uint32_t kMaxDirectories = 64;
constexpr uint32_t kMaxEntries = 512;

enum : uint16_t {
  kTagMake = 271, kTagStripOffsets = 273, kTagStripByteCounts = 279, kTagTileOffsets = 324,
  kTagTileByteCounts = 325, kTagSubIfds = 330, kTagJpegOffset = 513, kTagJpegLength = 514, kTagExifIfd = 34665,
};

struct Maker {
  std::string_view name;
  uint32_t code;
};
constexpr Maker kMakers[] = {
    {"Canon", kFileTypeCr2},   {"NIKON", kFileTypeNef},         {"PENTAX", kFileTypePef},
    {"SONY", kFileTypeSr2},    {"OLYMPUS", kFileTypeOrf},       {"Panasonic", kFileTypeRaw},
    {"SAMSUNG", kFileTypeDng}, {"Mamiya", kFileTypeMef},
};

uint64_t TypeSize(uint16_t type) {
  switch (type) {
    case 3: case 8: return 2;
    case 4: case 9: case 11: return 4;
    case 5: case 10: case 12: return 8;
    default: return (type >= 1 && type <= 12) ? 1 : 0;
  }
}

struct Entry {
  uint16_t type = 0;
  uint32_t count = 0;
  uint64_t value_at = 0;  // position of the 4-byte value field
  bool present = false;
};

class TiffWalker {
 public:
  TiffWalker(const ByteView& v, bool big_endian) : v_(v), big_endian_(big_endian) {}

  void Walk() { WalkChain(U32(4), 0); }
  uint64_t extent() const { return extent_; }

  uint32_t MakerCode() const {
    const std::string_view make(reinterpret_cast<const char*>(make_.data()), make_.size());
    for (const Maker& m : kMakers) {
      if (make.find(m.name) != std::string_view::npos) return m.code;
    }
    return kFileTypeRaw;
  }

 private:
  uint16_t U16(uint64_t at) const {
    uint16_t x = 0;
    big_endian_ ? (void)Be16(v_, at, x) : (void)v_.le16(at, x);
    return x;
  }
  uint32_t U32(uint64_t at) const {
    uint32_t x = 0;
    big_endian_ ? (void)Be32(v_, at, x) : (void)v_.le32(at, x);
    return x;
  }
  bool Fits(uint64_t at, uint64_t len) const { return v_.has(at, len); }

  // Where an entry's values are: inline when they fit the 4-byte field.
  bool ValuesAt(const Entry& e, uint64_t element_size, uint64_t& at) const {
    const uint64_t bytes = uint64_t{e.count} * element_size;
    at = bytes <= 4 ? e.value_at : U32(e.value_at);
    return Fits(at, bytes);
  }

  // The last value of a SHORT or LONG array.
  bool LastValue(const Entry& e, uint64_t& out) const {
    const uint64_t size = TypeSize(e.type);
    uint64_t at = 0;
    if (e.count == 0 || (size != 2 && size != 4) || !ValuesAt(e, size, at)) return false;
    const uint64_t last = at + (uint64_t{e.count} - 1) * size;
    out = size == 2 ? U16(last) : U32(last);
    return true;
  }

  void RaiseByData(const Entry& offsets, const Entry& lengths, bool single) {
    if (!offsets.present || !lengths.present) return;
    uint64_t start = 0, length = 0;
    if (single) {
      start = U32(offsets.value_at);
      length = U32(lengths.value_at);
    } else if (!LastValue(offsets, start) || !LastValue(lengths, length)) {
      return;
    }
    // The data itself is not read, but it must start inside what was read.
    if (start > v_.size()) return;
    extent_ = std::max(extent_, start + length);
  }

  void WalkChain(uint64_t at, uint32_t depth) {
    while (Fits(at, 2)) {
      if (directories_ >= kMaxDirectories ||
          std::find(visited_.begin(), visited_.end(), at) != visited_.end()) {
        return;
      }
      visited_.push_back(at);
      ++directories_;
      const uint32_t n = U16(at);
      if (n < 1 || n > kMaxEntries) return;
      const uint64_t end = at + 2 + 12ull * n;
      if (end > v_.size()) return;
      extent_ = std::max(extent_, end);
      Entry strips, strip_lengths, tiles, tile_lengths, jpeg, jpeg_length;
      std::vector<uint64_t> subs;
      for (uint32_t k = 0; k < n; ++k) {
        const uint64_t e = at + 2 + 12ull * k;
        const uint16_t tag = U16(e);
        Entry entry{U16(e + 2), U32(e + 4), e + 8, true};
        const uint64_t bytes = uint64_t{entry.count} * TypeSize(entry.type);
        if (bytes > 4) {
          const uint64_t value = U32(e + 8);
          if (!Fits(value, bytes)) return;  // data beyond the bytes read ends the directory
          extent_ = std::max(extent_, value + bytes);
        }
        switch (tag) {
          case kTagMake:
            if (!have_make_) {
              have_make_ = true;
              make_ = v_.sub(bytes <= 4 ? e + 8 : U32(e + 8), std::min<uint64_t>(bytes, entry.count));
            }
            break;
          case kTagStripOffsets: strips = entry; break;
          case kTagStripByteCounts: strip_lengths = entry; break;
          case kTagTileOffsets: tiles = entry; break;
          case kTagTileByteCounts: tile_lengths = entry; break;
          case kTagJpegOffset: jpeg = entry; break;
          case kTagJpegLength: jpeg_length = entry; break;
          case kTagSubIfds:
          case kTagExifIfd:
            if (entry.count >= 1 && entry.count <= kMaxEntries && depth < kMaxSubDirectoryDepth) {
              const uint64_t size = TypeSize(entry.type) == 2 ? 2 : 4;
              uint64_t values = 0;
              if (ValuesAt(entry, size, values)) {
                for (uint32_t i = 0; i < entry.count; ++i) {
                  subs.push_back(size == 2 ? U16(values + 2ull * i) : U32(values + 4ull * i));
                }
              }
            }
            break;
          default: break;
        }
      }
      RaiseByData(strips, strip_lengths, false);
      RaiseByData(jpeg, jpeg_length, true);
      RaiseByData(tiles, tile_lengths, false);
      for (const uint64_t sub : subs) WalkChain(sub, depth + 1);
      if (!Fits(end, 4)) return;
      const uint64_t next = U32(end);
      if (next == 0 || next <= end) return;  // chains only run forward
      at = next;
    }
  }

  const ByteView& v_;
  const bool big_endian_;
  uint64_t extent_ = 8;
  uint32_t directories_ = 0;
  std::vector<uint64_t> visited_;
  bool have_make_ = false;
  ByteView make_;
};

}  // namespace

uint32_t SizeTiff(const CarveBuffer& buffer, CarveState& state) {
  ByteView v;
  const uint32_t r = ReadCarveAt(buffer, state, 0, kTiffRead, v);
  if (r != kCarveReadDone) return ReadFailure(r);
  if (v.matches(0, "MM", 2)) state.big_endian = 1;
  if (v.matches(0, "II", 2)) state.big_endian = 0;
  TiffWalker walker(v, state.big_endian != 0);
  walker.Walk();
  if (walker.extent() < kMinTiffSize) return kCarveInvalid;
  state.code = walker.MakerCode();
  return CarveSized(state, walker.extent());
}

}  // namespace trovium
