// trovium-cli scan run the way a script would.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "common/test_support.h"

namespace trovium {
namespace {

int RunCli(const std::string& args, std::string* out = nullptr) {
  std::string cmd = std::string(TROVIUM_BIN_DIR) + "/trovium-cli " + args;
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return -1;
  char buf[4096];
  size_t n = 0;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
    if (out) out->append(buf, n);
  int status = ::pclose(p);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(CliScan, JsonHasSourceStatsAndHitsInChunkOrder) {
  test::TempDir dir;
  const std::string image = test::TestDataPath("fixtures/disk-mbr.img");
  ASSERT_EQ(RunCli("scan " + image + " --json " + dir.File("scan.json")), 0);
  std::ifstream f(dir.File("scan.json"));
  auto got = nlohmann::json::parse(f, nullptr, false);
  ASSERT_TRUE(got.is_object());
  EXPECT_EQ(got["source"], image);
  const auto& stats = got["stats"];
  for (const char* name : {"totalSectors", "doneSectors", "filesFound", "ebrHits", "ntfsBootHits", "fatBootHits",
                           "exfatBootHits", "fileRecordHits", "fatDirHits", "indxHits", "exfatDirHits"}) {
    EXPECT_TRUE(stats[name].is_number_unsigned()) << name;
  }
  std::ifstream t(std::string(TROVIUM_SOURCE_TESTDATA_DIR) + "/fixtures/disk-mbr.img.truth.json");
  auto truth = nlohmann::json::parse(t, nullptr, false);
  EXPECT_EQ(stats["totalSectors"], truth["size_bytes"].get<uint64_t>() / 512);

  std::map<int, int> per_kind;
  uint64_t last_chunk = 0;
  std::map<uint64_t, int> boot_kind_at;
  for (const auto& h : got["hits"]) {
    ASSERT_EQ(h.size(), 5u);
    ASSERT_TRUE(h["kind"].is_number_unsigned() && h["name"].is_string() && h["lba"].is_number_unsigned() &&
                h["sub"].is_number_unsigned() && h["size"].is_number_unsigned());
    uint64_t chunk = h["lba"].get<uint64_t>() / 16384;
    EXPECT_GE(chunk, last_chunk);
    last_chunk = chunk;
    ++per_kind[h["kind"].get<int>()];
    boot_kind_at[h["lba"].get<uint64_t>()] = h["kind"].get<int>();
  }
  EXPECT_EQ(per_kind[223], stats["ntfsBootHits"].get<int>());
  EXPECT_EQ(per_kind[224], stats["fileRecordHits"].get<int>());
  EXPECT_EQ(per_kind[226] + per_kind[228], stats["fatBootHits"].get<int>());
  // Every partition's boot sector lies where mmls puts the partition.
  const std::map<std::string, int> kind_of_fs = {{"NTFS", 223}, {"FAT16", 226}, {"FAT32", 228}, {"exFAT", 233}};
  for (const auto& part : truth["partitions"]) {
    EXPECT_EQ(boot_kind_at[part["start_lba"].get<uint64_t>()], kind_of_fs.at(part["fs"].get<std::string>()))
        << part["fs"];
  }
}

TEST(CliScan, InterruptStopsTheScanWith130) {
  test::TempDir dir;
  const std::string image = dir.File("big.img");
  ASSERT_TRUE(test::WriteFile(image, {}));
  ASSERT_EQ(::truncate(image.c_str(), 256ll << 30), 0);  // zeros far beyond what a second reads
  std::string out;
  int code = RunCli("scan " + image + " & pid=$!; sleep 1; kill -INT $pid; wait $pid", &out);
  EXPECT_EQ(code, 130) << out;
  EXPECT_NE(out.find("doneSectors: "), std::string::npos);
}

TEST(CliScan, UnopenableSourceFailsAtOnce) {
  test::TempDir dir;
  std::string out;
  EXPECT_EQ(RunCli("scan " + dir.File("missing.img") + " 2>&1", &out), 1);
  EXPECT_NE(out.find("cannot open"), std::string::npos) << out;
}

}  // namespace
}  // namespace trovium
