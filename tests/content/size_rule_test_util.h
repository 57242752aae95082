#pragma once
// Building hand-made files for the size-rule tests and running one rule over
// them the way the scan does: the file at the start of a buffer, followed by
// '~' bytes (like the corpus images' tail guard) up to `length`.

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "content/carve.h"

namespace trovium::test {

inline constexpr uint64_t kTestLba = 2048;

struct Bytes {
  std::vector<uint8_t> b;
  Bytes& raw(std::string_view s) {
    b.insert(b.end(), s.begin(), s.end());
    return *this;
  }
  Bytes& zeros(size_t n) {
    b.insert(b.end(), n, 0);
    return *this;
  }
  Bytes& le16(uint32_t v) { return put(v, 2, false); }
  Bytes& le32(uint32_t v) { return put(v, 4, false); }
  Bytes& le64(uint64_t v) { return put(v, 8, false); }
  Bytes& be16(uint32_t v) { return put(v, 2, true); }
  Bytes& be24(uint32_t v) { return put(v, 3, true); }
  Bytes& be32(uint32_t v) { return put(v, 4, true); }
  Bytes& be64(uint64_t v) { return put(v, 8, true); }
  Bytes& put(uint64_t v, int n, bool big) {
    for (int i = 0; i < n; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * (big ? n - 1 - i : i))));
    return *this;
  }
  size_t size() const { return b.size(); }
};

inline void Poke32(std::vector<uint8_t>& b, size_t at, uint32_t v, bool big = false) {
  if (b.size() < at + 4) b.resize(at + 4);
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * (big ? 3 - i : i)));
}
inline void Poke16(std::vector<uint8_t>& b, size_t at, uint32_t v, bool big = false) {
  if (b.size() < at + 2) b.resize(at + 2);
  for (int i = 0; i < 2; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * (big ? 1 - i : i)));
}

// The file in a buffer of `length` bytes (at least the file and 4 KiB more).
inline std::vector<uint8_t> InBuffer(const std::vector<uint8_t>& file, size_t length = 0) {
  const size_t min_length = (file.size() + 4096 + 511) / 512 * 512;
  std::vector<uint8_t> buffer(length > min_length ? length : min_length, '~');
  std::memcpy(buffer.data(), file.data(), file.size());
  return buffer;
}

inline CarveState RunRule(uint32_t code, const std::vector<uint8_t>& buffer, size_t length = SIZE_MAX) {
  CarveState st{};
  st.code = code;
  st.first_lba = kTestLba;
  determine_size(buffer.data(), length < buffer.size() ? length : buffer.size(), st, kTestLba);
  return st;
}

}  // namespace trovium::test
