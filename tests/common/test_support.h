#pragma once
// Helpers shared by the tests: where unpacked test data lives, a private
// temporary folder per test, and TROVIUM_HOME pointed into it.

#include <cstdint>
#include <string>
#include <vector>

namespace trovium::test {

// Path of an unpacked file from tests/data (the .zst suffix dropped), e.g.
// TestDataPath("fixtures/ntfs.img").
std::string TestDataPath(const std::string& relative);

// A fresh folder that is removed when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Writes bytes to a file, replacing it. Returns false on failure.
bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadFile(const std::string& path);

// Runs a shell command and collects its standard output.
struct CommandResult {
  int exit_code = -1;  // -1 when it could not run or did not exit normally
  std::string out;
};
CommandResult RunCommand(const std::string& shell_command);

}  // namespace trovium::test
