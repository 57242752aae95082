#include "common/test_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace trovium::test {

std::string TestDataPath(const std::string& relative) { return std::string(TROVIUM_TESTDATA_DIR) + "/" + relative; }

TempDir::TempDir() {
  std::string templ = (std::filesystem::temp_directory_path() / "trovium-test-XXXXXX").string();
  char* made = ::mkdtemp(templ.data());
  path_ = made ? made : templ;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  if (!f) return false;
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(f);
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

CommandResult RunCommand(const std::string& shell_command) {
  CommandResult r;
  FILE* p = ::popen(shell_command.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n = 0;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int status = ::pclose(p);
  r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

}  // namespace trovium::test
