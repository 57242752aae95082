// Any bytes through every carved-file size rule. The first byte picks the
// rule, the second where the first buffer (the chunk) ends; a pending answer
// is run again over the whole input (the carve window), as the scan does.
// TIFF reads 56 MiB at once, so its input sits at the start of a zeroed
// buffer that large.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "content/carve.h"
#include "content/size_rules.h"

namespace {

constexpr uint32_t kCodes[] = {36, 37, 39, 41, 46, 48, 49, 53, 54, 61, 62, 64, 66, 67, 68, 69, 71, 72, 73, 82, 86, 108, 202, 38, 89};
constexpr uint64_t kFirstLba = 4096;
constexpr size_t kTiffWindow = 0x3800000 + 0x10000;

void Check(const trovium::CarveState& st, uint32_t status) {
  using namespace trovium;
  if (status != st.status) __builtin_trap();
  if (status != kCarveNoRule && status != kCarvePending && status != kCarveSized && status != kCarveInvalid) {
    __builtin_trap();
  }
  if (status == kCarveSized && st.size == 0) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace trovium;
  if (size < 2) return 0;
  const uint32_t code = kCodes[data[0] % (sizeof kCodes / sizeof kCodes[0])];
  const uint8_t split = data[1];
  data += 2;
  size -= 2;

  const bool tiff = code == 49;
  static std::vector<uint8_t> big(kTiffWindow, 0);
  std::vector<uint8_t> small;
  uint8_t* buffer = nullptr;
  size_t length = ((size + 511) / 512 + 1) * 512;
  if (tiff) {
    if (size > kTiffWindow) return 0;
    buffer = big.data();
    length = kTiffWindow;
  } else {
    small.assign(length, 0);
    buffer = small.data();
  }
  if (size) std::memcpy(buffer, data, size);

  CarveState st{};
  st.code = code;
  st.first_lba = kFirstLba;
  // The chunk: a whole number of sectors from the start, at least one.
  const size_t sectors = length / 512;
  const size_t chunk_sectors = 1 + (split * sectors) / 256;
  uint32_t status = determine_size(buffer, (chunk_sectors < sectors ? chunk_sectors : sectors) * 512, st, kFirstLba);
  Check(st, status);
  if (status == kCarvePending) {
    status = determine_size(buffer, length, st, kFirstLba);
    Check(st, status);
  }
  if (tiff && size) std::memset(buffer, 0, size);
  return 0;
}
