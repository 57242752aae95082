// A few sectors served as a disk image: the partition-table walk (MBR,
// extended records, GPT), the volume builders over every sector taken as a
// table or boot-sector hit, and NTFS volumes from file-record runs made of the
// same bytes. Nothing may crash, hang or read outside its buffers.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "fs/gpt.h"
#include "fs/partitions.h"
#include "fs/partitions_record_summary.h"
#include "fs/quick_listing.h"
#include "scan/structure_detector.h"

namespace {

constexpr size_t kMaxSectors = 64;

const std::string& ImagePath() {
  static const std::string path = "/dev/shm/trovium-partition-fuzz-" + std::to_string(::getpid()) + ".img";
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace trovium;
  const size_t sectors = std::min(kMaxSectors, (size + 511) / 512);
  if (sectors == 0) return 0;
  std::vector<uint8_t> image(sectors * 512, 0);
  std::memcpy(image.data(), data, std::min(size, image.size()));
  {
    std::ofstream f(ImagePath(), std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  }
  CSectorSource source;
  if (!OpenImage(ImagePath(), source)) {
    ::unlink(ImagePath().c_str());
    return 0;
  }

  std::vector<VolumeRecord> volumes;
  FindSourceVolumes(source, ImagePath(), volumes);

  // Every sector as each kind of hit the builders take, payload its copy.
  std::vector<ScanHit> hits;
  std::vector<FileRecordSummary> summaries(sectors);
  for (size_t i = 0; i < sectors; ++i) {
    const uint8_t* s = image.data() + 512 * i;
    const uint64_t payload = reinterpret_cast<uintptr_t>(s);
    for (uint8_t kind : {uint8_t{222}, uint8_t{223}, uint8_t{226}, uint8_t{228}, uint8_t{233}})
      hits.push_back(ScanHit{kind, 0, i, payload});
    FileRecordSummary& summary = summaries[i];
    summary.name = (s[0] & 1) ? "$MFT" : "x";
    summary.runs.assign(s + 1, s + 1 + (s[9] % 24));
    std::memcpy(&summary.data_size, s + 32, 8);
    hits.push_back(ScanHit{224, 0, static_cast<uint64_t>(i) * 2 + (s[40] & 1), reinterpret_cast<uintptr_t>(&summary)});
  }
  std::vector<VolumeRecord> built;
  PartitionsFromTableSectors(built, hits, source);
  VolumesFromBootSectors(built, hits, source);
  NtfsVolumesFromRecordRuns(built, hits, source);
  for (const VolumeRecord& v : built) {
    if (v.fs_kind != kFsNtfs && v.fs_kind != kFsFat16 && v.fs_kind != kFsFat32 && v.fs_kind != kFsExfat)
      __builtin_trap();
  }
  if (sectors >= 2) {
    std::vector<TablePartition> parts;
    ParseGptEntries(ByteView(image.data() + 512, 512), ByteView(image.data(), image.size()), parts);
  }
  CloseSource(source);
  ::unlink(ImagePath().c_str());
  return 0;
}
