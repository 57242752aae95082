#include "platform/settings_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/test_support.h"

namespace trovium::platform {
namespace {

TEST(SettingsFile, AnyTextRoundTripsAndOtherValuesStay) {
  test::TempDir dir;
  const std::string path = dir.File("registry.ini");
  const std::string section = "SOFTWARE\\Co\\名字";
  const std::string awkward[] = {"", "plain", "a=b", "[x]", "back\\slash\\", "two\nlines\r\n", "#;", " padded ",
                                 std::string("nul\0byte", 8), "\\x41", "中文"};
  for (size_t i = 0; i < std::size(awkward); ++i) {
    ASSERT_TRUE(WriteSetting(path, section, "v" + std::to_string(i), awkward[i]));
    ASSERT_TRUE(WriteSetting(path, awkward[i] + "]", awkward[i], awkward[i]));
  }
  ASSERT_TRUE(WriteSetting(path, section, "v1", "replaced"));
  for (size_t i = 0; i < std::size(awkward); ++i) {
    std::string value;
    ASSERT_TRUE(ReadSetting(path, section, "v" + std::to_string(i), value)) << i;
    EXPECT_EQ(value, i == 1 ? "replaced" : awkward[i]) << i;
    ASSERT_TRUE(ReadSetting(path, awkward[i] + "]", awkward[i], value)) << i;
    EXPECT_EQ(value, awkward[i]) << i;
  }
  std::string value;
  EXPECT_FALSE(ReadSetting(path, section, "missing", value));
  EXPECT_FALSE(ReadSetting(path, "SOFTWARE\\Co", "v0", value));
  // Only the file itself is left behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(SettingsFile, MissingOrDamagedFileIsTolerated) {
  test::TempDir dir;
  const std::string path = dir.File("registry.ini");
  std::string value;
  EXPECT_FALSE(ReadSetting(path, "S", "k", value));
  const std::string damaged =
      "garbage\n[S]\nk=1\nbad\\q=2\nk2=\\xZZ\n[unclosed\nlost=3\n\x01\x02\xFF\n[S]\nk3=three\r\n";
  ASSERT_TRUE(test::WriteFile(path, std::vector<uint8_t>(damaged.begin(), damaged.end())));
  EXPECT_TRUE(ReadSetting(path, "S", "k", value));
  EXPECT_EQ(value, "1");
  EXPECT_TRUE(ReadSetting(path, "S", "k3", value));
  EXPECT_EQ(value, "three");
  EXPECT_FALSE(ReadSetting(path, "S", "k2", value));
  EXPECT_FALSE(ReadSetting(path, "S", "lost", value));
  // Writing over a damaged file keeps what could be read.
  ASSERT_TRUE(WriteSetting(path, "S", "new", "4"));
  EXPECT_TRUE(ReadSetting(path, "S", "k3", value));
  EXPECT_EQ(value, "three");
  EXPECT_FALSE(WriteSetting(dir.File("no/such/folder.ini"), "S", "k", "v"));
  EXPECT_FALSE(WriteSetting("", "S", "k", "v"));
}

}  // namespace
}  // namespace trovium::platform
