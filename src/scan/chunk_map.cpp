#include "scan/chunk_map.h"

#include <atomic>

#include "core/memory_manager.h"

namespace trovium {
namespace {

constexpr uint16_t kTagChunkMap = 234;
constexpr uint16_t kTagChunkMapCopy = 619;

}  // namespace

uint64_t ChunkCountFor(uint64_t sectors) {
  return sectors / kScanChunkSectors + (sectors % kScanChunkSectors != 0 ? 1 : 0);
}

ChunkMap::~ChunkMap() { Release(); }

bool ChunkMap::Create(uint64_t device_sectors) {
  Release();
  uint64_t count = ChunkCountFor(device_sectors);
  if (count == 0 || count > kMaxScanChunks) return false;
  bytes_ = static_cast<uint8_t*>(MemTryAlloc(count, kTagChunkMap));
  if (bytes_ == nullptr) return false;
  size_ = count;
  return true;
}

bool ChunkMap::Load(const uint8_t* bytes, uint64_t count) {
  Release();
  if (bytes == nullptr || count == 0 || count > kMaxScanChunks) return false;
  bytes_ = static_cast<uint8_t*>(MemTryAlloc(count, kTagChunkMap));
  if (bytes_ == nullptr) return false;
  size_ = count;
  for (uint64_t i = 0; i < count; ++i) {
    // Anything but the three states of a saved map reads as not scanned.
    uint8_t v = bytes[i] <= kChunkExamined ? bytes[i] : kChunkNotScanned;
    std::atomic_ref<uint8_t>(bytes_[i]).store(v, std::memory_order_relaxed);
  }
  return true;
}

void ChunkMap::Release() {
  if (bytes_ != nullptr) MemFree(bytes_);
  bytes_ = nullptr;
  size_ = 0;
}

uint8_t ChunkMap::Get(uint64_t index) const {
  if (index >= size_) return kChunkOutsideMap;
  return std::atomic_ref<uint8_t>(bytes_[index]).load(std::memory_order_acquire);
}

bool ChunkMap::Claim(uint64_t index) {
  if (index >= size_) return false;
  uint8_t expected = kChunkNotScanned;
  return std::atomic_ref<uint8_t>(bytes_[index])
      .compare_exchange_strong(expected, kChunkRead, std::memory_order_acq_rel);
}

bool ChunkMap::MarkExamined(uint64_t index) {
  if (index >= size_) return false;
  std::atomic_ref<uint8_t>(bytes_[index]).store(kChunkExamined, std::memory_order_release);
  return true;
}

void ChunkMap::ResetUnexamined() {
  for (uint64_t i = 0; i < size_; ++i) {
    uint8_t expected = kChunkRead;
    std::atomic_ref<uint8_t>(bytes_[i]).compare_exchange_strong(expected, kChunkNotScanned,
                                                                 std::memory_order_acq_rel);
  }
}

bool ChunkMap::Copy(void*& block, uint64_t& size) const {
  MemFree(block);
  block = nullptr;
  size = 0;
  if (size_ == 0) return false;
  auto* out = static_cast<uint8_t*>(MemTryAlloc(size_, kTagChunkMapCopy));
  if (out == nullptr) return false;
  // No lock: a byte may be caught on its way from 0 to 1 or 1 to 2.
  for (uint64_t i = 0; i < size_; ++i) out[i] = std::atomic_ref<uint8_t>(bytes_[i]).load(std::memory_order_relaxed);
  block = out;
  size = size_;
  return true;
}

}  // namespace trovium
