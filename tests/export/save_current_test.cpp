// Save current file: one record, checked or not, straight under the export
// root; a directory with its whole usable subtree; counts that ignore check
// marks and honour the filter.

#include "export/save_current.h"

#include <gtest/gtest.h>

#include "common/test_support.h"
#include "export/synthetic_volume.h"
#include "platform/private_folder.h"

namespace trovium {
namespace {

struct SilentView : ProgressView {
  bool Tick(const ProgressReport*) override { return true; }
};

class SaveCurrentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::SyntheticVolume v(dir_.File("src.img"));
    docs_ = v.Dir(kRootIndex, "docs", kFlagFilterPass);  // the filter marks the way to what passes
    a_ = v.File(docs_, "a.txt", test::Bytes(1500, 1), kFlagFilterPass);
    sub_ = v.Dir(docs_, "sub");
    b_ = v.File(sub_, "b.bin", test::Bytes(5000, 2));
    v.Dir(docs_, "empty");
    volume_ = v.Publish(store_);
    request_.store = &store_;
    request_.source = v.Source();
    request_.volume = volume_;
    request_.prompt = &prompt_;
  }

  // Runs ExportCurrent with a dialog that picks out/ and the save folder "Rec".
  bool Save(uint32_t record, ExportTotals& totals) {
    request_.record = record;
    SilentView view;
    return ExportCurrent(request_, [&](uint32_t files, uint64_t bytes, ExportChoice& c) {
      shown_ = {files, bytes};
      c.out_dir = out_.path();
      c.save_dir = "Rec";
      return true;
    }, view, &totals);
  }

  test::TempDir dir_, out_;
  FoundFileStore store_;
  ScriptedPrompt prompt_;
  RecordRequest request_;
  std::pair<uint32_t, uint64_t> shown_{};
  uint32_t volume_ = 0, docs_ = 0, a_ = 0, sub_ = 0, b_ = 0;
};

TEST_F(SaveCurrentTest, CountIgnoresChecksAndHonoursTheFilter) {
  struct Case {
    uint32_t record;
    bool filter;
    uint32_t files;
    uint64_t bytes;
  } cases[] = {
      {0, false, 2, 6500},   // docs
      {0, true, 1, 1500},    // docs, only a.txt passes
      {1, false, 1, 5000},   // sub
      {2, false, 1, 1500},   // a.txt
      {999, false, 0, 0},    // no such record
  };
  const uint32_t ids[] = {docs_, sub_, a_};
  for (const Case& c : cases) {
    store_.SetFilterMode(c.filter ? kFilterResults : kFilterTrees);
    const uint32_t rec = c.record < 3 ? ids[c.record] : c.record;
    const RecordCount n = CountRecord(store_, volume_, rec);
    EXPECT_EQ(n.files, c.files) << rec;
    EXPECT_EQ(n.bytes, c.bytes) << rec;
  }
}

TEST_F(SaveCurrentTest, UncheckedFileGoesStraightUnderTheExportRoot) {
  ExportTotals t;
  ASSERT_TRUE(Save(a_, t));
  EXPECT_EQ(shown_, std::make_pair(1u, uint64_t{1500}));
  EXPECT_EQ(test::ReadFile(out_.File("Rec/a.txt")), test::Bytes(1500, 1));
  EXPECT_EQ(t.files_recovered, 1u);
  EXPECT_EQ(t.bytes_written, 1500u);
  ASSERT_FALSE(prompt_.ShownTexts().empty());
  EXPECT_EQ(prompt_.ShownTexts().back().text.rfind("导出结束！本次恢复1个文件", 0), 0u);
}

TEST_F(SaveCurrentTest, DirectoryTakesItsWholeSubtree) {
  ExportTotals t;
  ASSERT_TRUE(Save(docs_, t));
  EXPECT_EQ(shown_, std::make_pair(2u, uint64_t{6500}));
  EXPECT_EQ(test::ReadFile(out_.File("Rec/docs/a.txt")), test::Bytes(1500, 1));
  EXPECT_EQ(test::ReadFile(out_.File("Rec/docs/sub/b.bin")), test::Bytes(5000, 2));
  EXPECT_TRUE(platform::PathExists(out_.File("Rec/docs/empty")));
  EXPECT_EQ(t.files_recovered, 2u);
  EXPECT_EQ(t.files_failed, 0u);
}

TEST_F(SaveCurrentTest, CancelledDialogWritesNothing) {
  request_.record = a_;
  SilentView view;
  EXPECT_FALSE(ExportCurrent(request_, [](uint32_t, uint64_t, ExportChoice&) { return false; }, view));
  std::vector<platform::FolderEntry> left;
  ASSERT_TRUE(platform::ListFolder(out_.path(), left));
  EXPECT_TRUE(left.empty());
}

}  // namespace
}  // namespace trovium
