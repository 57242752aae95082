#include "scan/chunk_examination.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "content/file_type_table.h"
#include "scan/structure_detector.h"

namespace trovium {
namespace {

constexpr uint64_t kChunk = kScanChunkSectors;

void Put16(uint8_t* s, size_t at, uint16_t v) { std::memcpy(s + at, &v, 2); }
void Put32(uint8_t* s, size_t at, uint32_t v) { std::memcpy(s + at, &v, 4); }
void Put64(uint8_t* s, size_t at, uint64_t v) { std::memcpy(s + at, &v, 8); }

void NtfsBoot(uint8_t* s) {
  const uint8_t head[] = {0xEB, 0x52, 0x90, 'N', 'T', 'F', 'S', ' ', ' ', ' ', ' '};
  std::memcpy(s, head, sizeof head);
  Put16(s, 11, 512);
  s[13] = 8;
  s[21] = 0xF8;
  Put16(s, 24, 63);
  Put64(s, 40, 1 << 20);
  Put64(s, 48, 4);
  Put64(s, 56, 8);
  s[64] = 0xF6;
  s[510] = 0x55;
  s[511] = 0xAA;
}

void FileRecord(uint8_t* s, uint32_t number) {
  std::memcpy(s, "FILE", 4);
  Put16(s, 4, 0x30);
  Put16(s, 20, 0x38);
  Put32(s, 24, 0x1A0);
  Put32(s, 28, 0x400);
  Put32(s, 44, number);
  Put32(s, 56, 0x10);
}

void FatDir(uint8_t* s, uint32_t dot, uint32_t dotdot) {
  std::memset(s, ' ', 11);
  s[0] = '.';
  std::memset(s + 32, ' ', 11);
  s[32] = s[33] = '.';
  Put16(s, 20, dot >> 16);
  Put16(s, 26, dot & 0xFFFF);
  Put16(s, 52, dotdot >> 16);
  Put16(s, 58, dotdot & 0xFFFF);
}

// A partition-table sector whose first bytes also start a PDF.
void PdfOverPartitionTable(uint8_t* s) {
  std::memcpy(s, "%PDF-1.4", 8);
  s[446 + 4] = 0x07;
  Put32(s, 446 + 8, 2048);
  Put32(s, 446 + 12, 0x100000);
  s[510] = 0x55;
  s[511] = 0xAA;
}

// JPEGs wait for the chunk after their own and are then sized; anything else
// is sized at once.
uint32_t TestSize(const uint8_t*, uint64_t length, CarveState& state, uint64_t buffer_lba) {
  if (state.code != kFileTypeJpg) {
    state.size = 1234;
    return kCarveSized;
  }
  const uint64_t need = (state.first_lba / kScanChunkSectors + 1) * kScanChunkSectors;
  if (buffer_lba + length / 512 <= need) {
    state.need_first_lba = state.need_last_lba = need;
    return kCarvePending;
  }
  state.size = 777;
  return kCarveSized;
}

class ChunkExaminationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(order_.map.Create(8 * kChunk));
    SetUpChunkOrder(order_, {.mode = 1, .start_lba = 0, .sector_count = 8 * kChunk, .device_sectors = 8 * kChunk});
    ASSERT_TRUE(CreateHitStore(store_, 8 * kChunk));
    exam_.order = &order_;
    exam_.store = &store_;
    exam_.stats = &stats_;
    chunk_.assign(kScanChunkBytes + 512, 0);
  }
  void TearDown() override {
    ReleaseHitStore(store_);
  }
  uint8_t* Sector(size_t i) { return chunk_.data() + i * 512; }
  bool Run(uint64_t chunk_lba) { return ProcessChunk(exam_, ByteView(chunk_.data(), chunk_.size()), chunk_lba); }
  const HitList& Hits(uint64_t chunk) { return *ChunkHitList(store_, chunk); }

  ChunkOrder order_;
  HitStore store_;
  ScanStats stats_{};
  ChunkExamination exam_;
  std::vector<uint8_t> chunk_;
};

TEST_F(ChunkExaminationTest, StructuresAreRecordedWithTheirPayloadsAndCounted) {
  NtfsBoot(Sector(0));
  FatDir(Sector(7), 0x00120034, 0x00560078);
  uint8_t kind = 0;
  ASSERT_TRUE(DetectStructure(ByteView(Sector(0), 512), 2 * kChunk, kind));
  ASSERT_EQ(kind, StructKind::kNtfsBoot);
  ASSERT_TRUE(Run(2 * kChunk));
  const HitList& hits = Hits(2);
  ASSERT_EQ(hits.size(), 2u);
  EXPECT_EQ(hits[0].kind, StructKind::kNtfsBoot);
  EXPECT_EQ(hits[0].lba, 2 * kChunk);
  ASSERT_NE(hits[0].payload, 0u);
  EXPECT_EQ(std::memcmp(reinterpret_cast<const void*>(hits[0].payload), Sector(0), 512), 0);
  EXPECT_EQ(hits[1].kind, StructKind::kFatDirEntry);
  EXPECT_EQ(hits[1].payload, 0x00120034ull | (0x00560078ull << 32));
  EXPECT_EQ(stats_.ntfsBootHits, 1u);
  EXPECT_EQ(stats_.fatDirHits, 1u);
  EXPECT_EQ(stats_.doneSectors, kChunk);
  EXPECT_EQ(order_.map.Get(2), kChunkExamined);
  EXPECT_EQ(ChunkHitList(store_, 1), nullptr);
}

