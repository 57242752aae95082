#include "core/config_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/soft_config.h"

namespace trovium {
namespace {

// UTF-16LE bytes of a text, with a byte-order mark unless told otherwise.
std::vector<uint8_t> Utf16(const std::u16string& text, bool bom = true) {
  std::vector<uint8_t> out;
  if (bom) out = {0xFF, 0xFE};
  for (char16_t u : text) {
    out.push_back(static_cast<uint8_t>(u & 0xFF));
    out.push_back(static_cast<uint8_t>(u >> 8));
  }
  return out;
}

const std::vector<std::string> kKeys = {"Default-SaveDir:", "Standard-SaveDir:", "Default-Splash:", "Standard-Splash:"};

ConfigTable Parse(const std::vector<uint8_t>& bytes) {
  ConfigTable table;
  ParseConfigText(ByteView(bytes.data(), bytes.size()), kKeys, table);
  return table;
}

// The value the program would see for key, as GetSoftCfg looks it up.
std::string Lookup(const ConfigTable& table, const char* key) {
  SoftConfig config;
  config.table = table;
  config.version = "Standard";
  return LookupSoftCfg(config, key);
}

TEST(ConfigText, LinesAndComments) {
  struct Case { const char* what; std::u16string text; const char* key; const char* value; } cases[] = {
      {"trailing comment after spaces", u"Default-SaveDir: Found Files   // where files go", "SaveDir", "Found Files"},
      {"trailing comment after a tab", u"Default-SaveDir:\tOut\t// note", "SaveDir", "Out"},
      {"comment line", u"// Default-SaveDir: Hidden", "SaveDir", ""},
      {"// inside the value", u"Default-SaveDir: a//b // c", "SaveDir", "a//b"},
      {"// right after the value", u"Default-SaveDir: http://x//y", "SaveDir", "http://x//y"},
      {"lower-case key line", u"default-splash: 1", "SPLASH", ""},
      {"correct key, any case asked", u"Default-Splash: 1", "SPLASH:", "1"},
      {"edition wins, given later", u"Default-SaveDir: A\r\nStandard-SaveDir: B", "SaveDir", "B"},
      {"edition wins, given first", u"Standard-SaveDir: B\r\nDefault-SaveDir: A", "SaveDir", "B"},
      {"later line replaces", u"Default-SaveDir: A\r\nDefault-SaveDir: C\r\n", "SaveDir", "C"},
      {"empty lines passed over", u"\r\n\r\nDefault-SaveDir: 恢复\r\n\r\n", "SaveDir", "恢复"},
      {"leading blank is no key", u"  Default-SaveDir: A", "SaveDir", ""},
      {"lone LF does not end a line", u"Default-SaveDir: A\nDefault-Splash: 1", "Splash", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Lookup(Parse(Utf16(c.text)), c.key), c.value) << c.what;
  }
}

TEST(ConfigText, KeysAreStoredLowerCaseWithColonOnce) {
  ConfigTable table = Parse(Utf16(u"Default-SaveDir: A\r\nDefault-SaveDir: B\r\nStandard-Splash: 1"));
  ASSERT_EQ(table.pairs.size(), 2u);
  EXPECT_EQ(table.pairs[0].first, "default-savedir:");
  EXPECT_EQ(table.pairs[0].second, "B");
  EXPECT_EQ(table.pairs[1].first, "standard-splash:");
}

TEST(ConfigText, OverlongLineIsIgnoredAndTheNextLineStillRead) {
  const std::u16string head = u"Default-SaveDir: ";
  std::u16string fits = head + std::u16string(kConfigLineMaxUnits - head.size(), u'x');
  std::u16string too_long = head + std::u16string(kConfigLineMaxUnits + 1 - head.size(), u'y');
  EXPECT_EQ(Lookup(Parse(Utf16(fits)), "SaveDir"), std::string(kConfigLineMaxUnits - head.size(), 'x'));
  EXPECT_EQ(Lookup(Parse(Utf16(too_long + u"\r\nDefault-Splash: 1")), "SaveDir"), "");
  EXPECT_EQ(Lookup(Parse(Utf16(too_long + u"\r\nDefault-Splash: 1")), "Splash"), "1");
}

TEST(ConfigText, ByteOrderMarkIsOptionalAndOddByteIgnored) {
  EXPECT_EQ(Lookup(Parse(Utf16(u"Default-Splash: 1", false)), "Splash"), "1");
  std::vector<uint8_t> odd = Utf16(u"Default-Splash: 1");
  odd.push_back('2');
  EXPECT_EQ(Lookup(Parse(odd), "Splash"), "1");
  EXPECT_TRUE(Parse({}).pairs.empty());
  EXPECT_TRUE(Parse({0xFF}).pairs.empty());
}

}  // namespace
}  // namespace trovium
