#include "fs/ntfs_record.h"

#include "core/text_convert.h"
#include "fs/ntfs_attribute.h"

namespace trovium {

namespace {

constexpr uint32_t kSystemAttribute = 0x4;
constexpr uint8_t kNamespacePosix = 0;
constexpr uint8_t kNamespaceDos = 2;
constexpr size_t kFileNameHeader = 66;

// UTF-16LE to UTF-8, appended into a string whose capacity is reused.
void AppendUtf16Le(std::string& out, ByteView units) {
  const size_t count = units.size() / 2;
  for (size_t i = 0; i < count; ++i) {
    char32_t u = units.le16_or0(2 * i);
    if (u < 0x80) {
      out.push_back(static_cast<char>(u));
      continue;
    }
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < count) {
      const char32_t low = units.le16_or0(2 * i + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    AppendUtf8(out, u);  // a lone surrogate becomes U+FFFD
  }
}

bool IsRecycleBinName(const std::string& name) {
  return name.size() == 12 && CompareNoCase(12, name, "$RECYCLE.BIN") == 0;
}

void ResetKeepingCapacity(FileRecord& r) {
  std::string name = std::move(r.name);
  std::vector<uint8_t> runs = std::move(r.runs);
  std::vector<uint32_t> children = std::move(r.children);
  r = FileRecord{};
  name.clear();
  runs.clear();
  children.clear();
  r.name = std::move(name);
  r.runs = std::move(runs);
  r.children = std::move(children);
}

}  // namespace

PackedTime NtfsTimeToPacked(uint64_t filetime) {
  if (filetime == 0) return 0;
  constexpr int64_t kEpochDifference = 11644473600;  // seconds from 1601 to 1970
  return TimeToPacked(static_cast<int64_t>(filetime / 10000000) - kEpochDifference);
}

bool ParseNtfsFileRecord(FileRecord& out, const NtfsParseContext& ctx, ByteView record, bool allow_system) {
  uint32_t number = 0;
  if (!HasNtfsFileSignature(record) || !record.le32(0x2C, number) || number >= ctx.record_limit ||
      record.size() < kNtfsRecordBytes)
    return false;
  record = record.sub(0, kNtfsRecordBytes);
  ResetKeepingCapacity(out);
  out.index = number;
  out.set_state(record.le16_or0(0x16) & 3u);

  bool system = false;
  bool have_name = false;
  bool have_data = false;
  std::vector<NtfsRun> local_scratch;
  std::vector<NtfsRun>& scratch = ctx.scratch ? *ctx.scratch : local_scratch;

  NtfsAttributeWalk walk(record);
  NtfsAttribute a;
  while (walk.Next(a)) {
    switch (a.type) {
      case kNtfsStandardInformation: {
        const ByteView v = a.value();
        if (v.size() < 36) break;
        out.ctime = NtfsTimeToPacked(v.le64_or0(0));
        out.mtime = NtfsTimeToPacked(v.le64_or0(8));
        system = (v.le32_or0(32) & kSystemAttribute) != 0;
        break;
      }
      case kNtfsFileName: {
        const ByteView v = a.value();
        if (v.size() < kFileNameHeader) break;
        const size_t chars = v.u8_or0(64);
        const uint8_t ns = v.u8_or0(65);
        const ByteView units = v.sub(kFileNameHeader, 2 * chars);
        if (chars == 0 || units.empty() || ns == kNamespaceDos) break;
        // A POSIX name only fills a gap; Win32 names replace what came before.
        if (ns == kNamespacePosix && have_name) break;
        out.parent = v.le32_or0(0);
        out.name.clear();
        AppendUtf16Le(out.name, units);
        have_name = true;
        if (system && out.name[0] == '$') {
          if (IsRecycleBinName(out.name)) {
            out.name = kRecycleBinName;
            out.set_state(kStateDeletedDir);  // everything below counts as deleted
          } else if (!allow_system) {
            return false;
          }
        }
        break;
      }
      case kNtfsData: {
        if (have_data) break;  // later ones are named streams
        have_data = true;
        if (!have_name) return false;
        if (a.non_resident) {
          if (a.start_vcn() != 0) break;
          out.size = a.real_size();
          const ByteView pairs = a.mapping_pairs();
          if (!pairs.empty() && pairs.size() < kNtfsRecordBytes) {
            out.runs.assign(pairs.data(), pairs.data() + pairs.size());
            out.run_info = static_cast<uint32_t>(pairs.size());
          }
        } else {
          out.flags |= kFlagResident;
          const uint32_t length = a.bytes.le32_or0(16);
          const uint16_t offset = a.bytes.le16_or0(20);
          const bool fits = length == 0 || !a.value().empty();
          out.size = (length > kNtfsMaxResidentValue || offset > kNtfsRecordBytes || !fits) ? 0 : length;
        }
        break;
      }
      case kNtfsIndexAllocation: {
        if (!ctx.index_extents || !a.non_resident) break;
        const ByteView pairs = a.mapping_pairs();
        if (pairs.size() < 3) break;
        NtfsRunsToExtents(ctx.geo, pairs, scratch, *ctx.index_extents);
        break;
      }
      default:
        break;
    }
  }
  return true;
}

}  // namespace trovium
