#include "content/carve.h"

#include "content/size_rules.h"

namespace trovium {

uint32_t read_carve_bytes(CarveState& state, const CarveBuffer& buffer, ByteView& out) {
  out = ByteView();
  const uint64_t length = state.read_length;
  if (length == 0 || length > kCarveMaxRead) return kCarveOutOfRange;
  const uint64_t buffer_sectors = buffer.length / kCarveSectorBytes;
  if (buffer.data == nullptr || buffer_sectors == 0) return kCarveOutOfRange;
  // Offsets come from device bytes: keep every sum away from wrapping.
  const uint64_t max_offset = UINT64_MAX - length;
  if (state.offset > max_offset) return kCarveOutOfRange;
  const uint64_t first_rel = state.offset / kCarveSectorBytes;
  const uint64_t last_rel = (state.offset + length - 1) / kCarveSectorBytes;
  if (state.first_lba > UINT64_MAX - last_rel) return kCarveOutOfRange;
  const uint64_t need_first = state.first_lba + first_rel;
  const uint64_t need_last = state.first_lba + last_rel;
  const uint64_t buffer_last = buffer.first_lba + buffer_sectors - 1;
  if (need_last < buffer.first_lba) return kCarveOutOfRange;
  if (need_first > buffer_last && need_first - buffer_last > kCarveFarSectors) return kCarveOutOfRange;
  if (need_first < buffer.first_lba || need_last > buffer_last) {
    // The exact last sector: asking one more when the read ends on a sector
    // boundary would wait forever for a file that ends the device.
    state.need_first_lba = need_first;
    state.need_last_lba = need_last;
    return kCarvePending;
  }
  const uint64_t at = (state.first_lba - buffer.first_lba) * kCarveSectorBytes + state.offset;
  out = ByteView(buffer.data + at, static_cast<size_t>(length));
  return kCarveReadDone;
}

uint32_t determine_size(const uint8_t* buffer, uint64_t length, CarveState& state, uint64_t buffer_lba) {
  const SizeRule rule = size_rule_table()[state.code & 0xFF];
  uint32_t status = kCarveNoRule;
  if (rule == nullptr || state.code > 0xFF) {
    state.size = 0;
  } else {
    status = rule(CarveBuffer{buffer, length, buffer_lba}, state);
    if (status != kCarvePending && status != kCarveSized && status != kCarveNoRule) status = kCarveInvalid;
  }
  state.status = status;
  return status;
}

}  // namespace trovium
