// The file-record parser and the run-list decoder on records built here:
// name namespaces, system files and the recycle bin, $DATA forms, record
// numbers past the two-millionth, and attributes that do not fit.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fs/ntfs_fixup.h"
#include "fs/ntfs_record.h"
#include "fs/ntfs_runlist.h"

namespace trovium {
namespace {

// A 1024-byte file record, attributes appended in order.
struct RecordBuilder {
  std::vector<uint8_t> bytes = std::vector<uint8_t>(1024, 0);
  size_t pos = 0x38;

  explicit RecordBuilder(uint32_t number, uint16_t flags = 1) {
    std::memcpy(bytes.data(), "FILE", 4);
    Put16(0x14, 0x38);
    Put16(0x16, flags);
    Put32(0x2C, number);
    End();
  }
  void Put16(size_t at, uint16_t v) { for (int i = 0; i < 2; ++i) bytes[at + i] = uint8_t(v >> (8 * i)); }
  void Put32(size_t at, uint32_t v) { for (int i = 0; i < 4; ++i) bytes[at + i] = uint8_t(v >> (8 * i)); }
  void Put64(size_t at, uint64_t v) { for (int i = 0; i < 8; ++i) bytes[at + i] = uint8_t(v >> (8 * i)); }
  void End() { Put32(pos, 0xFFFFFFFF); }

