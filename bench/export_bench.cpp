// Export throughput of one large file against plain copying of the same
// bytes from the image with `dd bs=4M`, both from the page cache into the
// same output folder, in the same run.
//
//   export_bench [--mib N] [--runs N] [--dir FOLDER]
//
// A FAT32 image holding one file of N MiB (default 512) of random bytes is
// made with mkfs.fat and mcopy in FOLDER (default $TMPDIR or /tmp). Each run
// exports the file with the export engine, then copies its extents with dd
// (skip/count in bytes); the best of the runs is printed with the ratio
// export / dd.

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "export/export_engine.h"
#include "fs/quick_listing.h"
#include "platform/source_file.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

int RunTool(const std::vector<std::string>& argv) {
  const pid_t pid = fork();
  if (pid == 0) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    if (!freopen("/dev/null", "w", stderr)) _exit(126);
    execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool WriteRandom(const std::string& path, uint64_t bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::vector<uint64_t> block(1 << 17);
  uint64_t x = 0x9E3779B97F4A7C15ull;
  for (uint64_t done = 0; done < bytes; done += block.size() * 8) {
    for (uint64_t& w : block) {
      x ^= x << 13;
      x ^= x >> 7;
      x ^= x << 17;
      w = x;
    }
    out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size() * 8));
  }
  return static_cast<bool>(out);
}

void WarmCache(const std::string& path) {
  trovium::platform::SourceOpenResult r = trovium::platform::OpenSourceReadOnly(path);
  std::vector<uint8_t> buf(8 << 20);
  for (uint64_t at = 0; trovium::platform::ReadAt(r.fd, buf.data(), buf.size(), at) > 0; at += buf.size()) {
  }
  trovium::platform::CloseSource(r.fd);
}

class Quiet : public trovium::ProgressView {
 public:
  bool Tick(const trovium::ProgressReport*) override { return true; }
};

}  // namespace

int main(int argc, char** argv) {
  uint64_t mib = 512;
  int runs = 3;
  std::string dir = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp";
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--mib") mib = std::strtoull(argv[i + 1], nullptr, 10);
    else if (a == "--runs") runs = std::atoi(argv[i + 1]);
    else if (a == "--dir") dir = argv[i + 1];
  }
  const std::string work = dir + "/export_bench." + std::to_string(getpid());
  fs::create_directories(work);
  const std::string payload = work + "/big.bin", image = work + "/fat32.img", out = work + "/out";
  const uint64_t bytes = mib << 20;
  std::printf("making a FAT32 image with one %llu MiB file in %s\n", static_cast<unsigned long long>(mib),
              work.c_str());
  const uint64_t image_kib = (bytes >> 10) + (bytes >> 13) + 65536;
  if (!WriteRandom(payload, bytes) ||
      RunTool({"mkfs.fat", "-F", "32", "-C", image, std::to_string(image_kib)}) != 0 ||
      RunTool({"mcopy", "-i", image, payload, "::big.bin"}) != 0) {
    std::fprintf(stderr, "could not build the image (mkfs.fat, mcopy)\n");
    fs::remove_all(work);
    return 1;
  }
  fs::remove(payload);

  std::vector<trovium::VolumeRecord> volumes;
  trovium::FoundFileStore store;
  if (!trovium::ListSource(image, trovium::ListOptions{}, volumes)) return 1;
  trovium::LoadListing(store, std::move(volumes), trovium::ListingView::kAll, image);
  uint32_t record = 0;
  store.ReadVolume(trovium::kFirstRealVolume, [&](const trovium::VolumeRecord& v) {
    for (uint32_t i = trovium::kRootIndex + 1; i < v.file_count; ++i) {
      const trovium::FileRecord* r = trovium::GetRecord(v, i);
      if (r && r->size == bytes) record = i;
    }
  });
  std::vector<trovium::DataExtent> extents;
  if (!record || !store.Extents(trovium::kFirstRealVolume, record, extents)) return 1;
  store.ToggleCheck(trovium::kFirstRealVolume, record);
  std::printf("file of %zu extent(s)\n", extents.size());
  WarmCache(image);

  double best_export = 1e30, best_dd = 1e30;
  for (int run = 0; run < runs; ++run) {
    fs::remove_all(out);
    fs::create_directories(out);
    auto job = std::make_shared<trovium::ExportJob>();
    job->store = &store;
    job->source.device_path = image;
    job->source.sector_count = fs::file_size(image) / trovium::kSectorBytes;
    job->out_dir = out;
    Quiet quiet;
    auto t0 = Clock::now();
    const bool ok = trovium::RunWithProgress(job, trovium::SaveAllToDirThread, quiet);
    const double te = std::chrono::duration<double>(Clock::now() - t0).count();
    if (!ok || job->totals.bytes_written != bytes) {
      std::fprintf(stderr, "export failed\n");
      return 1;
    }
    fs::remove_all(out);
    fs::create_directories(out);
    const std::string target = out + "/big.bin";
    t0 = Clock::now();
    uint64_t done = 0;
    for (const trovium::DataExtent& e : extents) {
      const uint64_t n = std::min(e.sector_count * trovium::kSectorBytes, bytes - done);
      RunTool({"dd", "if=" + image, "of=" + target, "bs=4M", "iflag=skip_bytes,count_bytes",
               "oflag=append", "conv=notrunc", "skip=" + std::to_string(e.start_lba * trovium::kSectorBytes),
               "count=" + std::to_string(n), "status=none"});
      done += n;
    }
    const double td = std::chrono::duration<double>(Clock::now() - t0).count();
    best_export = std::min(best_export, te);
    best_dd = std::min(best_dd, td);
    std::printf("run %d: export %.0f MB/s, dd %.0f MB/s\n", run + 1, bytes / te / 1e6, bytes / td / 1e6);
  }
  std::printf("best: export %.0f MB/s, dd bs=4M %.0f MB/s, ratio export/dd %.2f\n", bytes / best_export / 1e6,
              bytes / best_dd / 1e6, best_dd / best_export);
  fs::remove_all(work);
  return 0;
}
