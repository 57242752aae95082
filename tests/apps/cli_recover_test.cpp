// trovium-cli recover: deleted files of the demo image into a folder, with the
// summary; refusals of a bad output folder and of an empty selection.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "common/test_support.h"

namespace trovium {
namespace {

namespace fs = std::filesystem;

using CliRun = test::CommandResult;

CliRun RunCli(const std::string& args) {
  const std::string cmd = std::string(TROVIUM_BIN_DIR) + "/trovium-cli " + args + " 2>&1";
  return test::RunCommand(cmd);
}

TEST(CliRecover, DeletedFilesOfTheDemoImage) {
  const std::string image = test::TestDataPath("fixtures/disk-mbr.img");
  test::TempDir out;
  const CliRun r = RunCli("recover '" + image + "' --out '" + out.path() + "' --deleted --no");
  EXPECT_EQ(r.exit_code, 0) << r.out;
  EXPECT_NE(r.out.find("导出结束！本次恢复16个文件"), std::string::npos) << r.out;
  size_t files = 0;
  for (const auto& e : fs::recursive_directory_iterator(out.path())) files += e.is_regular_file();
  EXPECT_EQ(files, 16u);
  // A second run with --overwrite skip leaves every file as it is.
  const CliRun again = RunCli("recover '" + image + "' --out '" + out.path() + "' --deleted --overwrite skip");
  EXPECT_EQ(again.exit_code, 0) << again.out;
  EXPECT_NE(again.out.find("16个已存在的文件被跳过"), std::string::npos) << again.out;
}

TEST(CliRecover, RefusesAFileAsOutputAndAnEmptySelection) {
  const std::string image = test::TestDataPath("fixtures/disk-mbr.img");
  test::TempDir out;
  test::WriteFile(out.File("plain"), {1});
  const CliRun file = RunCli("recover '" + image + "' --out '" + out.File("plain") + "'");
  EXPECT_EQ(file.exit_code, 2);
  EXPECT_NE(file.out.find("选择的目录不合法，恢复失败！"), std::string::npos) << file.out;
  const CliRun none = RunCli("recover '" + image + "' --out '" + out.path() + "' --path 'no/such/*'");
  EXPECT_EQ(none.exit_code, 3);
  EXPECT_NE(none.out.find("请至少选择一个需要恢复的文件或目录!"), std::string::npos) << none.out;
}

}  // namespace
}  // namespace trovium
