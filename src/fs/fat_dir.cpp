#include "fs/fat_dir.h"

#include <array>

#include "core/text_convert.h"
#include "store/volume_record.h"

namespace trovium {

namespace {

constexpr uint8_t kAttrLongName = 0x0F;
constexpr uint8_t kAttrLabel = 0x08;
constexpr uint8_t kAttrSystem = 0x04;
constexpr uint8_t kAttrDir = 0x10;
constexpr uint8_t kDeletedMark = 0xE5;
constexpr uint8_t kLastLongPart = 0x40;
constexpr size_t kMaxLongParts = 20;
constexpr size_t kCharsPerPart = 13;
constexpr size_t kMaxLongChars = kMaxLongParts * kCharsPerPart;  // 260
// Offsets of the 13 UTF-16 characters of a long-name entry.
constexpr std::array<uint8_t, kCharsPerPart> kLongCharAt = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};

// Collects the characters of a long name; no heap until the name is made.
struct LongName {
  std::array<uint16_t, kMaxLongChars> units{};
  bool used = false;

  void Clear() {
    units.fill(0xFFFF);
    used = false;
  }
  // Part number k (1-based) holds characters (k - 1) * 13 .. k * 13 - 1.
  void Put(ByteView entry, size_t part) {
    if (part == 0 || part > kMaxLongParts) return;
    for (size_t i = 0; i < kCharsPerPart; ++i) units[(part - 1) * kCharsPerPart + i] = entry.le16_or0(kLongCharAt[i]);
    used = true;
  }
  std::string Text() const {
    size_t n = 0;
    while (n < kMaxLongChars && units[n] != 0 && units[n] != 0xFFFF) ++n;
    return Utf16ToUtf8(units.data(), n);
  }
};

bool IsShortEntry(ByteView e) {
  const uint8_t attr = e.u8_or0(11);
  return attr != kAttrLongName && e.u8_or0(0) != 0;
}

// Makes the record of a short entry (with or without a long name) and hands it over.
// A byte that can stand in a stored 8.3 name (upper-case ASCII, digits, the
// allowed punctuation, or a byte of a code-page character).
bool IsShortNameByte(uint8_t c) {
  if (c < 0x20) return false;
  switch (c) {
    case '"': case '*': case '+': case ',': case '.': case '/': case ':': case ';':
    case '<': case '=': case '>': case '?': case '[': case '\\': case ']': case '|': case 0x7F:
      return false;
    default: return c < 'a' || c > 'z';
  }
}

// Stored name of a short entry made by a file system, not left-over bytes:
// a non-blank first character, name bytes only, and blanks only as padding.
bool IsPlausibleShortName(ByteView e) {
  bool padding = false;
  for (size_t i = 0; i < 11; ++i) {
    uint8_t c = e.u8_or0(i);
    if (i == 8) padding = false;
    if (i == 0 && (c == kDeletedMark || c == 0x05)) continue;
    if (c == ' ') {
      if (i == 0) return false;
      padding = true;
      continue;
    }
    if (padding || !IsShortNameByte(c)) return false;
  }
  return true;
}

bool EmitEntry(ByteView e, const std::string& long_name, bool fat32_clusters, uint32_t parent,
               const FatRecordSink& sink) {
  const uint8_t attr = e.u8_or0(11);
  if (attr == kAttrLabel) return false;
  // Attribute 0 is a plain file whose archive bit was cleared (backup tools
  // do that); only a well-formed short name tells it from left-over bytes.
  if (attr == 0x00 && !IsPlausibleShortName(e)) return false;
  const bool deleted = e.u8_or0(0) == kDeletedMark;
  FileRecord r;
  r.name = long_name.empty() ? FatShortName(e) : long_name;
  if (r.name.empty() || r.name == "." || r.name == "..") return false;
  r.parent = parent;
  r.size = e.le32_or0(28);
  r.ctime = FatDosTime(e.le16_or0(16), e.le16_or0(14));
  r.mtime = FatDosTime(e.le16_or0(24), e.le16_or0(22));
  uint32_t cluster = e.le16_or0(26);
  if (fat32_clusters) cluster = ((uint32_t{e.le16_or0(20)} << 16) | cluster) & 0x0FFFFFFF;
  r.run_info = cluster;
  const bool dir = (attr & kAttrDir) != 0;
  r.set_state(dir ? (deleted ? kStateDeletedDir : kStateDir) : (deleted ? kStateDeletedFile : kStateFile));
  if (dir) r.type_code = kFatDirTypeCode;
  if ((attr & kAttrSystem) && CompareNoCase(13, r.name, "$RECYCLE.BIN") == 0) {
    r.name = kRecycleBinName;
    r.set_state(kStateDeletedDir);
    r.type_code = kFatDirTypeCode;
  }
  if (sink) sink(r);
  return true;
}

}  // namespace

