// The deep scan over an image laid out from real files of the carving corpus
// at sector boundaries, with random gaps and filler, files crossing chunk
// boundaries and a JPEG and a TIFF longer than a chunk: each file is found at
// its first sector with the status, size and refined type the corpus manifest
// gives (an independent model of the detector and the size rules).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "common/test_support.h"
#include "scan/chunk_examination.h"

namespace trovium {
namespace {

constexpr uint64_t kChunk = kScanChunkSectors;

struct Placed {
  std::string name;
  uint64_t first_lba = 0;
  uint32_t code = 238;    // type after the size rule
  uint32_t status = 0;    // 0 no rule, 4 sized, 5 invalid; 238 = not detected
  uint64_t size = 0;      // expected size when sized
  std::vector<uint8_t> bytes;
};

void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) { std::memcpy(b.data() + at, &v, 2); }
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) { std::memcpy(b.data() + at, &v, 4); }

// A baseline JPEG whose scan is random entropy-coded data (0xFF stuffed):
// the size rule walks the markers and the scan to the end-of-image marker.
std::vector<uint8_t> LargeJpeg(std::mt19937& rng, size_t scan_bytes) {
  std::vector<uint8_t> b = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
  b.insert(b.end(), {0xFF, 0xDB, 0x00, 0x43, 0x00});
  for (int i = 0; i < 64; ++i) b.push_back(1);
  b.insert(b.end(), {0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x10, 0x00, 0x10, 0x00, 0x01, 0x01, 0x11, 0x00});
  // One DC table with a single 1-bit code.
  b.insert(b.end(), {0xFF, 0xC4, 0x00, 0x14, 0x00, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00});
  b.insert(b.end(), {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00});
  while (scan_bytes-- > 0) {
    uint8_t v = static_cast<uint8_t>(rng());
    b.push_back(v);
    if (v == 0xFF) b.push_back(0x00);
  }
  b.insert(b.end(), {0xFF, 0xD9});
  return b;
}

// An uncompressed grey TIFF without a maker tag, one strip after the directory.
std::vector<uint8_t> LargeTiff(std::mt19937& rng, uint32_t width, uint32_t height) {
  const uint16_t entries = 9;
  const size_t ifd_bytes = 2 + entries * 12 + 4;
  const size_t data_at = 8 + ifd_bytes;
  std::vector<uint8_t> b(data_at + size_t{width} * height);
  std::memcpy(b.data(), "II*\0", 4);
  Put32(b, 4, 8);
  Put16(b, 8, entries);
  const uint32_t tags[entries][3] = {{256, 4, width}, {257, 4, height}, {258, 3, 8},          {259, 3, 1},
                                     {262, 3, 1},     {273, 4, static_cast<uint32_t>(data_at)}, {277, 3, 1},
                                     {278, 4, height}, {279, 4, width * height}};
  for (size_t i = 0; i < entries; ++i) {
    size_t at = 10 + i * 12;
    Put16(b, at, static_cast<uint16_t>(tags[i][0]));
    Put16(b, at + 2, static_cast<uint16_t>(tags[i][1]));
    Put32(b, at + 4, 1);
    Put32(b, at + 8, tags[i][2]);
  }
  for (size_t i = data_at; i < b.size(); ++i) b[i] = static_cast<uint8_t>(rng());
  return b;
}

std::vector<Placed> CorpusFiles() {
  std::ifstream f(test::TestDataPath("corpus/MANIFEST.json"));
  auto manifest = nlohmann::json::parse(f, nullptr, false);
  std::map<std::string, nlohmann::json> by_name;
  if (manifest.is_object()) {
    for (const auto& e : manifest["files"]) by_name[e["name"].get<std::string>()] = e;
  }
  std::vector<Placed> files;
  for (const char* folder : {"corpus/size", "corpus/scan"}) {
    std::string dir = test::TestDataPath(folder);
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr) continue;
    while (dirent* e = ::readdir(d)) {
      auto it = by_name.find(e->d_name);
      if (it == by_name.end()) continue;
      const auto& m = it->second;
      Placed p;
      p.name = e->d_name;
      p.bytes = test::ReadFile(dir + "/" + p.name);
      const std::string status = m["expected_status"];
      p.code = m["type_code"].get<uint32_t>();
      p.status = status == "sized" ? 4 : status == "invalid" ? 5 : status == "no_rule" ? 0 : 238;
      if (status == "sized") p.size = m["expected_size"].get<uint64_t>();
      files.push_back(std::move(p));
    }
    ::closedir(d);
  }
  std::sort(files.begin(), files.end(), [](const Placed& a, const Placed& b) { return a.name < b.name; });
  return files;
}

