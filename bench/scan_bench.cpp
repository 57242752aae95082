// Whole deep scan against plain reading of the same bytes from the page cache.
//
//   scan_bench [IMAGE [FIXTURE]] [--runs N]
//
// Without IMAGE a 1.5 GiB image of random bytes is written once to the
// temporary folder (FIXTURE, when given, is copied in at its start). The image
// is read once so that it sits in the page cache; then each run measures
// pread in 8 MiB blocks into one reused buffer and into nine rotating buffers,
// and the deep scan (reader, queue, handler, structure detector on every
// sector), and prints MB/s and the ratio scan / plain read.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/source_file.h"
#include "scan/scan_pipeline.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint64_t kBlock = 8ull << 20;
constexpr uint64_t kDefaultBytes = 1536ull << 20;

bool WriteImage(const std::string& path, uint64_t bytes, const std::string& fixture) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::vector<uint64_t> block(kBlock / 8);
  uint64_t x = 0x9E3779B97F4A7C15ull;
  for (uint64_t done = 0; done < bytes; done += kBlock) {
    for (uint64_t& w : block) {
      x ^= x << 13;
      x ^= x >> 7;
      x ^= x << 17;
      w = x;
    }
    out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(kBlock));
  }
  if (!fixture.empty()) {
    std::ifstream in(fixture, std::ios::binary);
    std::vector<char> bytes_in((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    out.seekp(0);
    out.write(bytes_in.data(), static_cast<std::streamsize>(std::min<uint64_t>(bytes_in.size(), bytes)));
  }
  return static_cast<bool>(out);
}

// Seconds to read the whole file in 8 MiB blocks, rotating over `buffers`.
double PlainRead(const std::string& path, uint64_t bytes, int buffers) {
  trovium::platform::SourceOpenResult r = trovium::platform::OpenSourceReadOnly(path);
  if (r.fd < 0) return 0;
  std::vector<std::vector<uint8_t>> bufs(buffers, std::vector<uint8_t>(kBlock, 1));
  uint64_t sink = 0;
  auto t0 = Clock::now();
  int i = 0;
  for (uint64_t at = 0; at < bytes; at += kBlock, i = (i + 1) % buffers) {
    trovium::platform::ReadAt(r.fd, bufs[i].data(), kBlock, at);
    sink += bufs[i][4096];
  }
  double s = std::chrono::duration<double>(Clock::now() - t0).count();
  trovium::platform::CloseSource(r.fd);
  if (sink == 42) std::printf(" ");
  return s;
}

double DeepScan(const std::string& path, uint64_t bytes) {
  trovium::ChunkOrder order;
  trovium::HitStore hits;
  double s = 0;
  {
    trovium::ScanParameter scan;
    scan.source.device_path = path;
    scan.source.display_name = path;
    scan.source.sector_count = bytes / 512;
    scan.source.device_sectors = bytes / 512;
    scan.settings = trovium::DefaultScanSettings(scan.source, trovium::kModeAll);
    scan.order = &order;
    scan.hits = &hits;
    scan.post_scan_delay_ms = 0;
    auto t0 = Clock::now();
    if (!trovium::StartDeepScan(scan)) return 0;
    trovium::WaitDeepScan(scan);
    s = std::chrono::duration<double>(Clock::now() - t0).count();
  }
  trovium::ReleaseHitStore(hits);
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  std::string image;
  std::string fixture;
  int runs = 3;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--runs" && i + 1 < argc) runs = std::atoi(argv[++i]);
    else if (image.empty()) image = a;
    else fixture = a;
  }
  if (image.empty()) {
    image = (std::filesystem::temp_directory_path() / "trovium-scan-bench.img").string();
    std::error_code ec;
    if (std::filesystem::file_size(image, ec) != kDefaultBytes) {
      std::printf("writing %s ...\n", image.c_str());
      if (!WriteImage(image, kDefaultBytes, fixture)) {
        std::fprintf(stderr, "cannot write %s\n", image.c_str());
        return 1;
      }
    }
  }
  std::error_code ec;
  uint64_t bytes = std::filesystem::file_size(image, ec);
  bytes -= bytes % kBlock;
  if (ec || bytes == 0) {
    std::fprintf(stderr, "cannot use %s\n", image.c_str());
    return 1;
  }
  PlainRead(image, bytes, 1);  // into the page cache
  const double mb = static_cast<double>(bytes) / 1e6;
  std::printf("%s: %.0f MB\n", image.c_str(), mb);
  for (int run = 1; run <= runs; ++run) {
    double one = PlainRead(image, bytes, 1);
    double nine = PlainRead(image, bytes, 9);
    double scan = DeepScan(image, bytes);
    std::printf("run %d: pread 1 buffer %.0f MB/s, 9 buffers %.0f MB/s, deep scan %.0f MB/s; "
                "ratio scan/pread %.2f (against 9 buffers %.2f)\n",
                run, mb / one, mb / nine, mb / scan, one / scan, nine / scan);
  }
  return 0;
}
