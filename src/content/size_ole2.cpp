// OLE2 compound files: sized from the sector allocation table, typed by the
// stream names of the directory. Every sector number and chain comes from the
// device, so each is checked against the bytes read: a table sector met twice
// or a directory chain that loops is invalid, and no work array is larger
// than the bytes read can fill.

#include <string_view>
#include <vector>

#include "content/file_type_table.h"
#include "content/size_format_rules.h"
#include "content/size_rule_read.h"

namespace trovium {
namespace {

constexpr uint32_t kReadGrowth = 0x800000;
constexpr uint64_t kMaxTableEntries = 1024000;
constexpr uint64_t kMaxDirectoryLinks = 4096000;
constexpr uint64_t kSectorLimitBytes = 128ull << 20;  // no sector of a carved file lies beyond
constexpr uint32_t kHeaderFatEntries = 109;
constexpr int32_t kFreeSector = -1;

struct Ole2Names {
  std::u16string_view name;
  uint32_t code;
};

// The first directory entry with one of these names decides the type.
constexpr Ole2Names kStreamTypes[] = {
    {u"WordDocument", kFileTypeDoc},        {u"Workbook", kFileTypeXls},  {u"Book", kFileTypeXls},
    {u"Props", kFileTypeMpp},               {u"VisioDocument", kFileTypeVsd},
    {u"PowerPoint Document", kFileTypePpt}, {u"Pictures", kFileTypePpt},
};

class Ole2Evaluator {
 public:
  Ole2Evaluator(const ByteView& v, CarveState& state) : v_(v), state_(state), seen_(v.size() / 512, 0) {}

  uint32_t Run() {
    if (!v_.matches(0, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)) return kCarveInvalid;
    uint32_t r = CollectTableSectors();
    if (r != kCarveReadDone) return r;
    r = ReadTable();
    if (r != kCarveReadDone) return r;
    const uint64_t size = TableExtent();
    r = TypeFromDirectory();
    if (r != kCarveReadDone) return r;
    return CarveSized(state_, size);
  }

 private:
  int32_t I32(size_t at) const { return static_cast<int32_t>(v_.le32_or0(at)); }
  static uint64_t SectorStart(int32_t n) { return (static_cast<uint64_t>(n) + 1) * 512; }

  // Where sector n lies: 1 when inside the bytes read, 3 beyond them, 5 when
  // it cannot be a sector of this file.
  uint32_t Locate(int32_t n) const {
    if (n < 0 || SectorStart(n) + 512 > kSectorLimitBytes) return kCarveInvalid;
    if (!v_.has(SectorStart(n), 512)) return kCarvePending;
    return kCarveReadDone;
  }

  // A sector used a second time as a table or extension sector means a loop.
  uint32_t Claim(int32_t n) {
    const uint32_t r = Locate(n);
    if (r != kCarveReadDone) return r;
    uint8_t& seen = seen_[static_cast<size_t>(n)];
    if (seen) return kCarveInvalid;
    seen = 1;
    return kCarveReadDone;
  }

  uint32_t AddTableSector(int32_t n) {
    if (table_sectors_.size() + 1 >= kMaxTableEntries) return kCarveInvalid;
    const uint32_t r = Claim(n);
    if (r == kCarveReadDone) table_sectors_.push_back(n);
    return r;
  }

  uint32_t CollectTableSectors() {
    for (uint32_t k = 0; k < kHeaderFatEntries; ++k) {
      const int32_t n = I32(76 + 4 * k);
      if (n < 0) break;
      const uint32_t r = AddTableSector(n);
      if (r != kCarveReadDone) return r;
    }
    // Extension sectors: 127 entries and the link to the next. Each must be a
    // distinct sector inside the bytes read, so the count cannot make us loop.
    const uint32_t extension_count = v_.le32_or0(72);
    int32_t next = I32(68);
    for (uint32_t i = 0; i < extension_count; ++i) {
      uint32_t r = Claim(next);
      if (r != kCarveReadDone) return r;
      const size_t base = SectorStart(next);
      for (uint32_t k = 0; k < 127; ++k) {
        const int32_t n = I32(base + 4 * k);
        if (n == kFreeSector) continue;
        r = AddTableSector(n);
        if (r != kCarveReadDone) return r;
      }
      next = I32(base + 508);
    }
    return kCarveReadDone;
  }