TEST(CarvingFixture, EveryCorpusFileIsFoundAtItsSectorWithItsStatusSizeAndType) {
  std::mt19937 rng(1);
  std::vector<Placed> files = CorpusFiles();
  ASSERT_GE(files.size(), 40u) << "corpus files missing from the test data";
  Placed jpeg{"large-noise.jpg", 0, 46, 4, 0, LargeJpeg(rng, 9u << 20)};
  jpeg.size = jpeg.bytes.size();
  Placed tiff{"large-noise.tif", 0, 50, 4, 0, LargeTiff(rng, 3000, 3600)};
  tiff.size = tiff.bytes.size();
  files.push_back(std::move(jpeg));
  files.push_back(std::move(tiff));
  std::shuffle(files.begin(), files.end(), rng);

  // Lay the files out; every fifth one is moved to start just before a chunk
  // boundary so that it crosses it. OLE2 files never cross one: their
  // directory must lie in the chunk of their first sector.
  uint64_t lba = 0;
  int crossing = 0;
  for (size_t i = 0; i < files.size(); ++i) {
    Placed& p = files[i];
    lba += 1 + rng() % 64;
    const uint64_t sectors = (p.bytes.size() + 8 + 511) / 512;
    const uint64_t boundary = (lba / kChunk + 1) * kChunk;
    const bool ole2 = p.bytes.size() >= 8 && std::memcmp(p.bytes.data(), "\xD0\xCF\x11\xE0", 4) == 0;
    if (ole2 && lba + sectors > boundary) lba = boundary;
    if (!ole2 && i % 5 == 2 && sectors > 4 && boundary - 2 >= lba) lba = boundary - 2;
    p.first_lba = lba;
    if (lba / kChunk != (lba + sectors - 1) / kChunk) ++crossing;
    lba += sectors;
  }
  ASSERT_GE(crossing, 3);
  // Room behind the last file for the window to finish every carve.
  const uint64_t total = (lba / kChunk + 9) * kChunk;
  std::vector<uint8_t> image(total * 512);
  for (size_t i = 0; i + 4 <= image.size(); i += 4) {
    uint32_t v = static_cast<uint32_t>(rng());
    std::memcpy(image.data() + i, &v, 4);
  }
  for (const Placed& p : files) {
    std::memcpy(image.data() + p.first_lba * 512, p.bytes.data(), p.bytes.size());
    std::memcpy(image.data() + p.first_lba * 512 + p.bytes.size(), "~~~~~~~~", 8);
  }

  ChunkOrder order;
  ASSERT_TRUE(order.map.Create(total));
  SetUpChunkOrder(order, {.mode = 1, .start_lba = 0, .sector_count = total, .device_sectors = total});
  HitStore store;
  ASSERT_TRUE(CreateHitStore(store, total));
  ScanStats stats{};
  ChunkExamination exam;
  exam.order = &order;
  exam.store = &store;
  exam.stats = &stats;
  for (uint64_t c = 0; c < total; c += kChunk) {
    ASSERT_TRUE(ProcessChunk(exam, ByteView(image.data() + c * 512, kScanChunkBytes), c));
  }

  std::map<uint64_t, ScanHit> first_hit_at;
  HitList all{MemAllocator<ScanHit>(404)};
  CollectHits(store, all, false, false);
  for (const ScanHit& h : all) first_hit_at.emplace(h.lba, h);
  for (const Placed& p : files) {
    SCOPED_TRACE(p.name + " at LBA " + std::to_string(p.first_lba));
    auto it = first_hit_at.find(p.first_lba);
    if (p.status == 238) {
      EXPECT_TRUE(it == first_hit_at.end() || it->second.kind >= 172);
      continue;
    }
    ASSERT_NE(it, first_hit_at.end());
    EXPECT_EQ(it->second.kind, p.code);
    EXPECT_EQ(it->second.sub, p.status);
    if (p.status == 4) {
      EXPECT_EQ(it->second.payload, p.size);
    }
  }
  ReleaseHitStore(store);
}

}  // namespace
}  // namespace trovium
