// Quick open: the copy lands in a fresh private subfolder under a safe name,
// without an execute bit, earlier copies that a viewer may still be opening
// stay, a failed copy is never handed to a viewer, and everything goes at the
// end.

#include "export/quick_open.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "common/test_support.h"
#include "export/scoped_home.h"
#include "export/synthetic_volume.h"
#include "export/temp_files.h"
#include "platform/private_folder.h"

namespace trovium {
namespace {

struct SilentView : ProgressView {
  bool Tick(const ProgressReport*) override { return true; }
};

class QuickOpenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::SyntheticVolume v(dir_.File("src.img"));
    docs_ = v.Dir(kRootIndex, "docs");
    script_ = v.File(docs_, "run.sh", test::Bytes(700, 1));
    hostile_ = v.File(docs_, "../../escaped.txt", test::Bytes(100, 2));
    empty_ = v.File(docs_, "empty.txt", {});
    unreadable_ = v.FileAt(docs_, "past-end.bin", 1000, 4096);  // the image is far shorter
    volume_ = v.Publish(store_);
    request_.store = &store_;
    request_.source = v.Source();
    request_.volume = volume_;
    request_.prompt = &prompt_;
  }
  void TearDown() override { EndQuickOpen(); }

  // Opens a record; the opener records the path instead of starting a viewer.
  bool Open(uint32_t record, std::string& opened) {
    request_.record = record;
    opened.clear();
    SilentView view;
    return QuickOpen(request_, view, [&](const std::string& p) {
      opened_.push_back(p);
      return true;
    }, &opened);
  }

  static std::string Parent(const std::string& p) { return p.substr(0, p.rfind('/')); }

  test::TempDir home_, dir_;
  test::ScopedHome scoped_home_{home_.path()};
  FoundFileStore store_;
  ScriptedPrompt prompt_;
  RecordRequest request_;
  uint32_t volume_ = 0, docs_ = 0, script_ = 0, hostile_ = 0, empty_ = 0, unreadable_ = 0;
  std::vector<std::string> opened_;
};

TEST_F(QuickOpenTest, CopyIsPrivateWithoutExecuteBitInAFreshFolder) {
  std::string first, second;
  ASSERT_TRUE(Open(script_, first));
  ASSERT_TRUE(Open(script_, second));
  ASSERT_EQ(opened_.size(), 2u);
  EXPECT_EQ(opened_[0], first);
  for (const std::string& p : {first, second}) {
    EXPECT_EQ(Parent(Parent(p)), TempFolder());
    EXPECT_EQ(p.substr(p.rfind('/') + 1), "run.sh");
    struct stat st {};
    ASSERT_EQ(lstat(p.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 0111, 0u) << "execute bit on a copy";
    EXPECT_EQ(st.st_mode & 0077, 0u) << "copy readable by others";
    EXPECT_EQ(test::ReadFile(p), test::Bytes(700, 1));
  }
  // Same record twice: two folders, and the first copy, just handed to a
  // viewer that may not have opened it yet, is still there.
  EXPECT_NE(Parent(first), Parent(second));
  EXPECT_TRUE(platform::PathExists(first));
}

TEST_F(QuickOpenTest, HostileNameStaysInsideItsFolder) {
  std::string copy;
  ASSERT_TRUE(Open(hostile_, copy));
  EXPECT_EQ(Parent(Parent(copy)), TempFolder());
  EXPECT_EQ(copy.find("/../"), std::string::npos);
  EXPECT_EQ(test::ReadFile(copy), test::Bytes(100, 2));
  EXPECT_FALSE(platform::PathExists(home_.File("escaped.txt")));
  EXPECT_FALSE(platform::PathExists(home_.File(std::string(kTempFolderName) + "/escaped.txt")));
}

TEST_F(QuickOpenTest, EmptyFileOpensAndFailuresDoNot) {
  std::string copy;
  ASSERT_TRUE(Open(empty_, copy));
  EXPECT_TRUE(test::ReadFile(copy).empty());
  EXPECT_TRUE(platform::PathExists(copy));

  // Unreadable data: no copy to show; a directory is never copied.
  EXPECT_FALSE(Open(unreadable_, copy));
  EXPECT_FALSE(Open(docs_, copy));
  EXPECT_EQ(opened_.size(), 1u);
}

TEST_F(QuickOpenTest, EndRemovesEveryCopy) {
  std::string a, b;
  ASSERT_TRUE(Open(script_, a));
  ASSERT_TRUE(Open(empty_, b));
  EndQuickOpen();
  EXPECT_FALSE(platform::PathExists(Parent(a)));
  EXPECT_FALSE(platform::PathExists(Parent(b)));
  EXPECT_EQ(TempFileCount(), 0u);
}

TEST_F(QuickOpenTest, NormalExitRemovesTheCopies) {
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    std::string copy;
    const bool ok = Open(script_, copy) && platform::PathExists(copy);
    std::exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the child could not open";
  std::vector<platform::FolderEntry> left;
  ASSERT_TRUE(platform::ListFolder(TempFolder(), left));
  EXPECT_TRUE(left.empty()) << left.size() << " copies left after exit";
}

TEST_F(QuickOpenTest, TooManyKeptCopiesRefuseTheNextOpen) {
  std::string copy;
  for (uint32_t i = 0; i <= kMaxKeptCopies; ++i) ASSERT_TRUE(Open(empty_, copy)) << i;
  EXPECT_FALSE(Open(empty_, copy));
  ASSERT_FALSE(prompt_.ShownTexts().empty());
  EXPECT_EQ(prompt_.ShownTexts().back().text, kCloseTempFilesText);
}

}  // namespace
}  // namespace trovium
