#include "core/guess_alignment.h"

namespace trovium {

std::optional<uint32_t> GuessAlignment(std::span<const uint32_t> positions) {
  constexpr size_t kMinPositions = 20;
  constexpr int kPowers = 16;
  if (positions.size() < kMinPositions) return std::nullopt;
  uint64_t counts[kPowers] = {};
  for (size_t k = 1; k < positions.size(); ++k) {
    uint32_t diff = positions[k] - positions[k - 1];  // unsigned: order does not matter for alignment
    for (int i = 0; i < kPowers; ++i) {
      if ((diff & ((1u << i) - 1)) == 0) ++counts[i];
    }
  }
  if (counts[1] == 0) return std::nullopt;
  std::optional<uint32_t> best;
  for (int i = 1; i < kPowers; ++i) {
    if (counts[i] * 5 > counts[1] * 4) best = 1u << i;  // more than 80 %
  }
  return best;
}

}  // namespace trovium