  uint32_t ReadTable() {
    const uint64_t count = table_sectors_.size();
    if (count != v_.le32_or0(44) || count * 128 > kMaxTableEntries) return kCarveInvalid;
    table_.resize(count * 128);
    const int64_t entries = static_cast<int64_t>(table_.size());
    for (uint64_t s = 0; s < count; ++s) {
      const size_t base = SectorStart(table_sectors_[s]);
      for (uint32_t k = 0; k < 128; ++k) {
        const int32_t e = I32(base + 4 * k);
        // -1 free, -2 end of chain, -3 table sector, -4 extension sector.
        if (e < -4 || (e > 0 && e > entries + 1)) return kCarveInvalid;
        table_[s * 128 + k] = e;
      }
    }
    return kCarveReadDone;
  }

  // The file ends with the last sector that is not free.
  uint64_t TableExtent() const {
    for (size_t i = table_.size(); i-- > 0;) {
      if (table_[i] != kFreeSector) return (static_cast<uint64_t>(i) + 2) * 512;
    }
    return 512;
  }

  static bool NameIs(const ByteView& entry, uint32_t units, std::u16string_view name) {
    if (units != name.size()) return false;
    for (uint32_t i = 0; i < units; ++i) {
      if (entry.le16_or0(2 * i) != name[i]) return false;
    }
    return true;
  }

  // Name units of a directory entry, or -1 when the name is not plain ASCII
  // with a consistent length field. The field counts the terminator too; up
  // to 32 units of 2 bytes fit.
  static int32_t PlainNameUnits(const ByteView& entry) {
    const uint16_t field = entry.le16_or0(64);
    if (field < 2 || field > 64 || (field & 1)) return -1;
    const uint32_t units = (field - 2) / 2;
    for (uint32_t i = 0; i < units; ++i) {
      const uint16_t c = entry.le16_or0(2 * i);
      if (c < 0x20 || c > 0x7E) return -1;
    }
    return static_cast<int32_t>(units);
  }

  uint32_t TypeFromDirectory() {
    std::vector<int32_t> chain;
    std::vector<uint8_t> visited(table_.size(), 0);
    for (int32_t s = I32(48); s >= 0; s = table_[static_cast<size_t>(s)]) {
      if (static_cast<uint64_t>(s) >= table_.size() || visited[static_cast<size_t>(s)] ||
          chain.size() >= kMaxDirectoryLinks) {
        return kCarveInvalid;  // a link outside the table, or a loop
      }
      visited[static_cast<size_t>(s)] = 1;
      // A directory sector past the bytes read asks for more, like a table
      // sector: the file may simply cross the end of the chunk.
      const uint32_t r = Locate(s);
      if (r != kCarveReadDone) return r;
      chain.push_back(s);
    }
    if (chain.empty()) return kCarveInvalid;
    const ByteView root = v_.sub(SectorStart(chain[0]), 128);
    if (root.le16_or0(64) != 22 || !NameIs(root, 10, u"Root Entry")) return kCarveInvalid;
    for (const int32_t s : chain) {
      for (uint32_t k = 0; k < 4; ++k) {
        const ByteView entry = v_.sub(SectorStart(s) + 128 * k, 128);
        const int32_t units = PlainNameUnits(entry);
        if (units < 0) continue;
        for (const Ole2Names& t : kStreamTypes) {
          if (NameIs(entry, static_cast<uint32_t>(units), t.name)) {
            state_.code = t.code;
            return kCarveReadDone;
          }
        }
      }
    }
    return kCarveInvalid;
  }

  const ByteView& v_;
  CarveState& state_;
  std::vector<uint8_t> seen_;  // one flag per sector read
  std::vector<int32_t> table_sectors_;
  std::vector<int32_t> table_;
};

}  // namespace

uint32_t SizeOle2(const CarveBuffer& buffer, CarveState& state) {
  if (state.read_length == 0) state.read_length = CarveBytesToBufferEnd(buffer, state);
  for (;;) {
    ByteView v;
    state.offset = 0;
    const uint32_t r = read_carve_bytes(state, buffer, v);
    if (r != kCarveReadDone) return ReadFailure(r);
    const uint32_t result = Ole2Evaluator(v, state).Run();
    if (result != kCarvePending) return result;
    state.read_length += kReadGrowth;  // past 64 MiB the read fails: invalid
  }
}

}  // namespace trovium
