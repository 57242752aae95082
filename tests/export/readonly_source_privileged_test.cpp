// The source is never written: an image's MD5 is the same before and after a
// full listing and export, and the export runs unchanged against a read-only
// loop device, which refuses every write.

#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>

#include "common/test_support.h"
#include "export/privileged_support.h"
#include "export/save_current.h"
#include "fs/quick_listing.h"

namespace trovium {
namespace {

namespace fs = std::filesystem;

struct SilentView : ProgressView {
  bool Tick(const ProgressReport*) override { return true; }
};

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// MD5s of the allocated files of a fixture, from its ground truth.
std::multiset<std::string> TruthMd5s(const std::string& fixture) {
  std::ifstream in(std::string(TROVIUM_SOURCE_TESTDATA_DIR) + "/fixtures/" + fixture + ".truth.json");
  std::multiset<std::string> out;
  if (!in) return out;
  const nlohmann::json truth = nlohmann::json::parse(in);
  for (const auto& f : truth["files"])
    if (!f["dir"].get<bool>() && !f["deleted"].get<bool>() && f["md5"].is_string())
      out.insert(Lower(f["md5"].get<std::string>()));
  return out;
}

// Lists `source`, checks every file and exports everything into out. The
// MD5s of the files written.
std::multiset<std::string> ListAndExportAll(const std::string& source, const std::string& out, ExportTotals& totals) {
  std::vector<VolumeRecord> volumes;
  if (!ListSource(source, ListOptions{}, volumes)) return {};
  FoundFileStore store;
  LoadListing(store, std::move(volumes), ListingView::kAll, source);
  for (uint32_t a = kFirstRealVolume; a < store.VolumeCount(); ++a) {
    std::vector<uint32_t> files;
    store.ReadVolume(a, [&](const VolumeRecord& v) {
      for (uint32_t i = kRootIndex + 1; i < v.file_count; ++i)
        if (const FileRecord* r = GetRecord(v, i); r && !r->is_dir()) files.push_back(i);
    });
    for (uint32_t i : files)
      if (store.CheckState(a, i) != kChecked) store.ToggleCheck(a, i);
  }
  auto job = std::make_shared<ExportJob>();
  job->store = &store;
  job->source.device_path = source;
  job->source.sector_count = kOpenEndedSectorCount;
  job->out_dir = out;
  SilentView view;
  if (!RunWithProgress(job, SaveAllToDirThread, view)) return {};
  totals = job->totals;
  std::multiset<std::string> md5s;
  for (const auto& e : fs::recursive_directory_iterator(out))
    if (e.is_regular_file()) md5s.insert(Lower(test::FileMd5(e.path().string())));
  return md5s;
}

void ExpectAllTruthExported(const std::multiset<std::string>& truth, const std::multiset<std::string>& got) {
  ASSERT_FALSE(truth.empty());
  for (const std::string& m : truth) EXPECT_GE(got.count(m), truth.count(m)) << "allocated file with MD5 " << m;
}

class ReadOnlySource : public ::testing::TestWithParam<const char*> {};

TEST_P(ReadOnlySource, ImageUnchangedByListingAndExport) {
  const std::string image = test::TestDataPath(std::string("fixtures/") + GetParam());
  const std::string before = test::FileMd5(image);
  ASSERT_FALSE(before.empty());
  test::TempDir out;
  ExportTotals totals;
  const auto got = ListAndExportAll(image, out.path(), totals);
  EXPECT_GT(totals.files_recovered, 0u);
  ExpectAllTruthExported(TruthMd5s(GetParam()), got);
  EXPECT_EQ(test::FileMd5(image), before);
}

TEST_P(ReadOnlySource, ExportFromAReadOnlyLoopDevice) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to attach a loop device";
  const std::string image = test::TestDataPath(std::string("fixtures/") + GetParam());
  const std::string before = test::FileMd5(image);
  test::LoopDevice loop;
  if (!loop.Attach(image, true)) GTEST_SKIP() << "no loop device available";

  // The device itself refuses writing: an open for writing fails, or (newer
  // kernels) it succeeds and every write fails. The bytes written are those
  // already there, so nothing could change even if it did not refuse.
  {
    int ro = 0;
    const int probe = open(loop.path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(probe, 0);
    EXPECT_EQ(ioctl(probe, BLKROGET, &ro), 0);
    EXPECT_EQ(ro, 1);
    close(probe);
    const int fd = open(loop.path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd >= 0) {
      uint8_t sector[512];
      ASSERT_EQ(pread(fd, sector, sizeof sector, 0), 512);
      errno = 0;
      EXPECT_LT(pwrite(fd, sector, sizeof sector, 0), 0) << "the read-only device took a write";
      EXPECT_TRUE(errno == EPERM || errno == EROFS || errno == EACCES) << errno;
      close(fd);
    }
  }
  test::TempDir out;
  ExportTotals totals;
  const auto got = ListAndExportAll(loop.path, out.path(), totals);
  EXPECT_GT(totals.files_recovered, 0u);
  EXPECT_EQ(totals.files_failed, 0u);
  ExpectAllTruthExported(TruthMd5s(GetParam()), got);
  EXPECT_EQ(test::FileMd5(loop.path), before);
  EXPECT_EQ(test::FileMd5(image), before);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ReadOnlySource, ::testing::Values("ntfs.img", "fat32.img", "exfat.img"),
                         [](const auto& p) {
                           std::string n = p.param;
                           return n.substr(0, n.find('.'));
                         });

}  // namespace
}  // namespace trovium
