#include "platform/instance_lock.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "common/test_support.h"

namespace trovium::platform {
namespace {

// Exit status of a child that tries to take the name: 0 held, 1 refused.
int TryInChild(const std::string& name) {
  pid_t pid = ::fork();
  if (pid == 0) {
    InstanceLock lock(name);
    ::_exit(lock.held() ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class InstanceLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The lock goes to $XDG_RUNTIME_DIR first; point both into the test folder.
    ::setenv("XDG_RUNTIME_DIR", dir_.path().c_str(), 1);
  }
  void TearDown() override { ::unsetenv("XDG_RUNTIME_DIR"); }
  test::TempDir dir_;
};

TEST_F(InstanceLockTest, SecondProcessIsRefusedUntilTheFirstLetsGo) {
  const std::string name = "Trovium{6A2F}-SingleRun";
  {
    InstanceLock first(name);
    ASSERT_TRUE(first.held());
    EXPECT_EQ(first.path().rfind(dir_.path() + "/", 0), 0u);
    EXPECT_EQ(TryInChild(name), 1);
    EXPECT_FALSE(InstanceLock(name).held());  // a second object in this process too
    EXPECT_EQ(TryInChild("another name"), 0);
    InstanceLock moved(std::move(first));
    EXPECT_TRUE(moved.held());
    EXPECT_EQ(TryInChild(name), 1);
  }
  EXPECT_EQ(TryInChild(name), 0);
}

TEST(InstanceLockName, SafeForAFileName) {
  EXPECT_EQ(InstanceLockFileName("TroviumRun"), "trovium-TroviumRun.lock");
  for (const char* raw : {"a/b", "../../etc/passwd", "", "名字", ".hidden", "a b"}) {
    std::string name = InstanceLockFileName(raw);
    EXPECT_EQ(name.find('/'), std::string::npos) << raw;
    EXPECT_EQ(name.find(".."), std::string::npos) << raw;
    EXPECT_EQ(name.rfind("trovium-", 0), 0u);
  }
  EXPECT_NE(InstanceLockFileName("a/b"), InstanceLockFileName("a\\b"));
  EXPECT_LE(InstanceLockFileName(std::string(1000, 'x')).size(), 255u);
}

}  // namespace
}  // namespace trovium::platform
