#include "platform/memory_info.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string>

namespace trovium::platform {
namespace {

// Value in kB of "<key>:   <number> kB", or nothing.
std::optional<uint64_t> FieldKiB(std::string_view text, std::string_view key) {
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(at, end - at);
    at = end + 1;
    if (line.size() <= key.size() || line.substr(0, key.size()) != key || line[key.size()] != ':') continue;
    size_t pos = key.size() + 1;
    while (pos < line.size() && line[pos] == ' ') ++pos;
    uint64_t value = 0;
    auto res = std::from_chars(line.data() + pos, line.data() + line.size(), value);
    if (res.ec != std::errc()) return std::nullopt;
    return value;
  }
  return std::nullopt;
}

}  // namespace

std::optional<MemoryStatus> ParseMemInfo(std::string_view text) {
  auto total = FieldKiB(text, "MemTotal");
  auto available = FieldKiB(text, "MemAvailable");
  if (!available) available = FieldKiB(text, "MemFree");
  if (!total || !available) return std::nullopt;
  return MemoryStatus{*total / 1024, *available / 1024};
}

std::optional<MemoryStatus> ReadMemoryStatus() {
  // Plain read into a fixed buffer: this runs when memory is short.
  int fd = ::open("/proc/meminfo", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  char buf[8192];
  size_t len = 0;
  while (len < sizeof(buf)) {
    ssize_t n = ::read(fd, buf + len, sizeof(buf) - len);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    len += static_cast<size_t>(n);
  }
  ::close(fd);
  return ParseMemInfo(std::string_view(buf, len));
}

}  // namespace trovium::platform
