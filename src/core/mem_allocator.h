#pragma once
// A standard-container allocator on the managed heap, for the long-lived
// containers of the engine (the scan's hit lists): their memory is counted in
// MemTotal and checked like every managed block.
//
// Exhaustion takes the manager's fatal path (report, message, exit code 1),
// as for every managed block, so allocate() never returns null. It throws
// only what the container contract asks for a request that cannot even be
// sized: std::bad_array_new_length when n exceeds max_size(). Containers sized
// from device data must check the count before growing.

#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <vector>

#include "core/memory_manager.h"

namespace trovium {

template <class T>
class MemAllocator {
 public:
  using value_type = T;
  using is_always_equal = std::true_type;  // any block may be freed through any instance
  static_assert(alignof(T) <= kMemHeaderSize, "managed blocks are 16-byte aligned");

  MemAllocator() noexcept = default;
  explicit MemAllocator(uint16_t tag) noexcept : tag_(tag) {}
  template <class U>
  MemAllocator(const MemAllocator<U>& other) noexcept : tag_(other.tag()) {}

  template <class U>
  struct rebind {
    using other = MemAllocator<U>;
  };

  T* allocate(size_t n) {
    if (n > max_size()) throw std::bad_array_new_length();
    return static_cast<T*>(MemAlloc(n * sizeof(T), tag_));
  }
  void deallocate(T* p, size_t /*n*/) noexcept { MemFree(p); }
  size_t max_size() const noexcept { return (SIZE_MAX - kMemOverhead) / sizeof(T); }
  uint16_t tag() const noexcept { return tag_; }

 private:
  uint16_t tag_ = 0;  // call-site number for the damage reports
};

template <class T, class U>
bool operator==(const MemAllocator<T>&, const MemAllocator<U>&) noexcept {
  return true;
}

template <class T>
using MemVector = std::vector<T, MemAllocator<T>>;

}  // namespace trovium
