#include "scan/structure_detector.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>

namespace trovium {
namespace {

using Sector = std::array<uint8_t, 512>;

void Put16(Sector& s, size_t at, uint16_t v) { s[at] = v & 0xFF; s[at + 1] = v >> 8; }
void Put32(Sector& s, size_t at, uint32_t v) { for (int i = 0; i < 4; ++i) s[at + i] = (v >> (8 * i)) & 0xFF; }
void Put64(Sector& s, size_t at, uint64_t v) { for (int i = 0; i < 8; ++i) s[at + i] = (v >> (8 * i)) & 0xFF; }
void PutText(Sector& s, size_t at, const char* t) { std::memcpy(s.data() + at, t, std::strlen(t)); }
void Sign(Sector& s) { s[510] = 0x55; s[511] = 0xAA; }

// Boot sectors as Linux formatters write them (no Windows geometry).
Sector NtfsBoot() {
  Sector s{};
  s[0] = 0xEB; s[1] = 0x52; s[2] = 0x90;
  PutText(s, 3, "NTFS    ");
  Put16(s, 11, 512); s[13] = 8; s[21] = 0xF8;
  Put64(s, 40, 98303); Put64(s, 48, 4); Put64(s, 56, 6143);
  s[64] = 0xF6;
  Sign(s);
  return s;
}
Sector Fat32Boot() {
  Sector s{};
  s[0] = 0xEB; s[1] = 0x58; s[2] = 0x90;
  PutText(s, 3, "mkfs.fat");
  Put16(s, 11, 512); s[13] = 1; Put16(s, 14, 32); s[16] = 2; s[21] = 0xF8;
  Put16(s, 24, 32); Put16(s, 26, 8); Put32(s, 32, 131072); Put32(s, 36, 1009);
  PutText(s, 82, "FAT32   ");
  Sign(s);
  return s;
}
Sector Fat16Boot() {
  Sector s{};
  s[0] = 0xEB; s[1] = 0x3C; s[2] = 0x90;
  Put16(s, 11, 512); s[13] = 4; Put16(s, 14, 4); s[16] = 2; Put16(s, 17, 512); s[21] = 0xF8;
  Put16(s, 22, 64); Put16(s, 24, 32); Put16(s, 26, 4); Put32(s, 32, 65536);
  PutText(s, 54, "FAT16   ");
  Sign(s);
  return s;
}
Sector ExfatBoot() {
  Sector s{};
  s[0] = 0xEB; s[1] = 0x76; s[2] = 0x90;
  PutText(s, 3, "EXFAT   ");
  s[108] = 9; s[109] = 3;
  Sign(s);
  return s;
}
Sector PartitionTable() {
  Sector s{};
  s[446 + 16 + 4] = 0x07;
  Put32(s, 446 + 16 + 8, 2048);
  Put32(s, 446 + 16 + 12, 0x4000);
  Sign(s);
  return s;
}
// An exFAT directory entry of the given type at index i.
void Entry(Sector& s, size_t i, uint8_t type, uint8_t byte1 = 0) { s[i * 32] = type; s[i * 32 + 1] = byte1; }
void Label(Sector& s, size_t i, const char* text) {
  Entry(s, i, 0x83, static_cast<uint8_t>(std::strlen(text)));
  for (size_t c = 0; text[c]; ++c) s[i * 32 + 2 + 2 * c] = static_cast<uint8_t>(text[c]);
}
Sector ExfatRootDir(bool with_file) {
  Sector s{};
  Label(s, 0, "EXFATFIX");
  Entry(s, 1, 0x81);
  Entry(s, 2, 0x82);
  if (with_file) { Entry(s, 3, 0x85, 2); Entry(s, 4, 0xC0); Entry(s, 5, 0xC1); }
  return s;
}
Sector FileRecord(uint32_t used, uint32_t first_attr) {
  Sector s{};
  PutText(s, 0, "FILE");
  Put16(s, 20, 0x38); Put32(s, 24, used); Put32(s, 28, 0x400); Put32(s, 56, first_attr);
  return s;
}

uint8_t Kind(const Sector& s, uint64_t lba) {
  uint8_t kind = 0;
  bool found = DetectStructure(ByteView(s.data(), s.size()), lba, kind);
  EXPECT_EQ(found, kind != StructKind::kNone);
  return kind;
}

struct DetectCase {
  const char* what;
  std::function<Sector()> make;
  uint64_t lba;
  uint8_t kind;
};

TEST(StructureDetector, ClassifiesSectors) {
  const DetectCase cases[] = {
      {"zero sector", [] { return Sector{}; }, 5, StructKind::kNone},
      {"NTFS, mkntfs geometry 0/0", NtfsBoot, 7, StructKind::kNtfsBoot},
      {"NTFS at LBA 0 is not an MBR", NtfsBoot, 0, StructKind::kNtfsBoot},
      {"FAT16, mkfs.fat geometry 32/4", Fat16Boot, 0, StructKind::kFat16Boot},
      {"FAT32, mkfs.fat geometry 32/8", Fat32Boot, 6, StructKind::kFat32Boot},
      {"FAT32 with a 0xE9 jump", [] { auto s = Fat32Boot(); s[0] = 0xE9; s[2] = 0; return s; }, 6,
       StructKind::kFat32Boot},
      {"exFAT", ExfatBoot, 12, StructKind::kExfatBoot},
      {"exFAT cluster shift 17", [] { auto s = ExfatBoot(); s[109] = 17; return s; }, 0, StructKind::kNone},
      {"partition table elsewhere", PartitionTable, 5000, StructKind::kEbr},
      {"partition table at LBA 0", PartitionTable, 0, StructKind::kMbr},
      {"GPT protective MBR (type 0xEE)", [] { auto s = PartitionTable(); s[446 + 16 + 4] = 0xEE; return s; }, 0,
       StructKind::kNone},
      {"partition too small", [] { auto s = PartitionTable(); Put32(s, 446 + 16 + 12, 0x3FFF); return s; }, 0,
       StructKind::kNone},
      {"bad boot indicator", [] { auto s = PartitionTable(); s[446 + 16] = 0x01; return s; }, 0, StructKind::kNone},
      {"signed, empty entries, FILE at 0",
       [] { auto s = FileRecord(0x3F8, 0x10); Sign(s); return s; }, 9, StructKind::kNone},
      {"FILE record", [] { return FileRecord(0x3F8, 0x10); }, 9, StructKind::kNtfsFileRecord},
      {"FILE record, deleted-slot end marker", [] { return FileRecord(0x400, 0xFFFFFFFF); }, 9,
       StructKind::kNtfsFileRecord},
      {"FILE record, used size not a multiple of 8", [] { return FileRecord(0x3FA, 0x10); }, 9, StructKind::kNone},
      {"FILE record, first attribute 0x60", [] { return FileRecord(0x3F8, 0x60); }, 9, StructKind::kNone},
      {"INDX block", [] { Sector s{}; PutText(s, 0, "INDX"); return s; }, 9, StructKind::kNtfsIndexBlock},
      {"FAT subdirectory", [] { Sector s{}; PutText(s, 0, ".          "); PutText(s, 32, "..         "); return s; },
       9, StructKind::kFatDirEntry},
      {"FAT root directory",
       [] { Sector s{}; PutText(s, 0, "NO NAME    "); s[11] = 0x08; Put16(s, 22, 0x1234); return s; }, 9,
       StructKind::kFatRootDirEntry},
      {"FAT root directory with a creation date",
       [] { Sector s{}; PutText(s, 0, "NO NAME    "); s[11] = 0x08; Put16(s, 16, 0x5A4B); return s; }, 9,
       StructKind::kNone},
      {"exFAT root directory", [] { return ExfatRootDir(true); }, 9, StructKind::kExfatRootDirEntry},
      {"exFAT root directory without a file set", [] { return ExfatRootDir(false); }, 9, StructKind::kNone},
      {"exFAT directory sector",
       [] { Sector s{}; Entry(s, 0, 0x85, 2); Entry(s, 1, 0xC0); Entry(s, 2, 0xC1); return s; }, 9,
       StructKind::kExfatDirEntry},
      {"exFAT set running into the next sector",
       [] { Sector s{}; Entry(s, 0, 0x85, 3); Entry(s, 1, 0xC0); Entry(s, 2, 0xC1); return s; }, 9,
       StructKind::kNone},
      {"GPT header at LBA 1", [] { Sector s{}; PutText(s, 0, "EFI PART"); return s; }, 1, StructKind::kGptHeader},
      {"GPT header at LBA 2", [] { Sector s{}; PutText(s, 0, "EFI PART"); return s; }, 2, StructKind::kNone},
  };
  for (const DetectCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Kind(c.make(), c.lba), c.kind);
  }
}

// A boot sector without Windows geometry is accepted only on the layout
// evidence; with Windows geometry that evidence is not needed.
TEST(StructureDetector, BootSectorsWithoutWindowsGeometryNeedLayoutEvidence) {
  struct Case {
    const char* what;
    std::function<Sector()> base;
    std::function<void(Sector&)> spoil;
    uint8_t kind;
  };
  const Case cases[] = {
      {"NTFS OEM name", NtfsBoot, [](Sector& s) { s[3] = 'X'; }, StructKind::kNtfsBoot},
      {"NTFS total 0", NtfsBoot, [](Sector& s) { Put64(s, 40, 0); }, StructKind::kNtfsBoot},
      {"NTFS $MFT outside", NtfsBoot, [](Sector& s) { Put64(s, 48, 98303 / 8 + 1); }, StructKind::kNtfsBoot},
      {"NTFS $MFTMirr outside", NtfsBoot, [](Sector& s) { Put64(s, 56, UINT64_MAX / 4); }, StructKind::kNtfsBoot},
      {"FAT32 reserved 0", Fat32Boot, [](Sector& s) { Put16(s, 14, 0); }, StructKind::kFat32Boot},
      {"FAT32 FAT size 0", Fat32Boot, [](Sector& s) { Put32(s, 36, 0); }, StructKind::kFat32Boot},
      {"FAT32 total 0", Fat32Boot, [](Sector& s) { Put32(s, 32, 0); }, StructKind::kFat32Boot},
      {"FAT16 FAT size 0", Fat16Boot, [](Sector& s) { Put16(s, 22, 0); }, StructKind::kFat16Boot},
      {"FAT16 reserved 0", Fat16Boot, [](Sector& s) { Put16(s, 14, 0); }, StructKind::kFat16Boot},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Sector s = c.base();
    c.spoil(s);
    EXPECT_EQ(Kind(s, 100), StructKind::kNone);
    Put16(s, 24, 63);  // Windows geometry carries it
    EXPECT_EQ(Kind(s, 100), c.kind);
  }
  // FAT16 total taken from the 16-bit field when present.
  Sector s = Fat16Boot();
  Put32(s, 32, 0);
  Put16(s, 19, 59346);
  EXPECT_TRUE(IsFat16BootSector(ByteView(s.data(), s.size())));
}

TEST(StructureDetector, BootSectorFieldsStayStrict) {
  const std::function<void(Sector&)> spoils[] = {
      [](Sector& s) { s[511] = 0; },            // no signature
      [](Sector& s) { s[0] = 0; s[2] = 0; },    // no jump
      [](Sector& s) { Put16(s, 11, 768); },     // sector size
      [](Sector& s) { s[13] = 3; },             // cluster size
      [](Sector& s) { s[13] = 0; },
      [](Sector& s) { s[21] = 0xF0; },          // media
      [](Sector& s) { s[16] = 3; },             // FAT count (FAT only)
  };
  for (size_t i = 0; i < std::size(spoils); ++i) {
    SCOPED_TRACE(i);
    for (auto make : {Fat16Boot, Fat32Boot}) {
      Sector s = make();
      Put16(s, 24, 63);
      spoils[i](s);
      EXPECT_EQ(Kind(s, 100), StructKind::kNone);
    }
    if (i < 6) {
      Sector s = NtfsBoot();
      spoils[i](s);
      EXPECT_FALSE(IsNtfsBootSector(ByteView(s.data(), s.size())));
    }
  }
  Sector s = NtfsBoot();
  s[64] = 0xF7;  // 4 KiB records
  EXPECT_FALSE(IsNtfsBootSector(ByteView(s.data(), s.size())));
}

TEST(StructureDetector, FatVolumeLabelNames) {
  struct Case { const char* bytes; bool ok; };
  const Case cases[] = {
      {"NO NAME    ", true},
      {"ABC\x05" "DEFGHIJ", false},            // control byte where a character belongs
      {"AB\xC4\xE3\xBA\xC3" "CDEFG", true},    // two double-byte characters
      {"ABCDEFGHIJ\x80", true},                // any byte at the last position
      {"ABCDEFGHI\xC4\xE3", true},             // a pair at positions 9 and 10
      {"ABCDEFGHI\xC4\x41", false},            // pair 0x41C4 below the range
      {"\x80\x41" "CDEFGHIJK", false},         // pair 0x4180 below the range
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(IsFatVolumeLabelName(ByteView(reinterpret_cast<const uint8_t*>(c.bytes), 11)), c.ok);
  }
  const uint8_t with_zero[11] = {'A', 'B', 0, 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J'};
  EXPECT_FALSE(IsFatVolumeLabelName(ByteView(with_zero, 11)));
  EXPECT_FALSE(IsFatVolumeLabelName(ByteView(with_zero, 2)));
}

TEST(StructureDetector, ExfatEntryWalk) {
  Sector s{};
  Entry(s, 0, 0x85, 2); Entry(s, 1, 0xC0); Entry(s, 2, 0xC1);
  ByteView v(s.data(), s.size());
  EXPECT_TRUE(IsExfatDirSectorFrom(v, 0));
  EXPECT_FALSE(IsExfatDirSectorFrom(v, 1));   // starts inside the set: name entry skipped, no set
  EXPECT_FALSE(IsExfatDirSectorFrom(v, 16));
  Entry(s, 3, 0x20);                          // unknown type after the set
  EXPECT_FALSE(IsExfatDirSectorFrom(v, 0));
  Entry(s, 3, 0x83, 20);                      // label with too many characters
  EXPECT_FALSE(IsExfatDirSectorFrom(v, 0));
  Entry(s, 3, 0);
  Entry(s, 1, 0xC1);                          // name where the stream belongs
  EXPECT_FALSE(IsExfatDirSectorFrom(v, 0));
  // A full sector of sets (16 entries) ends without a terminator.
  Sector full{};
  for (size_t i = 0; i < 16; i += 4) { Entry(full, i, 0x05, 3); Entry(full, i + 1, 0x40); Entry(full, i + 2, 0x41); Entry(full, i + 3, 0x41); }
  EXPECT_TRUE(IsExfatDirSectorFrom(ByteView(full.data(), full.size()), 0));
}

TEST(StructureDetector, ShortInputIsNeverRecognised) {
  Sector s = NtfsBoot();
  uint8_t kind = 0;
  EXPECT_FALSE(DetectStructure(ByteView(s.data(), 511), 0, kind));
  EXPECT_EQ(kind, StructKind::kNone);
  EXPECT_FALSE(IsNtfsBootSector(ByteView(s.data(), 511)));
  EXPECT_FALSE(IsExfatDirSectorFrom(ByteView(), 0));
}

}  // namespace
}  // namespace trovium
