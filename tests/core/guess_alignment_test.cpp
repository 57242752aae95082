#include "core/guess_alignment.h"

#include <gtest/gtest.h>

#include <vector>

namespace trovium {
namespace {

std::vector<uint32_t> Steps(uint32_t first, uint32_t step, size_t count) {
  std::vector<uint32_t> out;
  for (size_t i = 0; i < count; ++i) out.push_back(first + static_cast<uint32_t>(i) * step);
  return out;
}

TEST(GuessAlignment, Table) {
  std::vector<uint32_t> mostly_512 = Steps(4096, 512, 30);
  mostly_512[10] += 2;  // two of 29 differences spoil 512 (and 4), 27/29 > 80 %
  std::vector<uint32_t> half_4k = Steps(0, 4096, 20);
  for (size_t i = 1; i < half_4k.size(); i += 2) half_4k[i] -= 2048;  // differences alternate, all multiples of 2048

  struct Case { const char* what; std::vector<uint32_t> positions; std::optional<uint32_t> result; } cases[] = {
      {"twenty positions 8 apart", Steps(0, 8, 20), 8u},
      {"nineteen positions", Steps(0, 8, 19), std::nullopt},
      {"no even difference", Steps(1, 3, 20), std::nullopt},
      {"most differences aligned", mostly_512, 512u},
      {"alternating gaps", half_4k, 2048u},
      {"equal positions cap at 2^15", std::vector<uint32_t>(20, 7), 32768u},
  };
  for (const auto& c : cases) EXPECT_EQ(GuessAlignment(c.positions), c.result) << c.what;
}

}  // namespace
}  // namespace trovium
