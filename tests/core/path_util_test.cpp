#include "core/path_util.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "common/test_support.h"

namespace trovium {
namespace {

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

TEST(PathUtil, JoinPath) {
  EXPECT_EQ(JoinPath("/out", "a.txt"), "/out/a.txt");
  EXPECT_EQ(JoinPath("/out/", "a.txt"), "/out/a.txt");
  EXPECT_EQ(JoinPath("", "a.txt"), "a.txt");
  EXPECT_EQ(JoinPath("C:\\x", "y"), "C:\\x/y");  // "\" is a name character here
}

TEST(PathUtil, IsValidNameChar) {
  for (char32_t c : {U'a', U'Z', U'0', U' ', U'.', U'~', U'-', U'\u4E00', U'\u9FA5'}) {
    EXPECT_TRUE(IsValidNameChar(c)) << static_cast<uint32_t>(c);
  }
  for (char32_t c : {U'\0', U'\x1F', U'"', U'*', U'/', U':', U'<', U'>', U'?', U'\\', U'|', U'\x7F', U'\u00E9',
                     U'\u4DFF', U'\u9FA6', U'\U0001F600'}) {
    EXPECT_FALSE(IsValidNameChar(c)) << static_cast<uint32_t>(c);
  }
}

// Every replaced character becomes exactly one digit; the rest stays.
void ExpectSanitized(const std::string& in, const std::string& pattern) {
  std::string path = in;
  ASSERT_TRUE(SanitizeLastComponent(path)) << in;
  ASSERT_EQ(path.size(), pattern.size()) << path;
  for (size_t i = 0; i < path.size(); ++i) {
    if (pattern[i] == '#') EXPECT_TRUE(path[i] >= '0' && path[i] <= '9') << path;
    else EXPECT_EQ(path[i], pattern[i]) << path;
  }
}

TEST(PathUtil, SanitizeLastComponent) {
  ExpectSanitized("/out/a:b", "/out/a#b");
  ExpectSanitized("/out/a:b/", "/out/a#b");           // one trailing "/" dropped
  ExpectSanitized("/o:t/x?y*z", "/o:t/x#y#z");        // only the last component
  ExpectSanitized("/out/caf\xC3\xA9", "/out/caf#");  // one digit per character, not per byte
  ExpectSanitized("/out/bad\xFF", "/out/bad#");
  ExpectSanitized("/out/中文", "/out/中文");
  ExpectSanitized("name|1", "name#1");
  for (const char* bad : {"", "/", "/out//"}) {
    std::string path = bad;
    EXPECT_FALSE(SanitizeLastComponent(path)) << bad;
    EXPECT_EQ(path, bad);
  }
}

TEST(PathUtil, CreateDirectoryChecked) {
  test::TempDir dir;
  std::string fresh = dir.File("新建 folder");
  EXPECT_TRUE(CreateDirectoryChecked(fresh));
  EXPECT_EQ(fresh, dir.File("新建 folder"));
  EXPECT_TRUE(IsFolder(fresh));
  EXPECT_TRUE(CreateDirectoryChecked(fresh));  // already there

  std::string orphan = dir.File("missing/child");
  EXPECT_FALSE(CreateDirectoryChecked(orphan));
  EXPECT_FALSE(IsFolder(dir.File("missing")));

  ASSERT_TRUE(test::WriteFile(dir.File("plain"), {1}));
  std::string over_file = dir.File("plain");
  EXPECT_FALSE(CreateDirectoryChecked(over_file));
}

TEST(PathUtil, DriveFreeBytesMeasuresTheNearestExistingFolder) {
  test::TempDir dir;
  EXPECT_GT(DriveFreeBytes(dir.path()), 0u);
  EXPECT_GT(DriveFreeBytes(dir.File("not/yet/made")), 0u);
}

}  // namespace
}  // namespace trovium
