#include "fs/exfat_dir.h"

#include <array>

#include "core/text_convert.h"
#include "fs/fat_dir.h"

namespace trovium {

namespace {

constexpr size_t kEntryBytes = 32;
constexpr size_t kNameChars = 15;
constexpr size_t kMaxNameUnits = 259;
constexpr uint8_t kInUse = 0x80;
constexpr uint8_t kSecondary = 0x40;

PackedTime ExfatTime(uint32_t stamp) {
  return FatDosTime(static_cast<uint16_t>(stamp >> 16), static_cast<uint16_t>(stamp & 0xFFFF));
}

// The set being gathered; names stay in a fixed array until the set is complete.
struct PendingSet {
  bool open = false;
  uint32_t remaining = 0;
  bool deleted = false;
  bool dir = false;
  bool has_stream = false;
  uint32_t name_length = 0;  // from the stream; 0 when none was given
  PackedTime ctime = 0, mtime = 0;
  ExfatStream stream;
  std::array<uint16_t, kMaxNameUnits> units{};
  size_t unit_count = 0;
};

}  // namespace

uint32_t ParseExfatDirectory(ByteView dir, uint32_t parent, const ExfatRecordSink& sink) {
  PendingSet set;
  uint32_t emitted = 0;
  for (size_t at = 0; at + kEntryBytes <= dir.size(); at += kEntryBytes) {
    const ByteView e = dir.sub(at, kEntryBytes);
    const uint8_t type = e.u8_or0(0);
    if (type == 0x00) break;
    if (type == 0x85 || type == 0x05) {
      set = PendingSet{};
      set.open = true;
      set.remaining = e.u8_or0(1);
      set.deleted = type == 0x05;
      set.dir = (e.le16_or0(4) & 0x10) != 0;
      set.ctime = ExfatTime(e.le32_or0(8));
      set.mtime = ExfatTime(e.le32_or0(12));
      continue;
    }
    if (!set.open) continue;
    if ((type & kSecondary) == 0) {
      // A primary entry before the set was complete: the set is broken.
      set.open = false;
      continue;
    }
    const uint8_t code = type | kInUse;
    if (code == 0xC0) {
      set.has_stream = true;
      set.stream.no_fat_chain = (e.u8_or0(1) & 0x02) != 0;
      set.name_length = e.u8_or0(3);
      set.stream.valid_length = e.le64_or0(8);
      set.stream.first_cluster = e.le32_or0(20);
      set.stream.data_length = e.le64_or0(24);
    } else if (code == 0xC1) {
      for (size_t k = 0; k < kNameChars && set.unit_count < set.units.size(); ++k)
        set.units[set.unit_count++] = e.le16_or0(2 + 2 * k);
    }
    // Every secondary entry counts, vendor extensions too.
    if (set.remaining > 0) --set.remaining;
    if (set.remaining != 0) continue;
    set.open = false;
    if (!set.has_stream || set.unit_count == 0) continue;
    size_t n = set.unit_count;
    if (set.name_length != 0 && set.name_length < n) n = set.name_length;
    for (size_t k = 0; k < n; ++k)
      if (set.units[k] == 0) n = k;
    if (n == 0) continue;
    FileRecord r;
    r.name = Utf16ToUtf8(set.units.data(), n);
    r.parent = parent;
    r.size = set.stream.valid_length;
    r.ctime = set.ctime;
    r.mtime = set.mtime;
    r.run_info = set.stream.first_cluster;
    r.set_state(set.dir ? (set.deleted ? kStateDeletedDir : kStateDir) : (set.deleted ? kStateDeletedFile : kStateFile));
    if (set.dir) r.type_code = kFatDirTypeCode;
    if (set.stream.no_fat_chain) r.flags |= kExfatFlagNoFatChain;
    if (sink) sink(r, set.stream);
    ++emitted;
  }
  return emitted;
}

bool ExfatLabelFromDirectory(ByteView dir, std::string& label) {
  for (size_t at = 0; at + kEntryBytes <= dir.size(); at += kEntryBytes) {
    const uint8_t type = dir.u8_or0(at);
    if (type == 0x00) break;
    if (type != 0x83) continue;
    const uint8_t count = dir.u8_or0(at + 1);
    if (count >= 16) continue;
    label = Utf16LeToUtf8(dir.sub(at + 2, std::min<size_t>(count, 15) * 2));
    return true;
  }
  return false;
}

}  // namespace trovium
