#include "fs/gpt.h"

#include <algorithm>
#include <vector>

#include "fs/mbr.h"

namespace trovium {

namespace {

constexpr uint32_t kMinEntryBytes = 128;
constexpr uint32_t kMaxEntryBytes = 4096;

bool IsGptHeader(ByteView h) {
  if (!h.matches(0, "EFI PART", 8)) return false;
  const uint32_t header_bytes = h.le32_or0(12);
  const uint32_t entry_bytes = h.le32_or0(84);
  return header_bytes >= 92 && header_bytes <= kSectorBytes && entry_bytes >= kMinEntryBytes &&
         entry_bytes <= kMaxEntryBytes && entry_bytes % 8 == 0 && h.le32_or0(80) != 0;
}

bool ReadEntriesOf(CSectorSource& source, ByteView header, std::vector<TablePartition>& out) {
  if (!IsGptHeader(header)) return false;
  const uint64_t entries_lba = header.le64_or0(72);
  const uint64_t count = std::min<uint64_t>(header.le32_or0(80), kMaxGptEntries);
  const uint64_t bytes = count * header.le32_or0(84);
  const uint64_t sectors = (bytes + kSectorBytes - 1) / kSectorBytes;
  std::vector<uint8_t> entries(sectors * kSectorBytes);
  if (!ReadSectors(static_cast<uint32_t>(sectors), source, entries.data(), entries_lba)) return false;
  return ParseGptEntries(header, ByteView(entries.data(), entries.size()), out);
}

}  // namespace

bool IsProtectiveMbr(ByteView mbr) {
  std::array<MbrEntry, 4> entries;
  if (!ReadMbrEntries(mbr, entries)) return false;
  return std::any_of(entries.begin(), entries.end(), [](const MbrEntry& e) { return e.type == 0xEE; });
}

bool ParseGptEntries(ByteView header, ByteView entries, std::vector<TablePartition>& out) {
  if (!IsGptHeader(header)) return false;
  const size_t entry_bytes = header.le32_or0(84);
  const size_t count = std::min<size_t>(header.le32_or0(80), kMaxGptEntries);
  static const uint8_t kUnused[16] = {};
  for (size_t i = 0; i < count; ++i) {
    ByteView e = entries.sub(i * entry_bytes, entry_bytes);
    if (e.empty()) break;
    if (e.matches(0, kUnused, sizeof kUnused)) continue;
    const uint64_t first = e.le64_or0(32);
    const uint64_t last = e.le64_or0(40);  // inclusive
    if (first == 0 || last < first || last == UINT64_MAX) continue;
    out.push_back(TablePartition{first, last - first + 1, 0, false});
  }
  return true;
}

bool ReadGptPartitions(CSectorSource& source, std::vector<TablePartition>& out) {
  uint8_t header[kSectorBytes];
  if (ReadSectors(1, source, header, 1) && ReadEntriesOf(source, ByteView(header, sizeof header), out)) return true;
  // The backup header sits in the last sector of the disk.
  const uint64_t size = GetSourceSize(source);
  if (size < 2 * kSectorBytes) return false;
  return ReadSectors(1, source, header, size / kSectorBytes - 1) &&
         ReadEntriesOf(source, ByteView(header, sizeof header), out);
}

}  // namespace trovium