std::string FatShortName(ByteView e) {
  std::array<char, 8> base{};
  std::array<char, 3> ext{};
  if (!e.bytes(0, base.data(), 8) || !e.bytes(8, ext.data(), 3)) return {};
  const uint8_t first = static_cast<uint8_t>(base[0]);
  if (first == kDeletedMark) base[0] = '!';
  else if (first == 0x05) base[0] = static_cast<char>(0xE5);  // a real first byte 0xE5 is stored as 0x05
  size_t base_len = 0;
  while (base_len < 8 && base[base_len] != ' ') ++base_len;
  size_t ext_len = 0;
  while (ext_len < 3 && ext[ext_len] != ' ') ++ext_len;
  // Lower case is applied after decoding: the ASCII range never occurs inside
  // a decoded multi-byte character, but may inside a CP936 pair.
  const uint8_t case_flags = e.u8_or0(12);
  std::string name = AnsiToUtf8(std::string_view(base.data(), base_len));
  if (case_flags & 0x08) name = ToLowerAscii(name);
  if (ext_len > 0) {
    std::string extension = AnsiToUtf8(std::string_view(ext.data(), ext_len));
    if (case_flags & 0x10) extension = ToLowerAscii(extension);
    name += '.';
    name += extension;
  }
  return name;
}

uint8_t FatShortNameChecksum(ByteView name11) {
  uint8_t sum = 0;
  for (size_t i = 0; i < 11; ++i) sum = static_cast<uint8_t>(((sum & 1) << 7) + (sum >> 1) + name11.u8_or0(i));
  return sum;
}

PackedTime FatDosTime(uint16_t date, uint16_t time) {
  if (date == 0) return 0;
  return PackTime(1980 + (date >> 9), (date >> 5) & 0x0F, date & 0x1F, time >> 11, (time >> 5) & 0x3F,
                  (time & 0x1F) * 2);
}

bool HasFatDotEntries(ByteView first) {
  return first.matches(0, ".          ", 11) && first.matches(32, "..         ", 11);
}

uint32_t ParseFatDirectory(ByteView dir, bool fat32_clusters, uint32_t parent, const FatRecordSink& sink) {
  const size_t count = dir.size() / kFatEntryBytes;
  auto entry = [&](size_t i) { return dir.sub(i * kFatEntryBytes, kFatEntryBytes); };
  LongName long_name;
  uint32_t emitted = 0;
  size_t i = 0;
  while (i < count) {
    const ByteView e = entry(i);
    const uint8_t b0 = e.u8_or0(0);
    if (b0 == 0) break;
    if (e.u8_or0(11) != kAttrLongName) {
      emitted += EmitEntry(e, {}, fat32_clusters, parent, sink);
      ++i;
      continue;
    }
    long_name.Clear();
    if (b0 == kDeletedMark) {
      // Deletion overwrote the sequence bytes: the run is taken in disk order,
      // the first entry holding the last characters.
      size_t j = i;
      while (j < count && entry(j).u8_or0(0) == kDeletedMark && entry(j).u8_or0(11) == kAttrLongName) ++j;
      const size_t parts = j - i;
      if (j < count && entry(j).u8_or0(0) == kDeletedMark && IsShortEntry(entry(j))) {
        // Keep the 20 parts nearest the short entry (260 characters).
        const size_t first = parts > kMaxLongParts ? j - kMaxLongParts : i;
        const size_t kept = j - first;
        for (size_t k = first; k < j; ++k) long_name.Put(entry(k), kept - (k - first));
        emitted += EmitEntry(entry(j), long_name.Text(), fat32_clusters, parent, sink);
        i = j + 1;
      } else {
        // Not followed by its short entry: the parts belong to nothing we can
        // name; the entries after them are still read.
        i = j;
      }
      continue;
    }
    // An existing long name: parts n .. 1, then the short entry with a matching checksum.
    const uint8_t n = b0 & 0x3F;
    if (!(b0 & kLastLongPart) || n == 0 || n > kMaxLongParts) {
      ++i;
      continue;
    }
    const uint8_t checksum = e.u8_or0(13);
    size_t j = i;
    uint8_t expected = n;
    bool intact = true;
    while (expected > 0) {
      if (j >= count) {
        intact = false;
        break;
      }
      const ByteView part = entry(j);
      const uint8_t seq = j == i ? (part.u8_or0(0) & 0x3F) : part.u8_or0(0);
      if (part.u8_or0(11) != kAttrLongName || seq != expected || part.u8_or0(13) != checksum) {
        intact = false;
        break;
      }
      long_name.Put(part, expected);
      --expected;
      ++j;
    }
    if (intact && j < count) {
      const ByteView s = entry(j);
      const uint8_t s0 = s.u8_or0(0);
      if (s0 != 0 && s0 != kDeletedMark && s.u8_or0(11) != kAttrLongName && s.u8_or0(11) != kAttrLabel &&
          FatShortNameChecksum(s.sub(0, 11)) == checksum) {
        emitted += EmitEntry(s, long_name.Text(), fat32_clusters, parent, sink);
        i = j + 1;
        continue;
      }
    }
    // The parts do not fit: skip them; the entry that broke the run is read on its own.
    i = j > i ? j : i + 1;
  }
  return emitted;
}

bool FatLabelFromRootSector(ByteView sector, std::string& label) {
  for (size_t at = 0; at + kFatEntryBytes <= sector.size() && at < 512; at += kFatEntryBytes) {
    const uint8_t b0 = sector.u8_or0(at);
    if (b0 == 0) break;
    if (b0 == kDeletedMark || sector.u8_or0(at + 11) != kAttrLabel) continue;
    std::array<char, 11> name{};
    sector.bytes(at, name.data(), 11);
    size_t len = 11;
    while (len > 0 && (name[len - 1] == ' ' || name[len - 1] == 0)) --len;
    label = AnsiToUtf8(std::string_view(name.data(), len));
    return true;
  }
  return false;
}

}  // namespace trovium
