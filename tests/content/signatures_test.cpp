#include "content/signatures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace trovium {
namespace {

struct Case {
  std::vector<std::pair<size_t, std::string>> bytes;  // (offset, bytes) laid into a zero sector
  FileTypeCode code;
};

std::vector<uint8_t> Sector(const Case& c, uint8_t fill = 0x20) {
  std::vector<uint8_t> s(512, fill);
  for (const auto& [at, text] : c.bytes) std::memcpy(s.data() + at, text.data(), text.size());
  return s;
}

std::string S(const char* text, size_t n) { return std::string(text, n); }

FileTypeCode Detect(const std::vector<uint8_t>& s) {
  FileTypeCode code = 0;
  bool found = detect_file_type(ByteView(s.data(), s.size()), code);
  EXPECT_EQ(found, code != kUnknownFileType);
  return code;
}

// One sample for each of the detector's tests, in their order.
const std::vector<Case>& Samples() {
  static const std::vector<Case> cases = {
      {{{0, S("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)}}, 36},
      {{{0, S("PK\x03\x04", 4)}, {30, "[Content_Types].xml"}}, 37},
      {{{0, "ABCD"}, {4, "Standard Jet DB"}}, 77},
      {{{0, S("\x00\x01\x00\x00", 4)}, {4, "Standard ACE DB"}}, 78},
      {{{0, "ITSF"}, {8, "\x60"}}, 39},
      {{{0, "%PDF-1.7"}}, 40},
      {{{0, S("\x3F\x5F\x03\x00", 4)}}, 41},
      {{{0, S("\x4C\x4E\x02\x00", 4)}}, 41},
      {{{0, S("\x01\xC3\x5B\x50", 4)}}, 42},
      {{{0, "\xEF\xBB\xBFMIME-Version"}}, 43},
      {{{0, "MIME-Version"}}, 43},
      {{{0, "From: x"}}, 43},
      {{{0, S("\x89PNG\x0D\x0A\x1A\x0A", 8)}}, 44},
      {{{0, "GIF89a"}}, 45},
      {{{0, S("\x1A\x45\xDF\xA3", 4)}}, 86},
      {{{0, S("MSCF\0\0\0\0", 8)}}, 84},
      {{{0, "ISc("}}, 84},
      {{{0, "MCVL"}}, 145},
      {{{0, "{\\rtf1"}}, 164},
      {{{0, "xyz{\\rtf1"}}, 164},
      {{{0, S("\xFF\xD8\xFF\xE1", 4)}}, 46},
      {{{0, S("\x00\x00\x00\x00\x47\x40\x00\x10\x01", 9)}}, 88},
      {{{0, S("\x47\x48\x10\x11\x00\x00\x01", 7)}}, 143},
      {{{0, S("8BPS\x00\x01\x00\x00", 8)}}, 47},
      {{{0, "%!PS-Adobe"}}, 83},
      {{{0, S("BM\x36\x10\x0E\x00\x00\x00\x00\x00\x36\x00\x00\x00\x28\x00", 16)}}, 48},
      {{{0, S("II*\x00", 4)}}, 49},
      {{{0, S("MM\x00*", 4)}}, 49},
      {{{0, "IIRO"}}, 49},
      {{{0, S("IIU\x00", 4)}}, 49},
      {{{0, "FUJIFILMCCD-RAW"}}, 144},
      {{{0, "RIFF"}, {8, "WAVEfmt "}}, 53},
      {{{0, "ID3\x03"}}, 54},
      {{{0, "MThd"}}, 57},
      {{{0, S("\x30\x26\xB2\x75\x8E\x66\xCF\x11", 8)}}, 108},
      {{{0, S("\xFF\xFA\x90\x40", 4)}}, 59},
      {{{0, S("\xFF\xE3\x20\xC0", 4)}}, 59},
      {{{0, "OggS"}}, 55},
      {{{0, "MAC "}}, 56},
      {{{0, S("\x37\x7A\xBC\xAF\x27\x1C", 6)}}, 60},
      {{{0, S("PK\x03\x04", 4)}}, 61},
      {{{0, "PK00"}}, 61},
      {{{0, S("PK\x05\x06", 4)}}, 61},
      {{{0, S("Rar!\x1A\x07\x00", 7)}}, 62},
      {{{0, S("\x5F\x27\xA8\x89", 4)}}, 63},
      {{{0, S("FLV\x01", 4)}}, 64},
      {{{0, ".ra?"}}, 65},
      {{{0, ".RMF"}}, 66},
      {{{0, "RIFF"}, {8, "ACONanih"}}, 85},
      {{{0, S("\0\0\0\x20", 4)}, {4, "ftypM4A "}}, 69},
      {{{0, S("\0\0\0\x20", 4)}, {4, "ftyp3gp4"}}, 68},
      {{{0, S("\0\0\0\x20", 4)}, {4, "ftypM4V "}}, 71},
      {{{0, S("\0\0\0\x20", 4)}, {4, "ftypisom"}}, 72},
      {{{0, S("\0\0\0\x20", 4)}, {4, "ftypmmp4"}}, 72},
      {{{0, S("\0\0\0\x14", 4)}, {4, "ftypqt  "}}, 67},
      {{{0, S("\x00\x00\x01\xBA\x21\x00\x01\x00", 8)}}, 82},
      {{{0, S("\x00\x00\x01\xBA\x44\x00\x04\x00", 8)}}, 82},
      {{{0, "RIFF"}, {8, "AVI LIST"}}, 73},
      {{{0, "AC1015"}}, 75},
      {{{0, "Microsoft Developer Studio Workspace"}}, 80},
      {{{0, "Microsoft Visual Studio Solution File"}}, 81},
      {{{0, "\xEF\xBB\xBF\x0D\x0AMicrosoft Visual Studio Solution File"}}, 81},
      {{{0, "<Ui xmlns=\"x\">"}}, 163},
      {{{0, "<?xml version"}}, 79},
      {{{0, "l version"}}, 79},
      {{{0, "<HEAD>"}}, 79},
      {{{0, "<script>"}}, 79},
      {{{0, S("\xFF\xFE\x3C\x00", 4)}}, 79},
      {{{0, "\xEF\xBB\xBF<html>"}}, 79},
      {{{0, "\r\n\r\n<!DOCTYPE html>"}}, 79},
      {{{0, "\n<html>"}}, 79},
      {{{0, "\r\n<xs:schema "}}, 79},
      {{{0, S("\n<?xml\0", 7)}}, 79},
  };
  return cases;
}

TEST(SignaturesTest, EachTestFindsItsCode) {
  for (const Case& c : Samples()) {
    EXPECT_EQ(Detect(Sector(c)), c.code) << "first bytes: " << c.bytes[0].second;
  }
}

TEST(SignaturesTest, EarlierTestsWinAndNearMissesFindNothing) {
  const std::vector<Case> cases = {
      // Test 3 looks only at byte 4 onwards: it beats the Access 2007 header.
      {{{0, S("\x00\x01\x00\x00", 4)}, {4, "Standard Jet DB"}}, 77},
      // "{\rtf1" at 3 comes before every test on the sector's own first bytes from the 16th.
      {{{0, S("\xFF\xD8\xFF{\\rtf1", 9)}}, 164},
      // WAVE (24th) before the RIFF animated cursor (38th) and AVI (45th).
      {{{0, "RIFF"}, {8, "WAVEfmt anih"}}, 53},
      {{{0, "RIFF"}, {8, "AVI anih"}}, 85},
      // A plain ZIP whose first name is not the content-types part.
      {{{0, S("PK\x03\x04", 4)}, {30, "[Content_Types].xmX"}}, 61},
      // Near misses.
      {{{0, "GIF87b"}}, kUnknownFileType},
      {{{0, "ID3\x05"}}, kUnknownFileType},
      {{{0, S("\xFF\xD8\xFF\xE2", 4)}}, kUnknownFileType},
      {{{0, S("BM\x36\x10\x0E\x00\x00\x00\x00\x00\x36\x00\x00\x00\x29\x00", 16)}}, kUnknownFileType},
      {{{0, S("MSCF\x01\0\0\0", 8)}}, kUnknownFileType},
      {{{0, "ITSF"}, {8, "\x61"}}, kUnknownFileType},
      {{{0, "\r\n\r\n\r\n\r\n\r\n\r<html>"}}, kUnknownFileType},  // 11 line breaks
      {{{0, "\n<?xml version"}}, kUnknownFileType},
      {{{0, "<body>"}}, kUnknownFileType},
  };
  for (const Case& c : cases) EXPECT_EQ(Detect(Sector(c)), c.code) << c.bytes[0].second;
}

TEST(SignaturesTest, BlankAndErasedSectorsFindNothingEvenWithASignatureBehind) {
  std::vector<uint8_t> zero(512, 0), erased(512, 0x7F);
  EXPECT_EQ(Detect(zero), kUnknownFileType);
  EXPECT_EQ(Detect(erased), kUnknownFileType);
  std::memcpy(zero.data() + 8, "WAVEfmt ", 8);  // a signature past the blank head
  std::memcpy(erased.data() + 8, "WAVEfmt ", 8);
  EXPECT_EQ(Detect(zero), kUnknownFileType);
  EXPECT_EQ(Detect(erased), kUnknownFileType);
  // Short views are read only as far as they go.
  FileTypeCode code = 0;
  const uint8_t jpeg[] = {0xFF, 0xD8, 0xFF, 0xE0};
  EXPECT_FALSE(detect_file_type(ByteView(jpeg, sizeof jpeg), code));
  EXPECT_FALSE(detect_file_type(ByteView(), code));
  EXPECT_EQ(code, kUnknownFileType);
}

TEST(SignaturesTest, OnlyTheFirst49BytesDecide) {
  std::mt19937 rng(7);
  for (const Case& c : Samples()) {
    std::vector<uint8_t> s = Sector(c);
    for (size_t i = kSignatureBytes; i < s.size(); ++i) s[i] = static_cast<uint8_t>(rng());
    EXPECT_EQ(Detect(s), c.code);
  }
}

}  // namespace
}  // namespace trovium
