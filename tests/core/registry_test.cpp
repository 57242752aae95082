#include "core/registry.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "common/test_support.h"
#include "core/soft_config.h"
#include "platform/settings_file.h"

namespace trovium {
namespace {

class Registry : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("TROVIUM_HOME", home_.path().c_str(), 1);
    ASSERT_TRUE(LoadSoftConfig());
  }
  test::TempDir home_;
};

TEST_F(Registry, ValuesLiveUnderTheConfiguredKey) {
  EXPECT_EQ(RegistryKeyPath(), "SOFTWARE\\Trovium\\Trovium数据恢复");
  EXPECT_FALSE(ReadRegistryValue("Detail").has_value());
  ASSERT_TRUE(WriteRegistryValue("Detail", "abc"));
  std::string raw;
  ASSERT_TRUE(platform::ReadSetting(home_.File("registry.ini"), RegistryKeyPath(), "Detail", raw));
  EXPECT_EQ(raw, "abc");
}

TEST_F(Registry, RunNumCountsStarts) {
  EXPECT_EQ(UpdateRunNum(), 1);
  EXPECT_EQ(ReadRegistryValue("RunNum"), "1");
  EXPECT_EQ(UpdateRunNum(), 2);
  EXPECT_EQ(UpdateRunNum(), 3);
  EXPECT_EQ(ReadRegistryValue("RunNum"), "3");

  struct Case { const char* stored; int number; const char* after; } cases[] = {
      {"}", 78, "~"}, {"~", 79, "~"}, {"~~", 79, "~~"}, {"0", 1, "1"},
      {"", 1, "1"},   {"!", 1, "1"},  {"\xE4\xB8\x80", 1, "1"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(WriteRegistryValue("RunNum", c.stored));
    EXPECT_EQ(UpdateRunNum(), c.number) << c.stored;
    EXPECT_EQ(ReadRegistryValue("RunNum"), c.after) << c.stored;
  }
}

TEST_F(Registry, DetailAndJoinImproveSoft) {
  EXPECT_EQ(ReadInstallDetail(), "0");
  EXPECT_FALSE(ReadJoinImproveSoft());
  struct Case { const char* stored; const char* read; } cases[] = {
      {"abcXYZ", "abcXYZ"}, {"0", "0"}, {"a0b", "a0b"}, {"a1b", "0"}, {"", "0"}, {"ab c", "0"}, {"中", "0"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(WriteRegistryValue("Detail", c.stored));
    EXPECT_EQ(ReadInstallDetail(), c.read) << c.stored;
  }
  ASSERT_TRUE(WriteRegistryValue("JoinImproveSoft", "1"));
  EXPECT_TRUE(ReadJoinImproveSoft());
  ASSERT_TRUE(WriteRegistryValue("JoinImproveSoft", "1 "));
  EXPECT_FALSE(ReadJoinImproveSoft());
}

}  // namespace
}  // namespace trovium
