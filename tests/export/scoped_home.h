#pragma once
// Points TROVIUM_HOME at a folder for the lifetime of the object and puts the
// previous value back, so later tests of the process see the usual one.

#include <cstdlib>
#include <optional>
#include <string>

namespace trovium::test {

class ScopedHome {
 public:
  explicit ScopedHome(const std::string& folder) {
    if (const char* old = std::getenv("TROVIUM_HOME")) old_ = old;
    setenv("TROVIUM_HOME", folder.c_str(), 1);
  }
  ~ScopedHome() {
    if (old_) setenv("TROVIUM_HOME", old_->c_str(), 1);
    else unsetenv("TROVIUM_HOME");
  }
  ScopedHome(const ScopedHome&) = delete;
  ScopedHome& operator=(const ScopedHome&) = delete;

 private:
  std::optional<std::string> old_;
};

}  // namespace trovium::test
