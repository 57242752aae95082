// Cost of the per-sector detectors of the deep scan (file signature, then the
// file-system structure detector when no file starts there), in ns per sector,
// over 1 GiB of random bytes and over 1 GiB of the carving corpus laid at
// sector boundaries and repeated. A 64 MiB buffer is walked 16 times.
//   detector_bench [corpus folder]   (default: testdata/corpus beside bin/)

#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "content/signatures.h"
#include "scan/structure_detector.h"

namespace {

using namespace trovium;

constexpr size_t kBuffer = 64u << 20;
constexpr int kPasses = 16;  // 1 GiB in all

void AddFolder(const std::string& dir, std::vector<uint8_t>& out) {
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return;
  while (dirent* e = ::readdir(d)) {
    if (e->d_name[0] == '.') continue;
    std::string path = dir + "/" + e->d_name;
    if (e->d_type == DT_DIR) {
      AddFolder(path, out);
      continue;
    }
    std::ifstream f(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    out.insert(out.end(), bytes.begin(), bytes.end());
    out.resize((out.size() + 511) / 512 * 512, 0);
  }
  ::closedir(d);
}

struct Result {
  double ns_per_sector;
  uint64_t files;
  uint64_t structures;
};

Result Walk(const std::vector<uint8_t>& buffer) {
  uint64_t files = 0, structures = 0;
  const uint64_t sectors = buffer.size() / 512;
  auto start = std::chrono::steady_clock::now();
  for (int pass = 0; pass < kPasses; ++pass) {
    for (uint64_t i = 0; i < sectors; ++i) {
      ByteView sector(buffer.data() + i * 512, 512);
      FileTypeCode code;
      uint8_t kind;
      if (detect_file_type(sector, code)) {
        ++files;
      } else if (DetectStructure(sector, i, kind)) {
        ++structures;
      }
    }
  }
  double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
  return {ns / double(sectors * kPasses), files, structures};
}

// The same walk with the signature test alone.
double SignatureOnly(const std::vector<uint8_t>& buffer) {
  uint64_t files = 0;
  const uint64_t sectors = buffer.size() / 512;
  auto start = std::chrono::steady_clock::now();
  for (int pass = 0; pass < kPasses; ++pass) {
    for (uint64_t i = 0; i < sectors; ++i) {
      FileTypeCode code;
      files += detect_file_type(ByteView(buffer.data() + i * 512, 512), code);
    }
  }
  double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
  if (files == UINT64_MAX) std::puts("");
  return ns / double(sectors * kPasses);
}

std::string DefaultCorpus() {
  char exe[4096] = {};
  ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
  std::string dir = n > 0 ? std::string(exe, static_cast<size_t>(n)) : std::string();
  dir = dir.substr(0, dir.find_last_of('/'));
  return dir + "/../testdata/corpus";
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<uint8_t> random(kBuffer);
  std::mt19937_64 rng(1);
  for (size_t i = 0; i < random.size(); i += 8) {
    uint64_t v = rng();
    std::memcpy(random.data() + i, &v, 8);
  }
  std::vector<uint8_t> corpus_files;
  AddFolder(argc > 1 ? argv[1] : DefaultCorpus(), corpus_files);
  if (corpus_files.empty()) {
    std::fprintf(stderr, "no corpus files found; pass the folder\n");
    return 1;
  }
  std::vector<uint8_t> corpus(kBuffer);
  for (size_t at = 0; at < corpus.size(); at += corpus_files.size()) {
    std::memcpy(corpus.data() + at, corpus_files.data(), std::min(corpus_files.size(), corpus.size() - at));
  }

  for (const auto& [name, buffer] : {std::pair<const char*, const std::vector<uint8_t>*>{"random", &random},
                                     {"corpus", &corpus}}) {
    Result r = Walk(*buffer);
    double sig = SignatureOnly(*buffer);
    std::printf("%-7s 1 GiB: signature+structure %.2f ns/sector (%.2f GB/s), signature alone %.2f ns/sector; "
                "file starts %llu, structures %llu\n",
                name, r.ns_per_sector, 512.0 / r.ns_per_sector, sig, static_cast<unsigned long long>(r.files),
                static_cast<unsigned long long>(r.structures));
  }
  return 0;
}
