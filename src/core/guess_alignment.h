#pragma once
// Guess of the power of two that most of a list of positions are aligned to.

#include <cstdint>
#include <optional>
#include <span>

namespace trovium {

// Needs at least 20 positions. Over the differences of neighbouring positions,
// counts for each 2^i (i = 0..15) how many are multiples of it; returns the
// largest 2^i whose count exceeds 80 % of the count for 2. Nothing when fewer
// than 20 positions are given or no difference is even.
std::optional<uint32_t> GuessAlignment(std::span<const uint32_t> positions);

}  // namespace trovium