TEST_F(ChunkExaminationTest, AFileStartHidesTheStructureInTheSameSectorAndPendingCarvesFinishLater) {
  exam_.pending.size_step = TestSize;
  PdfOverPartitionTable(Sector(3));
  uint8_t kind = 0;
  ASSERT_TRUE(DetectStructure(ByteView(Sector(3), 512), 3, kind));
  const uint8_t jpeg[] = {0xFF, 0xD8, 0xFF, 0xE0};
  std::memcpy(Sector(9), jpeg, 4);
  ASSERT_TRUE(Run(0));
  const HitList& hits = Hits(0);
  ASSERT_EQ(hits.size(), 2u);
  EXPECT_EQ(hits[0].kind, kFileTypePdf);
  EXPECT_EQ(hits[0].sub, kCarveSized);
  EXPECT_EQ(hits[0].payload, 1234u);
  EXPECT_EQ(hits[1].kind, kFileTypeJpg);
  EXPECT_EQ(hits[1].sub, kCarvePending);
  EXPECT_EQ(exam_.pending.list.size(), 1u);
  EXPECT_EQ(stats_.filesFound, 2u);
  EXPECT_EQ(stats_.ebrHits, 0u);

  // The next chunk completes the JPEG: its stored hit in chunk 0 is updated.
  chunk_.assign(chunk_.size(), 0);
  ASSERT_TRUE(Run(kChunk));
  EXPECT_TRUE(exam_.pending.list.empty());
  EXPECT_EQ(Hits(0)[1].sub, kCarveSized);
  EXPECT_EQ(Hits(0)[1].payload, 777u);
}

TEST_F(ChunkExaminationTest, FileRecordsOfAKnownMftAskTheReaderOnce) {
  FileRecord(Sector(100), 40);
  FileRecord(Sector(102), 41);
  FileRecord(Sector(300), 7);  // outside the extent: asked again, unknown
  int asked = 0;
  exam_.steps.in_known_mft = [&](uint64_t lba, uint64_t& start, uint64_t& sectors) {
    ++asked;
    if (lba != 100) return false;
    start = 20;
    sectors = 200;
    return true;
  };
  ASSERT_TRUE(Run(0));
  EXPECT_EQ(asked, 2);
  ASSERT_EQ(Hits(0).size(), 1u);
  EXPECT_EQ(Hits(0)[0].lba, 300u);
  EXPECT_EQ(stats_.fileRecordHits, 1u);
}

TEST_F(ChunkExaminationTest, AFileRecordWithoutSummaryIsNeitherRecordedNorCounted) {
  FileRecord(Sector(10), 1);
  FileRecord(Sector(12), 2);
  exam_.steps.file_record_summary = [](ByteView s, uint64_t, uint64_t& payload) {
    payload = s.le32_or0(44) == 2 ? 0xABC : 0;
    return payload != 0;
  };
  ASSERT_TRUE(Run(kChunk));
  ASSERT_EQ(Hits(1).size(), 1u);
  EXPECT_EQ(Hits(1)[0].payload, 0xABCu);
  EXPECT_EQ(stats_.fileRecordHits, 1u);
}

TEST_F(ChunkExaminationTest, ShownWhileScanningOnlyWhenSwitchedOn) {
  NtfsBoot(Sector(0));
  for (bool show : {false, true}) {
    int boots = 0, published = 0;
    exam_.show_while_scanning = show;
    exam_.steps.volume_from_boot_sector = [&](const ScanHit&) { ++boots; };
    exam_.steps.publish_carved_files = [&](std::span<const ScanHit>, uint64_t) { ++published; };
    ASSERT_TRUE(Run(show ? 4 * kChunk : 5 * kChunk));
    EXPECT_EQ(boots, show ? 1 : 0);
    EXPECT_EQ(published, show ? 1 : 0);
  }
}

TEST_F(ChunkExaminationTest, AChunkBeyondTheStoreKeepsNoHitsAndLeaksNothing) {
  NtfsBoot(Sector(0));
  EXPECT_TRUE(Run(9 * kChunk));
  EXPECT_EQ(stats_.ntfsBootHits, 1u);
  EXPECT_EQ(order_.map.Get(9), kChunkOutsideMap);
}

}  // namespace
}  // namespace trovium
