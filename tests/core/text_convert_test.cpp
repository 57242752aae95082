#include "core/text_convert.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace trovium {
namespace {

TEST(TextConvert, Utf16LeToUtf8) {
  struct Case { std::vector<uint8_t> bytes; std::string utf8; } cases[] = {
      {{'A', 0, 'b', 0}, "Ab"},
      {{0x2D, 0x4E, 0x87, 0x65}, "中文"},
      {{0x3D, 0xD8, 0x00, 0xDE}, "\xF0\x9F\x98\x80"},            // U+1F600 from a pair
      {{0x3D, 0xD8, 'x', 0}, "\xEF\xBF\xBDx"},                  // high surrogate alone
      {{0x00, 0xDE, 0x3D, 0xD8}, "\xEF\xBF\xBD\xEF\xBF\xBD"},   // low before high
      {{'a', 0, 0, 0, 'b', 0, 'c'}, std::string("a\0b", 3)},     // zero kept, odd byte dropped
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf16LeToUtf8(ByteView(c.bytes.data(), c.bytes.size())), c.utf8);
  }
}

TEST(TextConvert, AnsiIsCp936) {
  EXPECT_EQ(AnsiToUtf8("\xD6\xD0\xCE\xC4.TXT"), "中文.TXT");
  EXPECT_EQ(AnsiToUtf8(std::string("AB\0CD", 5)), "AB");
  // A byte that is no character, and a lead byte cut off at the end.
  EXPECT_EQ(AnsiToUtf8("\xFF" "A\xD6\xD0\xD6"), "\xEF\xBF\xBD" "A中\xEF\xBF\xBD");
}

TEST(TextConvert, Utf8ToWideReplacesMalformedBytes) {
  EXPECT_EQ(Utf8ToWide("ok中"), "ok中");
  EXPECT_EQ(Utf8ToWide("a\xC0\xAF" "b"), "a\xEF\xBF\xBD\xEF\xBF\xBD" "b");  // overlong "/"
  EXPECT_EQ(Utf8ToWide("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");  // encoded surrogate
  EXPECT_EQ(Utf8ToWide("\xE4\xB8"), "\xEF\xBF\xBD\xEF\xBF\xBD");  // cut off
  EXPECT_EQ(Utf8ToWide(std::string("x\0y", 3)), "x");
}

TEST(TextConvert, CompareNoCase) {
  struct Case { size_t n; const char* a; const char* b; int result; } cases[] = {
      {3, "ABC", "abc", 0},     {3, "abd", "ABC", 1},  {5, "ab", "abc", -1},
      {2, "abX", "ABy", 0},     {9, "same", "SAME", 0}, {1, "_", "a", -1},
      {0, "x", "y", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(CompareNoCase(c.n, c.a, c.b), c.result) << c.a << " " << c.b;
}

TEST(TextConvert, ContainsNoCase) {
  EXPECT_TRUE(ContainsNoCase("Report.DOCX", "docx"));
  EXPECT_TRUE(ContainsNoCase("abc", ""));
  EXPECT_FALSE(ContainsNoCase("ab", "abc"));
  EXPECT_FALSE(ContainsNoCase("photo.jpg", "jpeg"));
}

TEST(TextConvert, FileExtension) {
  struct Case { const char* name; const char* ext; } cases[] = {
      {"photo.JPG", "jpg"}, {"a.tar.GZ", "gz"}, {"x.", ""}, {"中文.Doc", "doc"},
      {".bashrc", nullptr}, {"a", nullptr},   {"", nullptr}, {"README", nullptr},
  };
  for (const auto& c : cases) {
    auto ext = FileExtension(c.name);
    if (c.ext) {
      ASSERT_TRUE(ext.has_value()) << c.name;
      EXPECT_EQ(*ext, c.ext);
    } else {
      EXPECT_FALSE(ext.has_value()) << c.name;
    }
  }
}

}  // namespace
}  // namespace trovium
