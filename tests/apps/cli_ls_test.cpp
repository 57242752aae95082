// trovium-cli ls run the way a script would, checked against the Sleuth Kit
// manifests of the images.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>

#include "common/test_support.h"

namespace trovium {
namespace {

using CliRun = test::CommandResult;

// Times are printed in local time; the manifests hold UTC.
CliRun RunCli(const std::string& args) {
  std::string cmd = "TZ=UTC " + std::string(TROVIUM_BIN_DIR) + "/trovium-cli " + args + " 2>/dev/null";
  return test::RunCommand(cmd);
}

nlohmann::json Truth(const std::string& image) {
  std::ifstream f(std::string(TROVIUM_SOURCE_TESTDATA_DIR) + "/fixtures/" + image + ".truth.json");
  return nlohmann::json::parse(f, nullptr, false);
}

// "2021-05-03T10:11:12Z" as the listing prints it.
std::string ListedTime(const std::string& iso) {
  std::string t = iso.substr(0, 19);
  t[10] = ' ';
  return t;
}

TEST(CliLs, JsonListsEveryPartitionWithItsFiles) {
  const std::string image = "disk-mbr.img";
  CliRun r = RunCli("ls --json " + test::TestDataPath("fixtures/" + image));
  ASSERT_EQ(r.exit_code, 0) << r.out;
  const nlohmann::json got = nlohmann::json::parse(r.out, nullptr, false);
  ASSERT_TRUE(got.is_object()) << r.out;
  const nlohmann::json truth = Truth(image);
  ASSERT_EQ(got["volumes"].size(), truth["partitions"].size());

  const std::regex time_text(R"(^(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)?$)");
  for (size_t i = 0; i < got["volumes"].size(); ++i) {
    const nlohmann::json& v = got["volumes"][i];
    const nlohmann::json& p = truth["partitions"][i];
    SCOPED_TRACE(p.dump());
    EXPECT_EQ(v["index"], i + 1);
    EXPECT_EQ(v["fs"], p["fs"]);
    EXPECT_EQ(v["start_lba"], p["start_lba"]);
    EXPECT_EQ(v["sector_count"], p["sector_count"]);
    EXPECT_EQ(v["label"], p["label"]);
    EXPECT_NE(v["title"].get<std::string>().find(p["label"].get<std::string>()), std::string::npos);

    std::map<std::string, nlohmann::json> by_path;
    for (const nlohmann::json& f : v["files"]) {
      EXPECT_TRUE(std::regex_match(f["mtime"].get<std::string>(), time_text)) << f["mtime"];
      EXPECT_TRUE(std::regex_match(f["ctime"].get<std::string>(), time_text)) << f["ctime"];
      EXPECT_EQ(f["deleted"], f["state"] == 0 || f["state"] == 2);
      EXPECT_EQ(f["dir"], f["state"] == 2 || f["state"] == 3);
      by_path[f["path"].get<std::string>()] = f;
    }
    size_t checked = 0;
    for (const nlohmann::json& t : truth["files"]) {
      if (t["partition"] != i || t["deleted"].get<bool>() || t["dir"].get<bool>()) continue;
      SCOPED_TRACE(t["path"].get<std::string>());
      auto it = by_path.find(t["path"].get<std::string>());
      ASSERT_NE(it, by_path.end());
      EXPECT_EQ(it->second["size"], t["size"]);
      EXPECT_EQ(it->second["deleted"], false);
      EXPECT_EQ(it->second["mtime"], ListedTime(t["mtime"].get<std::string>()));
      ++checked;
    }
    EXPECT_GT(checked, 0u);
  }
}

TEST(CliLs, DeletedAndExistingShowOneSideEach) {
  const std::string source = test::TestDataPath("fixtures/fat16.img");
  for (const char* flag : {"--deleted", "--existing"}) {
    SCOPED_TRACE(flag);
    CliRun r = RunCli(std::string("ls --json ") + flag + " " + source);
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const nlohmann::json got = nlohmann::json::parse(r.out, nullptr, false);
    ASSERT_TRUE(got.is_object()) << r.out;
    ASSERT_EQ(got["volumes"].size(), 1u);
    const bool want_deleted = std::string(flag) == "--deleted";
    size_t files = 0;
    for (const nlohmann::json& f : got["volumes"][0]["files"]) {
      if (f["dir"].get<bool>()) continue;
      EXPECT_EQ(f["deleted"], want_deleted) << f["path"];
      ++files;
    }
    EXPECT_GT(files, 0u);
  }
}

TEST(CliLs, TextTreeAndFailures) {
  CliRun r = RunCli("ls " + test::TestDataPath("fixtures/disk-gpt.img"));
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_NE(r.out.find("GPT_NTFS"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("GPT_EXFAT"), std::string::npos) << r.out;

  EXPECT_EQ(RunCli("ls /nonexistent/trovium-image.img").exit_code, 1);
  // No table and no boot sector left at LBA 0: nothing to list, said so.
  CliRun lost = RunCli("ls --json " + test::TestDataPath("fixtures/disk-lostpart.img"));
  EXPECT_EQ(lost.exit_code, 2);
  EXPECT_EQ(nlohmann::json::parse(lost.out, nullptr, false)["volumes"].size(), 0u);
}

}  // namespace
}  // namespace trovium
