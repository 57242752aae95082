// Quick open's temporary folder: private, one fresh subfolder per open, copies
// kept while young and removed when old or at exit, and the limits on kept
// copies.

#include "export/temp_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <string>

#include "common/test_support.h"
#include "export/scoped_home.h"
#include "platform/private_folder.h"

namespace trovium {
namespace {

class TempFilesTest : public ::testing::Test {
 protected:
  void TearDown() override { RemoveAllTempFiles(); }

  // A copy as quick open leaves it: a file in a fresh subfolder, listed.
  std::string MakeCopy(const std::string& name, uint64_t listed_size = 10) {
    const std::string folder = NewOpenFolder();
    EXPECT_FALSE(folder.empty());
    const std::string path = folder + "/" + name;
    EXPECT_TRUE(test::WriteFile(path, std::vector<uint8_t>(10, 'x')));
    AddTempFile(path, listed_size);
    return path;
  }

  static void AgeFolder(const std::string& path, int seconds) {
    timeval times[2];
    gettimeofday(&times[0], nullptr);
    times[0].tv_sec -= seconds;
    times[1] = times[0];
    ASSERT_EQ(lutimes(path.c_str(), times), 0);
  }

  static mode_t Mode(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
  }

  test::TempDir home_;
  test::ScopedHome scoped_home_{home_.path()};
  ScriptedPrompt prompt_;
};

std::string Parent(const std::string& path) { return path.substr(0, path.rfind('/')); }

TEST_F(TempFilesTest, FolderIsPrivateAndUnderTheStateFolder) {
  const std::string expected = home_.File(kTempFolderName);
  ASSERT_EQ(mkdir(expected.c_str(), 0777), 0);  // left open by someone else
  ASSERT_EQ(chmod(expected.c_str(), 0777), 0);
  EXPECT_EQ(TempFolder(), expected);
  EXPECT_EQ(Mode(expected), 0700u);
}

TEST_F(TempFilesTest, LinkInPlaceOfTheFolderIsRefused) {
  test::TempDir elsewhere;
  ASSERT_EQ(symlink(elsewhere.path().c_str(), home_.File(kTempFolderName).c_str()), 0);
  EXPECT_EQ(TempFolder(), "");
  EXPECT_EQ(NewOpenFolder(), "");
}

TEST_F(TempFilesTest, EveryOpenGetsAFreshPrivateSubfolder) {
  const std::string a = NewOpenFolder();
  const std::string b = NewOpenFolder();
  ASSERT_FALSE(a.empty());
  ASSERT_FALSE(b.empty());
  EXPECT_NE(a, b);
  for (const std::string& f : {a, b}) {
    EXPECT_EQ(Parent(f), TempFolder());
    EXPECT_EQ(Mode(f), 0700u);
  }
}

TEST_F(TempFilesTest, OldCopiesGoAtTheNextOpenYoungOnesStay) {
  const std::string old_copy = MakeCopy("old.jpg");
  const std::string young_copy = MakeCopy("young.jpg");
  // A copy of an earlier run, never in this run's list.
  const std::string leftover = NewOpenFolder();
  ASSERT_TRUE(test::WriteFile(leftover + "/left.doc", {1, 2, 3}));
  // A link inside an old copy's folder must be removed, not followed.
  test::TempDir outside;
  ASSERT_TRUE(test::WriteFile(outside.File("keep.txt"), {1}));
  ASSERT_EQ(symlink(outside.path().c_str(), (Parent(old_copy) + "/link").c_str()), 0);

  AgeFolder(Parent(old_copy), kTempCopyKeepSeconds + 60);
  AgeFolder(leftover, kTempCopyKeepSeconds + 60);
  AgeFolder(Parent(young_copy), kTempCopyKeepSeconds - 60);

  EXPECT_TRUE(CheckTempFiles(prompt_));
  EXPECT_FALSE(platform::PathExists(Parent(old_copy)));
  EXPECT_FALSE(platform::PathExists(leftover));
  EXPECT_TRUE(platform::PathExists(young_copy));
  EXPECT_TRUE(platform::PathExists(outside.File("keep.txt")));
  EXPECT_EQ(TempFileCount(), 1u);
  EXPECT_TRUE(prompt_.ShownTexts().empty());
}

TEST_F(TempFilesTest, KeptCopiesAreLimitedInNumberAndSize) {
  struct Case {
    uint32_t copies;
    uint64_t each;
    bool allowed;
  } cases[] = {
      {kMaxKeptCopies, 1, true},
      {kMaxKeptCopies + 1, 1, false},
      {1, kMaxKeptBytes, true},
      {1, kMaxKeptBytes + 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.copies << " copies of " << c.each);
    RemoveAllTempFiles();
    ScriptedPrompt prompt;
    for (uint32_t i = 0; i < c.copies; ++i) MakeCopy("f" + std::to_string(i), c.each);
    EXPECT_EQ(CheckTempFiles(prompt), c.allowed);
    if (c.allowed) {
      EXPECT_TRUE(prompt.ShownTexts().empty());
    } else {
      ASSERT_EQ(prompt.ShownTexts().size(), 1u);
      EXPECT_EQ(prompt.ShownTexts()[0].text, kCloseTempFilesText);
    }
    // Copies that are gone no longer count.
    RemoveAllTempFiles();
    EXPECT_TRUE(CheckTempFiles(prompt));
  }
}

TEST_F(TempFilesTest, EverythingGoesAtExitButTheFolder) {
  const std::string a = MakeCopy("a.txt");
  const std::string b = MakeCopy("b.txt");
  RemoveAllTempFiles();
  EXPECT_FALSE(platform::PathExists(Parent(a)));
  EXPECT_FALSE(platform::PathExists(Parent(b)));
  std::vector<platform::FolderEntry> left;
  ASSERT_TRUE(platform::ListFolder(TempFolder(), left));
  EXPECT_TRUE(left.empty());
  EXPECT_EQ(TempFileCount(), 0u);
}

}  // namespace
}  // namespace trovium
