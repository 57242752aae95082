// Every allocated and intact deleted file of the fixture images comes out
// byte-identical: its MD5 equals the image's ground truth, and for a sample
// also Sleuth Kit's icat of the same file.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

#include "core/md5.h"
#include "export/export_test_support.h"
#include "common/test_support.h"

namespace trovium {
namespace {

namespace fs = std::filesystem;

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string FileMd5(const std::string& path) {
  const std::vector<uint8_t> bytes = test::ReadFile(path);
  return Lower(Md5Hex(bytes.data(), bytes.size()));
}

// Output of a program run with fork/exec (no shell).
std::vector<uint8_t> RunTool(const std::vector<std::string>& argv) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    close(fds[1]);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(fds[1]);
  std::vector<uint8_t> out;
  uint8_t buf[65536];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) out.insert(out.end(), buf, buf + n);
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? out : std::vector<uint8_t>{};
}

struct Exported {
  std::map<std::string, std::string> by_path;  // path inside the volume folder -> md5
  std::multimap<std::string, std::string> by_md5;
};

class ExportFixture : public ::testing::TestWithParam<const char*> {};

TEST_P(ExportFixture, EveryIntactFileMatchesGroundTruth) {
  const std::string image = test::TestDataPath(std::string("fixtures/") + GetParam());
  std::ifstream in(std::string(TROVIUM_SOURCE_TESTDATA_DIR) + "/fixtures/" + GetParam() + ".truth.json");
  ASSERT_TRUE(in) << image;
  const nlohmann::json truth = nlohmann::json::parse(in);

  FoundFileStore store;
  ASSERT_TRUE(test::ListImage(image, store));
  test::CheckAllFiles(store);
  test::TempDir out;
  auto job = test::MakeJob(store, image, out.path());
  ASSERT_TRUE(test::RunExport(job));
  EXPECT_EQ(job->totals.files_failed, 0u);
  EXPECT_EQ(job->totals.files_recovered, job->totals.files_attempted);

  // One folder per volume, in the order of the partitions.
  std::vector<fs::path> volume_dirs;
  for (const auto& e : fs::directory_iterator(job->export_root)) volume_dirs.push_back(e.path());
  std::sort(volume_dirs.begin(), volume_dirs.end());
  std::vector<Exported> exported(volume_dirs.size());
  for (size_t p = 0; p < volume_dirs.size(); ++p) {
    for (const auto& e : fs::recursive_directory_iterator(volume_dirs[p])) {
      if (!e.is_regular_file()) continue;
      const std::string md5 = FileMd5(e.path());
      exported[p].by_path[fs::relative(e.path(), volume_dirs[p]).string()] = md5;
      exported[p].by_md5.emplace(md5, e.path().string());
    }
  }

  size_t checked = 0;
  for (const auto& f : truth["files"]) {
    if (f["dir"].get<bool>() || f["md5"].is_null()) continue;
    const std::string note = f.value("note", "");
    if (f["deleted"].get<bool>() && note.find("content intact") == std::string::npos) continue;
    const auto part = f["partition"].get<size_t>();
    ASSERT_LT(part, exported.size());
    const std::string path = f["path"].get<std::string>();
    const std::string md5 = f["md5"].get<std::string>();
    SCOPED_TRACE(path);
    auto it = exported[part].by_path.find(path);
    if (it != exported[part].by_path.end()) {
      EXPECT_EQ(it->second, md5);
    } else {
      // Renamed on the way (recycle-bin names restored, a deleted 8.3 name's
      // lost first character): the same bytes must still be there.
      const bool recycle_info = path.find("$RECYCLE.BIN") != std::string::npos &&
                                path.substr(path.rfind('/') + 1).rfind("$I", 0) == 0;
      if (!recycle_info) {
        EXPECT_TRUE(exported[part].by_md5.count(md5)) << "missing";
      }
    }
    ++checked;
  }
  EXPECT_GT(checked, 5u);

  // A sample against Sleuth Kit: per volume a fragmented file when there is
  // one, else the first larger file.
  if (std::system("command -v icat >/dev/null 2>&1") != 0) GTEST_SKIP() << "icat (sleuthkit) not installed";
  std::vector<bool> sampled(volume_dirs.size(), false);
  std::vector<nlohmann::json> order;
  for (const auto& f : truth["files"]) {
    if (f["fragmented"] == true) order.insert(order.begin(), f);
    else order.push_back(f);
  }
  for (const auto& f : order) {
    if (f["dir"].get<bool>() || f["deleted"].get<bool>() || f["md5"].is_null() || f["size"].get<uint64_t>() < 4096) continue;
    const auto part = f["partition"].get<size_t>();
    if (sampled[part] || f["tsk_inode"].is_null()) continue;
    const auto it = exported[part].by_path.find(f["path"].get<std::string>());
    if (it == exported[part].by_path.end()) continue;
    const uint64_t offset = truth["partitions"][part]["start_lba"].get<uint64_t>();
    const std::vector<uint8_t> icat =
        RunTool({"icat", "-o", std::to_string(offset), image, f["tsk_inode"].get<std::string>()});
    ASSERT_FALSE(icat.empty()) << f["path"];
    EXPECT_EQ(Lower(Md5Hex(icat.data(), icat.size())), it->second) << f["path"];
    sampled[part] = true;
  }
  EXPECT_TRUE(std::find(sampled.begin(), sampled.end(), true) != sampled.end());
}

INSTANTIATE_TEST_SUITE_P(Images, ExportFixture,
                         ::testing::Values("ntfs.img", "fat16.img", "fat32.img", "exfat.img", "disk-mbr.img",
                                           "disk-gpt.img"),
                         [](const auto& param_info) {
                           std::string n = param_info.param;
                           for (char& c : n) if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return n;
                         });

}  // namespace
}  // namespace trovium
