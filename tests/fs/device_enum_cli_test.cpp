// `trovium-cli devices` on a fake machine, run the way a script would.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <nlohmann/json.hpp>

#include "common/test_support.h"
#include "platform/fake_block_tree.h"

namespace trovium {
namespace {

struct CliRun {
  int exit_code = -1;
  nlohmann::json json;
};

CliRun Devices(const test::FakeBlockTree& tree, const std::string& args) {
  const platform::BlockDeviceRoots roots = tree.roots();
  const std::string cmd = std::string(TROVIUM_BIN_DIR) + "/trovium-cli devices --json " + args + " --sysfs-root " +
                          roots.sysfs + " --dev-root " + roots.dev + " --mountinfo " + roots.mountinfo +
                          " 2>/dev/null";
  CliRun r;
  std::string out;
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n = 0;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int status = ::pclose(p);
  r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.json = nlohmann::json::parse(out, nullptr, false);
  return r;
}

TEST(DeviceEnumCli, JsonListsByListType) {
  test::TempDir dir;
  test::FakeBlockTree tree(dir.path());
  tree.AddDisk("sda", "pci0000:00/0000:00:1f.2/ata1/host0/target0:0:0/0:0:0:0", 6442450944ull, false, "8:0",
               "ATA     ", "Big Disk");
  tree.AddPartition("sda", "sda1", 1, 4294969344ull, 2147481600ull, "8:1");
  tree.AddDisk("sdb", "pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host6/target6:0:0/6:0:0:0", 30031872, true,
               "8:16", "SanDisk ", "Cruzer Blade");
  tree.AddPartition("sdb", "sdb1", 1, 2048, 30029824, "8:17");

  CliRun all = Devices(tree, "");
  ASSERT_EQ(all.exit_code, 0);
  ASSERT_TRUE(all.json.is_array());
  ASSERT_EQ(all.json.size(), 4u);
  EXPECT_EQ(all.json[0]["kind"], "volume");
  EXPECT_EQ(all.json[0]["name"], "sda1");
  EXPECT_EQ(all.json[0]["start_lba"].get<uint64_t>(), 4294969344ull);
  EXPECT_EQ(all.json[0]["volume_path"], tree.DevNode("sda1"));
  EXPECT_EQ(all.json[0]["display_name"], " (sda1: )");
  EXPECT_EQ(all.json[2]["kind"], "drive");
  EXPECT_EQ(all.json[2]["display_name"], "ATA Big Disk");
  EXPECT_EQ(all.json[2]["sector_count"].get<uint64_t>(), 6442450944ull);
  EXPECT_EQ(all.json[2]["bus"], "ata");

  CliRun removable = Devices(tree, "--list-type 3");
  ASSERT_EQ(removable.exit_code, 0);
  ASSERT_EQ(removable.json.size(), 2u);
  EXPECT_EQ(removable.json[0]["name"], "sdb1");
  EXPECT_EQ(removable.json[1]["device_path"], tree.DevNode("sdb"));
  EXPECT_EQ(removable.json[1]["removable"], true);

  test::TempDir empty_dir;
  test::FakeBlockTree empty(empty_dir.path());
  CliRun none = Devices(empty, "");
  EXPECT_EQ(none.exit_code, 1);
  EXPECT_EQ(none.json, nlohmann::json::array());
}

}  // namespace
}  // namespace trovium
