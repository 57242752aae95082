#include "core/size_text.h"

#include <gtest/gtest.h>

#include <clocale>

namespace trovium {
namespace {

TEST(SizeText, BytesPickTheUnitByMagnitude) {
  struct Case { uint64_t bytes; const char* text; } cases[] = {
      {0, "0.00 KB"},
      {1023, "1.00 KB"},
      {0x100000, "1.00 MB"},
      {0x3FFFFFFF, "1024.00 MB"},
      {0x40000000, "1.00 GB"},
      {(1ull << 40) - 1, "1024.00 GB"},
      {1ull << 40, "1.00 TB"},
      {3ull << 41, "6.00 TB"},
      {UINT64_MAX, "16777216.00 TB"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatBytes(c.bytes), c.text) << c.bytes;
}

TEST(SizeText, SectorsPickTheUnitByMagnitude) {
  struct Case { uint64_t sectors; const char* text; } cases[] = {
      {4096, "2.00 MB"},
      {4095, "1.00 MB"},
      {0x1FFFFF, "1023.00 MB"},
      {0x200000, "1.00 GB"},
      {0xFFFFFull * 2048 + 2047, "1024.00 GB"},
      {0x100000ull * 2048, "1.00 TB"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatSectors(c.sectors), c.text) << c.sectors;
}

TEST(SizeText, IgnoresTheUserLocale) {
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = old ? old : "C";
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no de_DE locale here";
  EXPECT_EQ(FormatBytes(1536), "1.50 KB");
  std::setlocale(LC_NUMERIC, saved.c_str());
}

}  // namespace
}  // namespace trovium
