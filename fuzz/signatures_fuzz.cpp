// Any bytes through the file-signature detector, as given (any length) and
// as one sector; and through the size step of the type it names, over the
// input as a buffer of sectors, which also drives the pending window step.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "content/carve.h"
#include "content/signatures.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace trovium;
  FileTypeCode code = 0;
  bool found = detect_file_type(ByteView(data, size), code);
  if (found != (code != kUnknownFileType)) __builtin_trap();
  if (found && (code < kFirstFileTypeCode || code > kLastFileTypeCode)) __builtin_trap();

  std::vector<uint8_t> buffer((size + 511) / 512 * 512 + 512, 0);
  if (size > 0) std::memcpy(buffer.data(), data, size);
  FileTypeCode sector_code = 0;
  if (!detect_file_type(ByteView(buffer.data(), 512), sector_code)) return 0;
  // The same first 49 bytes decide, whatever follows.
  if (size >= kSignatureBytes && sector_code != code) __builtin_trap();
  CarveState state{};
  state.code = sector_code;
  state.first_lba = 100;
  uint32_t status = determine_size(buffer.data(), buffer.size(), state, 100);
  if (status != state.status || status == kCarveReadDone || status == kCarveOutOfRange || status > kCarveInvalid) {
    __builtin_trap();
  }
  return 0;
}
