// The export engine on hand-made volumes of found files whose bytes lie in a
// small image: hostile names, clashes, overwrite policies, deep trees,
// buffer bounds, summary texts and the output-folder checks.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "common/test_support.h"
#include "export/export_engine.h"
#include "export/export_test_support.h"
#include "export/output_checks.h"
#include "export/output_names.h"

namespace trovium {
namespace {

namespace fs = std::filesystem;

// An image whose sector n holds the byte n & 0xFF throughout.
class Image {
 public:
  explicit Image(uint32_t sectors) : path_(dir_.File("source.img")) {
    std::vector<uint8_t> bytes(size_t{sectors} * kSectorBytes);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i / kSectorBytes);
    test::WriteFile(path_, bytes);
  }
  const std::string& path() const { return path_; }
  static std::vector<uint8_t> Expected(uint64_t lba, uint64_t size) {
    std::vector<uint8_t> out(size);
    for (uint64_t i = 0; i < size; ++i) out[i] = static_cast<uint8_t>(lba + i / kSectorBytes);
    return out;
  }

 private:
  test::TempDir dir_;
  std::string path_;
};

// A volume of found files built record by record; files are checked as added.
struct Builder {
  VolumeRecord v;
  Builder() {
    v.fs_kind = kFsFound;
    v.label = "vol";
    AddBaseRecords(v);
  }
  uint32_t Dir(uint32_t parent, const std::string& name) {
    FileRecord r;
    r.parent = parent;
    r.name = name;
    r.set_state(kStateDir);
    return InsertRecord(v, r, true);
  }
  uint32_t File(uint32_t parent, const std::string& name, uint64_t lba, uint64_t size, bool checked = true) {
    FileRecord r;
    r.parent = parent;
    r.name = name;
    r.data_lba = lba;
    r.size = size;
    r.set_state(kStateFile);
    r.set_check(checked ? kChecked : kUnchecked);
    return InsertRecord(v, r, true);
  }
};

struct ExportRun {
  FoundFileStore store;
  test::TempDir tmp;
  std::string out;
  std::shared_ptr<ExportJob> job;
  ExportRun(Builder& b, const Image& img) : out(tmp.File("out")) {
    VolumeRecord src;
    src.device_path = img.path();
    store.Reset(src, false);
    store.AddVolume(std::move(b.v), false);
    fs::create_directory(out);
    job = test::MakeJob(store, img.path(), out);
  }
  bool Go() { return test::RunExport(job); }
  // The single volume folder.
  std::string VolumeDir() const {
    for (const auto& e : fs::directory_iterator(job->export_root)) return e.path().string();
    return "";
  }
};

TEST(ExportNames, HostileNamesAreWrittenInsideTheExportFolder) {
  const std::string chinese300 = [] {
    std::string s;
    while (s.size() < 297) s += "文";  // 3 bytes each
    return s + ".txt";
  }();
  const std::vector<std::string> names = {"../x", "a/b", "..", ".", "c\\d", std::string("e\x01\x1f" "f"),
                                          "../../escape", chinese300};
  Image img(64);
  Builder b;
  const uint32_t dir = b.Dir(kRootIndex, "..");
  for (size_t i = 0; i < names.size(); ++i) b.File(i % 2 ? dir : kRootIndex, names[i], 1 + i, 700);
  ExportRun run(b, img);
  ASSERT_TRUE(run.Go());
  EXPECT_EQ(run.job->totals.files_recovered, names.size());
  EXPECT_EQ(run.job->totals.files_failed, 0u);
  // Nothing beside the output folder; every file below it is one of ours, intact.
  EXPECT_EQ(std::distance(fs::directory_iterator(run.tmp.path()), fs::directory_iterator{}), 1);
  size_t files = 0;
  for (const auto& e : fs::recursive_directory_iterator(run.out)) {
    EXPECT_FALSE(e.is_symlink());
    const std::string name = e.path().filename().string();
    EXPECT_LE(name.size(), kMaxNameBytes);
    if (!e.is_regular_file()) continue;
    ++files;
    const auto bytes = test::ReadFile(e.path().string());
    ASSERT_EQ(bytes.size(), 700u);
    const uint64_t lba = bytes[0];
    EXPECT_EQ(bytes, Image::Expected(lba, 700)) << name;
    if (lba == 1 + names.size() - 1) {  // the long Chinese name keeps its extension
      EXPECT_EQ(name.substr(name.size() - 4), ".txt");
      EXPECT_EQ(name.rfind("文", 0), 0u);
    }
  }
  EXPECT_EQ(files, names.size());
}

TEST(ExportNames, SafeComponentTable) {
  const struct {
    std::string in, out;
  } cases[] = {{"../x", ".._x"}, {"a/b", "a_b"}, {"..", "__"}, {".", "_"}, {"", "_"}, {"a\\b", "a_b"},
               {std::string("a\0b", 3), "a_b"}, {"t\tab\x7f", "tab"}, {"ok 名.txt", "ok 名.txt"}, {"\xff", "_"}};
  for (const auto& c : cases) EXPECT_EQ(SafeNameComponent(c.in), c.out) << c.in;
  EXPECT_EQ(NumberedName("a.doc", 2), "a (2).doc");
  EXPECT_EQ(NumberedName("README", 3), "README (3)");
  const std::string long_name = std::string(300, 'x') + ".jpeg";
  const std::string cut = SafeNameComponent(long_name);
  EXPECT_EQ(cut.size(), kMaxNameBytes);
  EXPECT_EQ(cut.substr(cut.size() - 5), ".jpeg");
  EXPECT_LE(NumberedName(cut, 12).size(), kMaxNameBytes);
}

TEST(ExportClash, RecordsOfOneExportWithOneNameAreNumbered) {
  Image img(64);
  Builder b;
  b.File(kRootIndex, "a.doc", 1, 600);
  b.File(kRootIndex, "a.doc", 2, 600);
  b.File(kRootIndex, "a.doc", 3, 600);
  b.File(kRootIndex, "a (2).doc", 4, 600);  // a real name that a number took first
  ExportRun run(b, img);
  ASSERT_TRUE(run.Go());
  EXPECT_EQ(run.job->totals.files_recovered, 4u);
  std::set<int> seen;
  for (const char* n : {"a.doc", "a (2).doc", "a (3).doc", "a (2) (2).doc"}) {
    const auto bytes = test::ReadFile(run.VolumeDir() + "/" + n);
    ASSERT_EQ(bytes.size(), 600u) << n;
    seen.insert(bytes[0]);
  }
  EXPECT_EQ(seen, (std::set<int>{1, 2, 3, 4}));  // nothing overwritten
}

TEST(ExportOverwrite, PoliciesApplyToFilesThatExistedBefore) {
  const struct {
    OverwritePolicy policy;
    std::optional<bool> answer;
    bool replaced;
  } cases[] = {{OverwritePolicy::kOverwrite, {}, true},
               {OverwritePolicy::kSkip, {}, false},
               {OverwritePolicy::kAsk, true, true},
               {OverwritePolicy::kAsk, false, false}};
  for (const auto& c : cases) {
    Image img(16);
    Builder b;
    b.File(kRootIndex, "x.bin", 3, 1000);
    ExportRun run(b, img);
    // A first export makes the folders; then the file is replaced by old bytes.
    ASSERT_TRUE(run.Go());
    const std::string target = run.VolumeDir() + "/x.bin";
    ASSERT_TRUE(test::WriteFile(target, {'o', 'l', 'd'}));
    ScriptedPrompt prompt;
    prompt.SetAskAnswer(c.answer);
    auto job = test::MakeJob(run.store, img.path(), run.out);
    job->overwrite = c.policy;
    job->prompt = &prompt;
    ASSERT_TRUE(test::RunExport(job));
    const auto bytes = test::ReadFile(target);
    EXPECT_EQ(bytes.size(), c.replaced ? 1000u : 3u) << static_cast<int>(c.policy);
    EXPECT_EQ(job->totals.files_skipped, c.replaced ? 0u : 1u);
    EXPECT_EQ(job->totals.files_recovered, c.replaced ? 1u : 0u);
    EXPECT_EQ(prompt.ShownTexts().size(), c.policy == OverwritePolicy::kAsk ? 1u : 0u);
    if (c.policy == OverwritePolicy::kAsk) {
      EXPECT_EQ(prompt.ShownTexts()[0].text, target + kExistsQuestionSuffix);
    }
  }
}

TEST(ExportDeepTree, HundredThousandLevelsAreCheckedCountedAndExported) {
  Image img(16);
  Builder b;
  ASSERT_TRUE(GrowRecords(b.v, 100010));  // one allocation, not one per record
  uint32_t at = kRootIndex;
  uint32_t shallow_dir = 0;
  for (int level = 0; level < 100000; ++level) {
    at = b.Dir(at, "d");
    if (level == 10) shallow_dir = at;
  }
  b.File(at, "deep.bin", 1, 100);
  b.File(shallow_dir, "shallow.bin", 2, 100);
  b.File(kRootIndex, "top.bin", 3, 100, false);  // not checked: not exported
  // Only the files are checked: the directories' marks come from normalisation.
  std::vector<uint8_t> states;
  EXPECT_EQ(NormaliseCheckStates(b.v, kRootIndex, false, states), kPartlyChecked);
  EXPECT_EQ(states[shallow_dir], kChecked);
  ExportRun run(b, img);
  ASSERT_TRUE(run.Go());
  // The path of the deep file is too long for the OS: it alone fails.
  EXPECT_EQ(run.job->totals.files_attempted, 2u);
  EXPECT_EQ(run.job->totals.files_recovered, 1u);
  EXPECT_EQ(run.job->totals.files_failed, 1u);
  std::string path = run.VolumeDir();
  for (int level = 0; level <= 10; ++level) path += "/d";
  EXPECT_EQ(test::ReadFile(path + "/shallow.bin"), Image::Expected(2, 100));
  EXPECT_FALSE(fs::exists(run.VolumeDir() + "/top.bin"));
  EXPECT_NE(ExportSummaryText(run.job->totals).find("1个文件导出失败"), std::string::npos);
}

TEST(ExportBounds, ReadRecordDataStopsAtTheCallersLength) {
  Image img(64);
  Builder b;
  const uint32_t f = b.File(kRootIndex, "big.bin", 5, 40 * 512 + 7);
  ExportRun run(b, img);
  for (uint64_t length : {1ull, 100ull, 512ull, 513ull, 20000ull}) {
    std::vector<uint8_t> buffer(length);  // exactly length: ASan sees any overrun
    uint64_t got = 0;
    ASSERT_TRUE(ReadRecordData(run.store, run.job->source, kFirstRealVolume, f, buffer.data(), length, got));
    EXPECT_EQ(got, length);
    EXPECT_EQ(buffer, Image::Expected(5, length));
  }
}

TEST(ExportBounds, ResidentRecordLargerThanItsValueFailsWithinTheBuffer) {
  const std::string image = test::TestDataPath("fixtures/ntfs.img");
  FoundFileStore store;
  ASSERT_TRUE(test::ListImage(image, store));
  // Take a resident file and claim a size beyond the 1024-byte FILE record.
  std::optional<FileRecord> resident;
  store.ReadVolume(kFirstRealVolume, [&](const VolumeRecord& v) {
    for (uint32_t i = kRootIndex + 1; i < v.file_count && !resident; ++i) {
      const FileRecord* r = GetRecord(v, i);
      if (r && !r->is_dir() && (r->flags & kFlagResident) && r->size > 0) resident = *r;
    }
  });
  ASSERT_TRUE(resident);
  Builder b;
  b.v.fs_kind = kFsNtfs;
  FileRecord r = *resident;
  r.index = 0;
  r.children.clear();
  r.parent = kRootIndex;
  r.size = 5000;
  r.set_check(kChecked);
  InsertRecord(b.v, r, true);
  FoundFileStore mine;
  VolumeRecord src;
  src.device_path = image;
  mine.Reset(src, false);
  mine.AddVolume(std::move(b.v), false);
  test::TempDir out;
  auto job = test::MakeJob(mine, image, out.path());
  job->read_error = ReadErrorPolicy::kEmpty;
  ASSERT_TRUE(test::RunExport(job));
  EXPECT_EQ(job->totals.files_recovered, 0u);
  EXPECT_EQ(job->totals.files_failed, 1u);
  size_t files = 0;
  for (const auto& e : fs::recursive_directory_iterator(out.path())) files += e.is_regular_file();
  EXPECT_EQ(files, 0u);  // the failed file is removed under the "empty" policy
}

TEST(ExportSummary, SizeFormsAtTheirThresholds) {
  const struct {
    uint64_t bytes;
    const char* text;
  } cases[] = {{0, "共计0(B)数据"},          {1228, "共计1228(B)数据"},    {1229, "共计1(KB)数据"},
               {1258291, "共计1228(KB)数据"}, {1258292, "共计1.20(MB)数据"}, {1288490188, "共计1228.80(MB)数据"},
               {1288490189, "共计1.20(GB)数据"}};
  for (const auto& c : cases) {
    ExportTotals t;
    t.files_recovered = 3;
    t.bytes_written = c.bytes;
    const std::string s = ExportSummaryText(t);
    EXPECT_NE(s.find(c.text), std::string::npos) << s;
    EXPECT_EQ(s.find("失败"), std::string::npos);
  }
}

TEST(OutputChecks, FolderMustBeAnExistingWritableFolderWithRoom) {
  test::TempDir tmp;
  test::WriteFile(tmp.File("afile"), {1});
  const std::string image = tmp.File("afile");  // an image source occupies no device
  EXPECT_EQ(CheckOutputFolder("", image, 0).code, OutputCheck::kEmpty);
  EXPECT_EQ(CheckOutputFolder("", image, 0).text, kChooseFolderText);
  EXPECT_EQ(CheckOutputFolder(tmp.File("missing"), image, 0).code, OutputCheck::kInvalid);
  EXPECT_EQ(CheckOutputFolder(tmp.File("afile"), image, 0).code, OutputCheck::kInvalid);
  EXPECT_EQ(CheckOutputFolder(tmp.File("afile"), image, 0).text, kInvalidFolderText);
  EXPECT_TRUE(CheckOutputFolder(tmp.path(), image, 0).ok());
  EXPECT_EQ(CheckOutputFolder(tmp.path(), image, ~0ull / 2).code, OutputCheck::kNoRoom);
  EXPECT_FALSE(EnoughRoom(103, 100));
  EXPECT_TRUE(EnoughRoom(104, 100));
  EXPECT_TRUE(EnoughRoom(0, 100));  // unknown free space is not checked
}

TEST(OutputChecks, FolderOnTheSourceDeviceIsRefused) {
  // The block device holding the test's own folder, and its whole disk.
  test::TempDir tmp;
  struct stat st;
  ASSERT_EQ(stat(tmp.path().c_str(), &st), 0);
  std::string node;
  for (const auto& e : fs::directory_iterator("/dev")) {
    struct stat ds;
    if (stat(e.path().c_str(), &ds) == 0 && S_ISBLK(ds.st_mode) && ds.st_rdev == st.st_dev) node = e.path();
  }
  if (node.empty()) GTEST_SKIP() << "the test folder lies on no block device node under /dev";
  EXPECT_EQ(CheckOutputFolder(tmp.path(), node, 0).code, OutputCheck::kOnSource);
  EXPECT_EQ(CheckOutputFolder(tmp.path(), node, 0).text, kOnSourceText);
}

TEST(ExportFolders, PlantedLinkIsNotFollowed) {
  Image img(16);
  Builder b;
  const uint32_t dir = b.Dir(kRootIndex, "sub");
  b.File(dir, "f.bin", 1, 100);
  ExportRun run(b, img);
  ASSERT_TRUE(run.Go());  // makes the folders
  const std::string sub = run.VolumeDir() + "/sub";
  fs::remove_all(sub);
  const std::string elsewhere = run.tmp.File("elsewhere");
  fs::create_directory(elsewhere);
  fs::create_directory_symlink(elsewhere, sub);
  auto job = test::MakeJob(run.store, img.path(), run.out);
  ASSERT_TRUE(test::RunExport(job));
  EXPECT_TRUE(fs::is_empty(elsewhere));
  // The folder is made beside the link under a new name, or the file fails: never through it.
  EXPECT_EQ(job->totals.files_recovered + job->totals.files_failed, 1u);
}

}  // namespace
}  // namespace trovium
