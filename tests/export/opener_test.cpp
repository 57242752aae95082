// The desktop opener starts its program directly: a path full of shell
// syntax reaches it as one argument, unchanged.

#include "platform/opener.h"

#include <gtest/gtest.h>

#include "common/test_support.h"
#include "platform/private_folder.h"

namespace trovium {
namespace {

TEST(OpenerTest, PathReachesTheProgramAsOneArgumentWithoutAShell) {
  test::TempDir dir;
  const std::string path = dir.File("a b;touch pwned $(touch x) `touch y` '\"*.txt");
  platform::SetDesktopOpenerForTesting("touch");
  EXPECT_TRUE(platform::OpenWithDesktop(path));
  platform::SetDesktopOpenerForTesting("");
  EXPECT_GE(platform::ReapSpawned(true), 1);
  std::vector<platform::FolderEntry> made;
  ASSERT_TRUE(platform::ListFolder(dir.path(), made));
  ASSERT_EQ(made.size(), 1u);
  EXPECT_EQ(dir.File(made[0].name), path);
}

TEST(OpenerTest, MissingProgramIsAFailure) {
  EXPECT_FALSE(platform::SpawnDetached({"trovium-no-such-program"}));
  EXPECT_FALSE(platform::SpawnDetached({}));
  EXPECT_EQ(platform::ReapSpawned(true), 0);
}

}  // namespace
}  // namespace trovium
