#include "common/test_support.h"

#include <unistd.h>

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

}  // namespace trovium::test
