#include "core/md5.h"

#include <gtest/gtest.h>

#include <string>

namespace trovium {
namespace {

TEST(Md5, PublishedVectors) {
  struct Case { std::string in; const char* hex; } cases[] = {
      {"", "D41D8CD98F00B204E9800998ECF8427E"},
      {"abc", "900150983CD24FB0D6963F7D28E17F72"},
      {std::string(1000, 'a'), "CABE45DCC9AE5B66BA86600CCA6B8BA8"},
  };
  for (const auto& c : cases) EXPECT_EQ(Md5Hex(c.in.data(), c.in.size()), c.hex);
}

}  // namespace
}  // namespace trovium
