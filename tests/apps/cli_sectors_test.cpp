// Runs the built trovium-cli the way a script would.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "common/test_support.h"

namespace trovium {
namespace {

using CliRun = test::CommandResult;

CliRun RunCli(const std::string& args) {
  std::string cmd = std::string(TROVIUM_BIN_DIR) + "/trovium-cli " + args;
  return test::RunCommand(cmd);
}

nlohmann::json Truth(const std::string& image) {
  std::ifstream f(std::string(TROVIUM_SOURCE_TESTDATA_DIR) + "/fixtures/" + image + ".truth.json");
  return nlohmann::json::parse(f, nullptr, false);
}

TEST(CliSectors, JsonListsTheBootSectorsOfEveryPartition) {
  const std::string image = "disk-mbr.img";
  CliRun r = RunCli("sectors --json " + test::TestDataPath("fixtures/" + image));
  ASSERT_EQ(r.exit_code, 0) << r.out;
  auto got = nlohmann::json::parse(r.out, nullptr, false);
  ASSERT_TRUE(got.is_object()) << r.out;
  auto truth = Truth(image);
  ASSERT_TRUE(truth.is_object());
  EXPECT_EQ(got["sectors"], truth["size_bytes"].get<uint64_t>() / 512);

  std::map<int, nlohmann::json> by_kind;
  for (const auto& k : got["kinds"]) {
    ASSERT_TRUE(k["kind"].is_number_integer() && k["name"].is_string() && k["count"].is_number_integer() &&
                k["lbas"].is_array());
    EXPECT_EQ(k["count"].get<size_t>(), k["lbas"].size());  // all below the 1000 limit here
    by_kind[k["kind"].get<int>()] = k;
  }
  EXPECT_EQ(by_kind[221]["name"], "MBR");
  EXPECT_EQ(by_kind[221]["lbas"], nlohmann::json::array({0}));
  // Each partition's boot sector is listed at its start, as mmls puts it.
  const std::map<std::string, int> kind_of_fs = {{"NTFS", 223}, {"FAT16", 226}, {"FAT32", 228}, {"exFAT", 233}};
  for (const auto& part : truth["partitions"]) {
    int kind = kind_of_fs.at(part["fs"].get<std::string>());
    const auto& lbas = by_kind[kind]["lbas"];
    EXPECT_NE(std::find(lbas.begin(), lbas.end(), part["start_lba"]), lbas.end()) << part["fs"];
  }
  EXPECT_EQ(by_kind[223]["name"], "NTFS DBR");
}

TEST(CliSectors, JsonKeepsTheFirstThousandLbasOfAKind) {
  test::TempDir dir;
  std::vector<uint8_t> bytes(1500 * 512);
  for (size_t s = 0; s < 1500; ++s) std::memcpy(&bytes[s * 512], "INDX", 4);
  ASSERT_TRUE(test::WriteFile(dir.File("indx.img"), bytes));
  CliRun r = RunCli("sectors --json " + dir.File("indx.img"));
  ASSERT_EQ(r.exit_code, 0);
  auto got = nlohmann::json::parse(r.out, nullptr, false);
  ASSERT_EQ(got["kinds"].size(), 1u);
  const auto& k = got["kinds"][0];
  EXPECT_EQ(k["kind"], 225);
  EXPECT_EQ(k["count"], 1500);
  ASSERT_EQ(k["lbas"].size(), 1000u);
  EXPECT_EQ(k["lbas"][999], 999);
}

TEST(CliSectors, UnopenableSourceFailsWithAReason) {
  test::TempDir dir;
  CliRun r = RunCli("sectors " + dir.File("missing.img") + " 2>&1");
  EXPECT_NE(r.exit_code, 0);
  EXPECT_NE(r.out.find("cannot open"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace trovium