  // A resident attribute; `length` overrides the attribute's stored length.
  void Resident(uint32_t type, const std::vector<uint8_t>& value, uint32_t length = 0) {
    const uint32_t real = uint32_t((24 + value.size() + 7) / 8 * 8);
    Put32(pos, type);
    Put32(pos + 4, length ? length : real);
    bytes[pos + 8] = 0;
    Put32(pos + 16, uint32_t(value.size()));
    Put16(pos + 20, 24);
    std::memcpy(bytes.data() + pos + 24, value.data(), value.size());
    pos += real;
    End();
  }
  void NonResident(uint32_t type, uint64_t start_vcn, uint64_t real_size, const std::vector<uint8_t>& pairs,
                   uint32_t header = 64) {
    const uint32_t length = uint32_t((header + pairs.size() + 7) / 8 * 8);
    Put32(pos, type);
    Put32(pos + 4, length);
    bytes[pos + 8] = 1;
    Put64(pos + 16, start_vcn);
    Put16(pos + 32, uint16_t(header));
    if (header >= 56) Put64(pos + 48, real_size);
    std::memcpy(bytes.data() + pos + header, pairs.data(), pairs.size());
    pos += length;
    End();
  }
  void StandardInfo(uint32_t attributes) {
    std::vector<uint8_t> v(48, 0);
    for (int i = 0; i < 4; ++i) v[32 + i] = uint8_t(attributes >> (8 * i));
    Resident(0x10, v);
  }
  void FileName(const std::u16string& name, uint8_t name_space, uint32_t parent = 5) {
    std::vector<uint8_t> v(66 + 2 * name.size(), 0);
    for (int i = 0; i < 4; ++i) v[i] = uint8_t(parent >> (8 * i));
    v[64] = uint8_t(name.size());
    v[65] = name_space;
    for (size_t i = 0; i < name.size(); ++i) {
      v[66 + 2 * i] = uint8_t(name[i]);
      v[67 + 2 * i] = uint8_t(name[i] >> 8);
    }
    Resident(0x30, v);
  }
  ByteView view() const { return ByteView(bytes.data(), bytes.size()); }
};

NtfsParseContext Context() {
  NtfsParseContext ctx;
  ctx.geo.start_lba = 0;
  ctx.geo.sector_count = 1u << 20;
  ctx.geo.cluster_sectors = 8;
  return ctx;
}

TEST(NtfsRecordTest, NamesFollowTheNamespaceRules) {
  struct Case {
    std::vector<std::pair<std::u16string, uint8_t>> names;
    std::string shown;
  };
  const Case cases[] = {
      {{{u"REPORT~1.DOC", 2}, {u"report for the board.doc", 1}}, "report for the board.doc"},
      {{{u"report for the board.doc", 1}, {u"REPORT~1.DOC", 2}}, "report for the board.doc"},
      {{{u"posix name", 0}, {u"win32 name", 1}}, "win32 name"},
      {{{u"win32 name", 1}, {u"posix name", 0}}, "win32 name"},
      {{{u"both.txt", 3}}, "both.txt"},
      {{{u"SHORT.TXT", 2}}, ""},
      {{{u"数据备份.txt", 1}}, "数据备份.txt"},
  };
  for (const Case& c : cases) {
    RecordBuilder b(70);
    b.StandardInfo(0);
    for (const auto& [name, ns] : c.names) b.FileName(name, ns, 64);
    FileRecord r;
    ASSERT_TRUE(ParseNtfsFileRecord(r, Context(), b.view(), false));
    EXPECT_EQ(r.name, c.shown);
    if (!c.shown.empty()) {
      EXPECT_EQ(r.parent, 64u);
    }
  }
}

TEST(NtfsRecordTest, SystemFilesAndTheRecycleBin) {
  struct Case {
    std::u16string name;
    uint32_t attributes;
    bool allow_system;
    bool parsed;
    std::string shown;
    uint16_t state;
  };
  const Case cases[] = {
      {u"$RECYCLE.BIN", 0x6, false, true, "回收站", kStateDeletedDir},
      {u"$Recycle.Bin", 0x6, false, true, "回收站", kStateDeletedDir},
      {u"$RECYCLE.BIN", 0x0, false, true, "$RECYCLE.BIN", kStateDir},  // not a system file: kept as it is
      {u"$Extend", 0x6, false, false, "", 0},
      {u"$Extend", 0x6, true, true, "$Extend", kStateDir},
      {u"$notes.txt", 0x0, false, true, "$notes.txt", kStateDir},
  };
  for (const Case& c : cases) {
    RecordBuilder b(40, 3);
    b.StandardInfo(c.attributes);
    b.FileName(c.name, 1);
    FileRecord r;
    EXPECT_EQ(ParseNtfsFileRecord(r, Context(), b.view(), c.allow_system), c.parsed);
    if (!c.parsed) continue;
    EXPECT_EQ(r.name, c.shown);
    EXPECT_EQ(r.state(), c.state);
  }
}

TEST(NtfsRecordTest, DataForms) {
  const std::vector<uint8_t> pairs = {0x21, 0x04, 0x00, 0x01, 0x00};
  {  // a deleted file keeps its size and runs
    RecordBuilder b(80, 0);
    b.FileName(u"gone.bin", 1);
    b.NonResident(0x80, 0, 12345, pairs);
    FileRecord r;
    ASSERT_TRUE(ParseNtfsFileRecord(r, Context(), b.view(), false));
    EXPECT_EQ(r.state(), kStateDeletedFile);
    EXPECT_EQ(r.size, 12345u);
    EXPECT_EQ(r.run_info, 8u);  // the pairs up to the attribute's end, padding included
    EXPECT_EQ(std::vector<uint8_t>(r.runs.begin(), r.runs.begin() + 5), pairs);
  }
  {  // an instance that does not start at VCN 0: no size, no runs
    RecordBuilder b(81);
    b.FileName(u"tail.bin", 1);
    b.NonResident(0x80, 7, 12345, pairs);
    FileRecord r;
    ASSERT_TRUE(ParseNtfsFileRecord(r, Context(), b.view(), false));
    EXPECT_EQ(r.size, 0u);
    EXPECT_TRUE(r.runs.empty());
  }
  for (size_t length : {size_t{700}, size_t{800}}) {  // resident values above 768 bytes are damage
    RecordBuilder b(82);
    b.FileName(u"r.txt", 1);
    b.Resident(0x80, std::vector<uint8_t>(length, 'x'));
    FileRecord r;
    ASSERT_TRUE(ParseNtfsFileRecord(r, Context(), b.view(), false));
    EXPECT_TRUE(r.flags & kFlagResident);
    EXPECT_EQ(r.size, length == 700 ? 700u : 0u);
  }
  {  // $DATA before any name: the record is refused
    RecordBuilder b(83);
    b.Resident(0x80, {1, 2, 3});
    b.FileName(u"late.txt", 1);
    FileRecord r;
    EXPECT_FALSE(ParseNtfsFileRecord(r, Context(), b.view(), false));
  }
}

TEST(NtfsRecordTest, RecordNumbersUpToTheMftsOwnCount) {
  RecordBuilder b(0x200000);
  b.FileName(u"late file.txt", 1);
  FileRecord r;
  NtfsParseContext ctx = Context();
  EXPECT_FALSE(ParseNtfsFileRecord(r, ctx, b.view(), false));  // ordinary limit
  ctx.record_limit = 0x300000;                                  // an MFT of 3 Mi records
  ASSERT_TRUE(ParseNtfsFileRecord(r, ctx, b.view(), false));
  EXPECT_EQ(r.index, 0x200000u);
  ctx.record_limit = 0x200000;
  EXPECT_FALSE(ParseNtfsFileRecord(r, ctx, b.view(), false));

  // The store takes it into a volume whose limit was raised to the MFT's size.
  VolumeRecord v;
  v.fs_kind = kFsNtfs;
  EXPECT_EQ(InsertRecord(v, r, false), 0u);
  v.record_limit = 0x300000;
  EXPECT_EQ(InsertRecord(v, r, false), 0x200000u);
}

TEST(NtfsRecordTest, AttributesThatDoNotFitAreNotRead) {
  {  // a resident $DATA whose length runs past the record's end
    RecordBuilder b(90);
    b.FileName(u"a.txt", 1);
    const size_t at = b.pos;
    b.Resident(0x80, std::vector<uint8_t>(100, 'x'));
    b.Put32(at + 4, uint32_t(1024 - at + 8));
    FileRecord r;
    ASSERT_TRUE(ParseNtfsFileRecord(r, Context(), b.view(), false));
    EXPECT_EQ(r.name, "a.txt");
    EXPECT_EQ(r.size, 0u);
    EXPECT_FALSE(r.flags & kFlagResident);
  }
  {  // a non-resident header too short for its fields
    RecordBuilder b(91);
    b.FileName(u"b.txt", 1);
    b.NonResident(0x80, 0, 0, {0x11, 0x01, 0x10}, 40);
    b.Resident(0x99, std::vector<uint8_t>(16, 0x77));
    FileRecord r;
    ASSERT_TRUE(ParseNtfsFileRecord(r, Context(), b.view(), false));
    EXPECT_EQ(r.size, 0u);
    EXPECT_TRUE(r.runs.empty());
  }
  {  // a name longer than its value
    RecordBuilder b(92);
    b.FileName(u"c.txt", 1);
    b.bytes[0x38 + 24 + 64] = 200;
    FileRecord r;
    ASSERT_TRUE(ParseNtfsFileRecord(r, Context(), b.view(), false));
    EXPECT_TRUE(r.name.empty());
  }
  {  // first-attribute offset beyond the record; zero-length attribute
    for (uint16_t first : {uint16_t{0x3FC}, uint16_t{0xFFFF}}) {
      RecordBuilder b(93);
      b.FileName(u"d.txt", 1);
      b.Put16(0x14, first);
      FileRecord r;
      ASSERT_TRUE(ParseNtfsFileRecord(r, Context(), b.view(), false));
      EXPECT_TRUE(r.name.empty());
    }
  }
}

TEST(NtfsRecordTest, FixupRestoresSectorEnds) {
  RecordBuilder b(5);
  b.bytes[0x32] = 0xAB;
  b.bytes[0x33] = 0xCD;
  b.bytes[0x34] = 0xEF;
  b.bytes[0x35] = 0x01;
  ASSERT_TRUE(ApplyNtfsFixup(b.bytes.data(), b.bytes.size()));
  EXPECT_EQ(b.bytes[510], 0xAB);
  EXPECT_EQ(b.bytes[511], 0xCD);
  EXPECT_EQ(b.bytes[1022], 0xEF);
  EXPECT_EQ(b.bytes[1023], 0x01);
  EXPECT_FALSE(ApplyNtfsFixup(b.bytes.data(), 1023));
}

TEST(NtfsRunListTest, Decoding) {
  struct Case {
    std::vector<uint8_t> pairs;
    bool complete;
    std::vector<std::pair<int64_t, uint32_t>> runs;  // delta, clusters
  };
  const Case cases[] = {
      {{0x21, 0x10, 0x00, 0x01, 0x00}, true, {{256, 16}}},
      {{0x21, 0x10, 0x00, 0x01, 0x11, 0x05, 0xF0, 0x00}, true, {{256, 16}, {-16, 5}}},
      {{0x21, 0x10, 0x00, 0x01, 0x01, 0x08, 0x00}, true, {{256, 16}, {0, 8}}},  // sparse
      {{0x21, 0x10, 0x00, 0x01}, true, {{256, 16}}},                            // ends with the bytes
      {{0x21, 0x10, 0x00, 0x01, 0x44, 0x01, 0x02, 0x03}, false, {{256, 16}}},   // run cut short
      {{0x20, 0x00, 0x01}, false, {}},                                           // no length field
      {{0x19, 1, 2, 3, 4, 5, 6, 7, 8, 9, 1}, false, {}},                         // length field of 9
      {{0x91, 0x02, 1, 0, 0, 0, 0, 0, 0}, false, {}},                            // 8-byte offset, 7 there
      {{0x91, 0x02, 1, 0, 0, 0, 0, 0, 0, 0}, true, {{1, 2}}},
      {{0x31, 0x03, 0xFF, 0xFF, 0x7F}, true, {{0x7FFFFF, 3}}},
      {{0x31, 0x03, 0x00, 0x00, 0x80}, true, {{-0x800000, 3}}},
  };
  std::vector<NtfsRun> runs;
  for (const Case& c : cases) {
    EXPECT_EQ(DecodeNtfsRunList(ByteView(c.pairs.data(), c.pairs.size()), runs), c.complete);
    ASSERT_EQ(runs.size(), c.runs.size());
    for (size_t i = 0; i < runs.size(); ++i) {
      EXPECT_EQ(runs[i].cluster_delta, c.runs[i].first);
      EXPECT_EQ(runs[i].clusters, c.runs[i].second);
    }
  }
}

TEST(NtfsRunListTest, PlacesRunsIn64Bits) {
  NtfsGeometry geo;
  geo.start_lba = 0x100000800ull;  // a volume beyond the first 2 TiB
  geo.cluster_sectors = 128;
  geo.sector_count = 0x4000000000ull;
  // Clusters 0x4000000 (0x2_0000_0000 sectors in), then 0x10 back, then sparse.
  std::vector<NtfsRun> runs(3);
  runs[0].cluster_delta = 0x4000000;
  runs[0].clusters = 0x2000000;
  runs[1].cluster_delta = -0x10;
  runs[1].clusters = 2;
  runs[2].cluster_delta = 0;
  runs[2].clusters = 1;
  ASSERT_TRUE(NtfsRunsToLba(geo, runs));
  EXPECT_EQ(runs[0].start_lba, 0x100000800ull + 0x200000000ull);
  EXPECT_EQ(runs[0].sector_count, 0x100000000ull);
  EXPECT_EQ(runs[1].start_lba, 0x100000800ull + (0x4000000ull - 0x10) * 128);
  EXPECT_EQ(runs[2].start_lba, runs[1].start_lba);

  std::vector<NtfsRun> before(1), past(1);
  before[0].cluster_delta = -1;
  before[0].clusters = 1;
  past[0].cluster_delta = int64_t(geo.total_clusters()) - 1;
  past[0].clusters = 2;
  EXPECT_FALSE(NtfsRunsToLba(geo, before));
  EXPECT_FALSE(NtfsRunsToLba(geo, past));
}

}  // namespace
}  // namespace trovium
