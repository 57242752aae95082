// Hand-made files for the header and walk rules: the formats the corpus has
// no sample of, the edge cases of the walks, and sizes that do not fit 32
// bits (each of which wrapped to a small or zero size when summed in 32).

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "content/size_format_rules.h"
#include "content/size_rule_test_util.h"

namespace trovium {
namespace {

using test::Bytes;

constexpr uint64_t k4G = 0x100000000ull;

struct WalkCase {
  const char* what;
  uint32_t code;
  std::vector<uint8_t> file;
  uint32_t status;
  uint64_t size;  // when sized
};

Bytes Id3(uint32_t tag_size) {
  Bytes b;
  b.raw("ID3").put(3, 1, false).zeros(2);
  for (int shift = 21; shift >= 0; shift -= 7) b.put((tag_size >> shift) & 0x7F, 1, false);
  return b.zeros(tag_size);
}

// MPEG-1 layer III, 128 kbit/s, 44100 Hz: 417 bytes.
Bytes& Frame(Bytes& b, uint8_t b2 = 0x90) {
  b.put(0xFF, 1, false).put(0xFB, 1, false).put(b2, 1, false).put(0x00, 1, false);
  return b.zeros(417 - 4);
}

Bytes QtBox(const char* type, uint32_t size) {
  Bytes b;
  b.be32(size).raw(type);
  return b.zeros(size >= 8 ? size - 8 : 0);
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.b.insert(all.b.end(), p.b.begin(), p.b.end());
  return all;
}

Bytes FlvTag(uint8_t type, uint32_t data_size, uint32_t previous_size) {
  Bytes b;
  b.be32(previous_size).put(type, 1, false).be24(data_size).zeros(7);
  return b.zeros(data_size);
}

std::vector<WalkCase> Cases() {
  std::vector<WalkCase> c;

  // WAVE: the data size plus 36 must equal the RIFF size in 64 bits.
  Bytes wav;
  wav.raw("RIFF").le32(0x14).raw("WAVEfmt ").le32(16).zeros(16).raw("data").le32(0xFFFFFFF0).zeros(20);
  c.push_back({"wave data size wraps onto the riff size", 53, wav.b, kCarveInvalid, 0});
  wav = Bytes();
  wav.raw("RIFF").le32(0xFFFFFFF8).raw("WAVEfmt ").le32(16).zeros(16).raw("data").le32(0xFFFFFFD4).zeros(20);
  c.push_back({"wave of 4 GiB", 53, wav.b, kCarveSized, k4G});

  // WAVE in another chunk order: every chunk inside the RIFF size.
  wav = Bytes();
  wav.raw("RIFF").le32(4 + 8 + 8 + 8 + 16 + 8 + 4).raw("WAVE").raw("data").le32(8).zeros(8).raw("fmt ").le32(16)
      .zeros(16).raw("LIST").le32(4).raw("INFO");
  c.push_back({"wave with data before fmt", 53, wav.b, kCarveSized, 8 + 4 + 8 + 8 + 8 + 16 + 8 + 4});
  wav = Bytes();
  wav.raw("RIFF").le32(4 + 8 + 16 + 8 + 4 + 8).raw("WAVE").raw("fmt ").le32(16).zeros(16).raw("LIST").le32(4)
      .raw("INFO").raw("data").le32(8).zeros(8);
  c.push_back({"wave data chunk outside the riff size", 53, wav.b, kCarveInvalid, 0});

  // AVI: the RIFF size plus 8 is 4 GiB, not 0.
  Bytes avi;
  avi.raw("RIFF").le32(0xFFFFFFF8).raw("AVI ").raw("LIST").le32(4).raw("hdrl").raw("idx1").le32(16).zeros(16);
  c.push_back({"avi of 4 GiB", 73, avi.b, kCarveSized, k4G});
  avi = Bytes();
  avi.raw("RIFF").le32(100).raw("AVI ").raw("LIST").le32(4).raw("hdrl").raw("abcd").le32(8).zeros(8)
      .raw("idx1").le32(16);
  c.push_back({"avi chunk outside the list before the index", 73, avi.b, kCarveInvalid, 0});

  // ZIP: a compressed size near 4 GiB steps 4 GiB ahead (not in the buffer
  // yet), not 16 bytes into the header it came from.
  Bytes zip;
  zip.raw("PK\x03\x04").zeros(14).le32(0xFFFFFFF0).le32(0).le16(2).le16(0).raw("ab")
      .raw("PK\x05\x06").zeros(18);
  c.push_back({"zip compressed size near 4 GiB", 61, zip.b, kCarvePending, 0});

  // ZIP with data descriptors: the descriptor signature inside the data is
  // passed over, and the 24-byte form is stepped over too.
  zip = Bytes();
  zip.raw("PK\x03\x04").zeros(2).le16(8).zeros(10).le32(0).le32(0).le16(1).le16(0).raw("a")
      .raw("xxPK\x07\x08yy").raw("PK\x07\x08").zeros(12)
      .raw("PK\x03\x04").zeros(2).le16(8).zeros(10).le32(0).le32(0).le16(1).le16(0).raw("b")
      .raw("zz").raw("PK\x07\x08").zeros(20)
      .raw("PK\x01\x02").zeros(24).le16(1).le16(0).le16(0).zeros(12).raw("a")
      .raw("PK\x05\x06").zeros(16).le16(3).raw("abc");
  c.push_back({"zip with data descriptors", 61, zip.b, kCarveSized, zip.size()});

  // MPEG program stream closed by its end code.
  Bytes ps;
  ps.put(1, 3, true).put(0xBA, 1, false).put(0x44, 1, false).zeros(8).put(0xF8, 1, false);
  ps.put(1, 3, true).put(0xBB, 1, false).put(6, 2, true).zeros(6);
  for (int i = 0; i < 12; ++i) ps.put(1, 3, true).put(0xE0, 1, false).put(10, 2, true).zeros(10);
  ps.put(1, 3, true).put(0xB9, 1, false);
  c.push_back({"mpeg program stream with end code", 82, ps.b, kCarveSized, ps.size()});

  // Matroska: an 8-byte Segment size near 4 GiB.
  Bytes mkv;
  mkv.raw("\x1A\x45\xDF\xA3").put(0x84, 1, false).zeros(4).raw("\x18\x53\x80\x67").put(0x01, 1, false)
      .put(0xFFFFFFF0, 7, true);
  c.push_back({"matroska segment near 4 GiB", 86, mkv.b, kCarveSized, 4 + 1 + 4 + 4 + 8 + 0xFFFFFFF0ull});

  // MP3: bitrate index 15 is no frame; the walk ends in front of it.
  Bytes mp3 = Id3(100);
  for (int i = 0; i < 12; ++i) Frame(mp3);
  const uint64_t before_bad = mp3.size();
  Frame(mp3, 0xF0);
  c.push_back({"mp3 frame with bitrate index 15", 54, mp3.b, kCarveSized, before_bad});
  Bytes bare;
  for (int i = 0; i < 12; ++i) Frame(bare);
  c.push_back({"mp3 without an id3 tag", 54, bare.b, kCarveInvalid, 0});

  // QuickTime: a box smaller than its header ends the walk.
  Bytes small = Concat({QtBox("ftyp", 24), QtBox("moov", 16), QtBox("mdat", 16), QtBox("free", 4)});
  c.push_back({"quicktime box below 8 bytes", 67, small.b, kCarveSized, 56});
  Bytes second = Concat({QtBox("ftyp", 24), QtBox("moov", 16), QtBox("mdat", 32), QtBox("free", 8), QtBox("moov", 16)});
  c.push_back({"quicktime second moov", 72, second.b, kCarveSized, 80});
  Bytes large = Concat({QtBox("ftyp", 24), QtBox("moov", 16)});
  large.be32(1).raw("mdat").be64(k4G + 16).zeros(64);
  c.push_back({"quicktime 64-bit mdat over 4 GiB", 69, large.b, kCarvePending, 0});

  // RAR: marker, archive header, a file header with 100 bytes of data, end.
  Bytes rar;
  rar.raw("Rar!\x1A\x07").put(0, 1, false);
  rar.le16(0).put(0x73, 1, false).le16(0).le16(13).zeros(6);
  rar.le16(0).put(0x74, 1, false).le16(0x8000).le16(32).le32(100).zeros(32 - 11).zeros(100);
  rar.le16(0).put(0x7B, 1, false).le16(0x4000).le16(7);
  c.push_back({"rar ends with its end block", 62, rar.b, kCarveSized, 7 + 13 + 32 + 100 + 7});

  // FLV: the last tag's trailing size field is damaged.
  Bytes flv;
  flv.raw("FLV").put(1, 1, false).put(5, 1, false).be32(9);
  flv = Concat({flv, FlvTag(18, 20, 0), FlvTag(9, 50, 31), FlvTag(8, 30, 61)});
  // The file keeps the size field that closes the last good tag.
  const uint64_t before_last = flv.size() + 4;
  flv = Concat({flv, FlvTag(9, 40, 41), FlvTag(9, 10, 999)});
  c.push_back({"flv damaged trailing size", 64, flv.b, kCarveSized, before_last});

  // RealMedia: a chunk after DATA makes the file.
  Bytes rm;
  rm.raw(".RMF").be32(18).zeros(10).raw("PROP").be32(50).zeros(42).raw("DATA").be32(100).zeros(92)
      .raw("INDX").be32(30).zeros(22);
  c.push_back({"realmedia with index", 66, rm.b, kCarveSized, 18 + 50 + 100 + 30});

  // WinHelp: the file size in the header.
  Bytes hlp;
  hlp.le32(0x00035F3F).le32(0x100).le32(0).le32(0x1000);
  c.push_back({"winhelp", 41, hlp.b, kCarveSized, 0x1000});
  hlp = Bytes();
  hlp.le32(0x00035F3F).le32(0x100).le32(0).le32(0x100);
  c.push_back({"winhelp smaller than a sector", 41, hlp.b, kCarveInvalid, 0});
  return c;
}

TEST(SizeWalks, HandMadeFiles) {
  for (const WalkCase& c : Cases()) {
    const CarveState st = test::RunRule(c.code, test::InBuffer(c.file));
    EXPECT_EQ(st.status, c.status) << c.what;
    if (c.status == kCarveSized) {
      EXPECT_EQ(st.size, c.size) << c.what;
    }
  }
}

Bytes ZipEntry(const std::string& name, uint32_t data_size) {
  Bytes b;
  b.raw("PK\x03\x04").zeros(14).le32(data_size).le32(data_size).le16(static_cast<uint32_t>(name.size())).le16(0);
  return b.raw(name).zeros(data_size);
}

TEST(SizeWalks, OoxmlRefinedBeforeAPendingReadIsFinishedFromTheWindow) {
  Bytes pkg = Concat({ZipEntry("[Content_Types].xml", 600), ZipEntry("_rels/.rels", 600),
                      ZipEntry("xl/workbook.xml", 600), ZipEntry("xl/styles.xml", 600)});
  pkg.raw("PK\x05\x06").zeros(18);
  const std::vector<uint8_t> buffer = test::InBuffer(pkg.b);
  // The chunk ends after the third local header, which names the package a
  // workbook; the fourth is read from the window.
  CarveState st = test::RunRule(37, buffer, 2048);
  ASSERT_EQ(st.status, kCarvePending);
  EXPECT_EQ(st.code, 38u);
  determine_size(buffer.data(), buffer.size(), st, test::kTestLba);
  EXPECT_EQ(st.status, kCarveSized);
  EXPECT_EQ(st.code, 38u);
  EXPECT_EQ(st.size, pkg.size());
}

TEST(SizeWalks, MpegAudioFrameLengths) {
  struct {
    uint8_t b1, b2;
    uint32_t length;
  } const cases[] = {
      {0xFB, 0x90, 417},  // MPEG-1 layer III 128 kbit/s 44100 Hz
      {0xFB, 0x92, 418},  // padded
      {0xF3, 0x90, 261},  // MPEG-2 layer III 80 kbit/s 22050 Hz: coefficient 72
      {0xFF, 0x90, 312},  // MPEG-1 layer I 288 kbit/s 44100 Hz: 4-byte slots
      {0xFB, 0x00, 0},    // free bitrate
      {0xFB, 0xF0, 0},    // bitrate index 15
      {0xFB, 0x9C, 0},    // sample-rate index 3
      {0xEB, 0x90, 0},    // version bits 01
      {0xF9, 0x90, 0},    // layer bits 00
  };
  for (const auto& c : cases) {
    const uint8_t h[4] = {0xFF, c.b1, c.b2, 0};
    EXPECT_EQ(MpegAudioFrameLength(h), c.length) << std::hex << int{c.b1} << " " << int{c.b2};
  }
}

}  // namespace
}  // namespace trovium
