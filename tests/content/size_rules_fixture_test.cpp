// Real files of every format with a size rule, laid into a buffer the way a
// scan sees them (a few sectors of filler before, the 8-byte tail guard and
// random filler after), sized once from one buffer that holds them whole and
// once split: the chunk ends after the file's first sector, and the pending
// carve is finished from the window. Expected codes and sizes are those of
// the corpus manifest, made from the files by an independent model.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "common/test_support.h"
#include "content/carve.h"

namespace trovium {
namespace {

struct CorpusCase {
  const char* name;
  uint32_t detect_code;
  uint32_t final_code;
  uint32_t status;
  uint64_t size;
};

const CorpusCase kCases[] = {
    {"jpeg-plain.jpg", 46, 46, kCarveSized, 15573},
    {"jpeg-exif-thumb.jpg", 46, 46, kCarveSized, 118492},
    {"jpeg-progressive.jpg", 46, 46, kCarveSized, 18644},
    {"bmp-v3.bmp", 48, 48, kCarveSized, 37690},
    {"bmp-v5.bmp", 48, 48, kCarveSized, 24714},
    {"bmp-os2.bmp", 48, 48, kCarveSized, 9242},
    {"tiff-le-small.tif", 49, 49, kCarveInvalid, 0},
    {"raw-canon.cr2", 49, 49, kCarveSized, 2150830},
    {"raw-nikon.nef", 49, 92, kCarveSized, 2150840},
    {"raw-pentax.pef", 49, 98, kCarveSized, 2150842},
    {"raw-sony.sr2", 49, 101, kCarveSized, 2150826},
    {"raw-olympus.orf", 49, 104, kCarveSized, 2150838},
    {"raw-panasonic.raw", 49, 50, kCarveSized, 2150828},
    {"raw-samsung.dng", 49, 52, kCarveSized, 2150824},
    {"raw-mamiya.mef", 49, 102, kCarveSized, 2150818},
    {"raw-ricoh.tif", 49, 50, kCarveSized, 2150850},
    {"wav-canonical.wav", 53, 53, kCarveSized, 66194},
    {"wav-list-chunk.wav", 53, 53, kCarveSized, 44178},
    {"mp3-id3v2.mp3", 54, 54, kCarveSized, 37290},
    {"mp3-id3v2-ape-id3v1.mp3", 54, 54, kCarveSized, 8675},
    {"wma-audio.wma", 108, 108, kCarveSized, 19744},
    {"wmv-wmv2.wmv", 108, 108, kCarveSized, 106507},
    {"m4a-aac.m4a", 69, 67, kCarveSized, 15768},
    {"mp4-h264.mp4", 72, 67, kCarveSized, 26768},
    {"mp4-faststart.mp4", 72, 67, kCarveSized, 26768},
    {"mov-h264.mov", 67, 67, kCarveSized, 26819},
    {"3gp-h263.3gp", 68, 67, kCarveSized, 80774},
    {"3g2-h263.3g2", 67, 67, kCarveSized, 80774},
    {"m4v-h264.m4v", 71, 67, kCarveSized, 13100},
    {"avi-mpeg4.avi", 73, 73, kCarveSized, 141394},
    {"mkv-vp8.mkv", 86, 86, kCarveSized, 33503},
    {"webm-vp9.webm", 86, 86, kCarveSized, 18335},
    {"flv-flv1.flv", 64, 64, kCarveSized, 90855},
    {"mpg-mpeg2-ps.mpg", 82, 82, kCarveSized, 126976},
    {"mpg-mpeg1-ps.mpg", 82, 82, kCarveSized, 122880},
    {"rm-rv10.rm", 66, 66, kCarveInvalid, 0},
    {"doc-word97.doc", 36, 36, kCarveSized, 9728},
    {"xls-excel97.xls", 36, 87, kCarveSized, 6656},
    {"ppt-powerpoint97.ppt", 36, 90, kCarveSized, 461312},
    // Written with data descriptors: no sizes in the local headers.
    {"docx-libreoffice.docx", 61, 61, kCarveSized, 4904},
    {"xlsx-libreoffice.xlsx", 61, 61, kCarveSized, 5123},
    {"pptx-libreoffice.pptx", 61, 61, kCarveSized, 25154},
    {"docx-repacked.docx", 37, 37, kCarveSized, 5106},
    {"xlsx-repacked.xlsx", 37, 38, kCarveSized, 5437},
    {"pptx-repacked.pptx", 37, 89, kCarveSized, 25643},
    {"zip-infozip.zip", 61, 61, kCarveSized, 16159},
    {"zip-comment.zip", 61, 61, kCarveSized, 163750},
    {"chm-clamav.chm", 39, 39, kCarveSized, 10950},
};

// The packages with data descriptors, found as OOXML: sized, and refined from
// their part names.
const CorpusCase kOoxmlCases[] = {
    {"docx-libreoffice.docx", 37, 37, kCarveSized, 4904},
    {"xlsx-libreoffice.xlsx", 37, 38, kCarveSized, 5123},
    {"pptx-libreoffice.pptx", 37, 89, kCarveSized, 25154},
};

constexpr uint64_t kBufferLba = 1 << 20;
constexpr uint64_t kLeadSectors = 3;

// Seeded filler, so that no walk continues into zeros by luck.
void Fill(uint8_t* p, size_t n, uint64_t seed) {
  for (size_t i = 0; i < n; i += 8) {
    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
    const uint64_t x = seed ^ (seed >> 29);
    std::memcpy(p + i, &x, std::min<size_t>(8, n - i));
  }
}

// Filler, the file from sector kLeadSectors, the guard, more filler: `length` bytes.
std::vector<uint8_t> LayOut(const std::vector<uint8_t>& file, size_t length) {
  // Random bytes around the file; far behind it, zeros do as well.
  std::vector<uint8_t> buffer(length, 0);
  Fill(buffer.data(), std::min(buffer.size(), kLeadSectors * 512 + file.size() + (1u << 20)), 7);
  std::memcpy(buffer.data() + kLeadSectors * 512, file.data(), file.size());
  std::memcpy(buffer.data() + kLeadSectors * 512 + file.size(), "~~~~~~~~", 8);
  return buffer;
}

CarveState Hit(uint32_t code) {
  CarveState st{};
  st.code = code;
  st.first_lba = kBufferLba + kLeadSectors;
  return st;
}

class SizeRulesCorpus : public testing::TestWithParam<CorpusCase> {};

TEST_P(SizeRulesCorpus, SizedWholeAndAcrossAChunkEnd) {
  const CorpusCase& c = GetParam();
  const std::vector<uint8_t> file = test::ReadFile(test::TestDataPath(std::string("corpus/size/") + c.name));
  ASSERT_FALSE(file.empty()) << c.name;
  // Room for the widest reads: TIFF reads 56 MiB at once, JPEG and OLE2 grow
  // their read by 8 MiB past the chunk.
  const size_t room = c.detect_code == 49 ? (56u << 20) : std::max<size_t>(file.size() + 65536, 9u << 20);
  const std::vector<uint8_t> window = LayOut(file, kLeadSectors * 512 + room);

  CarveState whole = Hit(c.detect_code);
  EXPECT_EQ(determine_size(window.data(), window.size(), whole, kBufferLba), c.status) << c.name;
  EXPECT_EQ(whole.status, c.status);
  EXPECT_EQ(whole.code, c.final_code) << c.name;
  if (c.status == kCarveSized) {
    EXPECT_EQ(whole.size, c.size) << c.name;
  }

  // The chunk ends after the file's first sector. Only the rules that read
  // no more than the first sector can finish there.
  CarveState split = Hit(c.detect_code);
  const uint32_t first = determine_size(window.data(), (kLeadSectors + 1) * 512, split, kBufferLba);
  const bool header_only = c.detect_code == 39 || c.detect_code == 48 || c.detect_code == 53;
  if (c.status == kCarveSized && !header_only) {
    ASSERT_EQ(first, kCarvePending) << c.name;
    EXPECT_GE(split.need_last_lba, split.need_first_lba);
    EXPECT_GT(split.need_last_lba, kBufferLba + kLeadSectors) << c.name;
  }
  if (first == kCarvePending) determine_size(window.data(), window.size(), split, kBufferLba);
  EXPECT_EQ(split.status, c.status) << c.name;
  EXPECT_EQ(split.code, c.final_code) << c.name;
  EXPECT_EQ(split.size, whole.size) << c.name;
}

std::string CaseName(const testing::TestParamInfo<CorpusCase>& param) {
  std::string name = param.param.name;
  for (char& ch : name) {
    if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Corpus, SizeRulesCorpus, testing::ValuesIn(kCases), CaseName);
INSTANTIATE_TEST_SUITE_P(AsOoxml, SizeRulesCorpus, testing::ValuesIn(kOoxmlCases), CaseName);

}  // namespace
}  // namespace trovium
