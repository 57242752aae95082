#pragma once
// The one reader for bytes that come from a device or an image: every access
// is checked against the view's size and fails instead of overrunning.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace trovium {

class ByteView {
 public:
  ByteView() = default;
  ByteView(const uint8_t* data, size_t size) : data_(data), size_(data ? size : 0) {}

  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  // True when [at, at + len) lies inside the view (no overflow on huge values).
  bool has(size_t at, size_t len) const { return at <= size_ && len <= size_ - at; }

  bool u8(size_t at, uint8_t& out) const {
    if (!has(at, 1)) return false;
    out = data_[at];
    return true;
  }
  bool le16(size_t at, uint16_t& out) const {
    if (!has(at, 2)) return false;
    out = static_cast<uint16_t>(data_[at] | (data_[at + 1] << 8));
    return true;
  }
  bool le32(size_t at, uint32_t& out) const {
    if (!has(at, 4)) return false;
    out = static_cast<uint32_t>(data_[at]) | (static_cast<uint32_t>(data_[at + 1]) << 8) |
          (static_cast<uint32_t>(data_[at + 2]) << 16) | (static_cast<uint32_t>(data_[at + 3]) << 24);
    return true;
  }
  bool le64(size_t at, uint64_t& out) const {
    uint32_t lo = 0, hi = 0;
    if (!le32(at, lo) || !le32(at + 4, hi)) return false;
    out = (static_cast<uint64_t>(hi) << 32) | lo;
    return true;
  }
  // Copies len bytes out; false (and nothing copied) when they are not all there.
  bool bytes(size_t at, void* out, size_t len) const {
    if (!has(at, len)) return false;
    if (len) std::memcpy(out, data_ + at, len);
    return true;
  }
  // True when the view holds exactly these bytes at `at`.
  bool matches(size_t at, const void* text, size_t len) const {
    return has(at, len) && (len == 0 || std::memcmp(data_ + at, text, len) == 0);
  }

  // A narrower view; empty when the range is not inside this one.
  ByteView sub(size_t at, size_t len) const {
    if (!has(at, len)) return ByteView();
    return ByteView(data_ + at, len);
  }

  // Unchecked-by-type helpers for code that has already tested has(): they
  // still return 0 instead of reading outside.
  uint8_t u8_or0(size_t at) const { uint8_t v = 0; u8(at, v); return v; }
  uint16_t le16_or0(size_t at) const { uint16_t v = 0; le16(at, v); return v; }
  uint32_t le32_or0(size_t at) const { uint32_t v = 0; le32(at, v); return v; }
  uint64_t le64_or0(size_t at) const { uint64_t v = 0; le64(at, v); return v; }

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace trovium
