#include "scan/chunk_queue.h"

#include <thread>

#include "core/memory_manager.h"

namespace trovium {
namespace {

constexpr uint16_t kTagChunkQueue = 16;
constexpr int kSpinsBeforeWait = 4000;

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#else
  std::this_thread::yield();
#endif
}

}  // namespace

ChunkQueue::~ChunkQueue() { Release(); }

bool ChunkQueue::Create(uint32_t spare) {
  Release();
  std::lock_guard<std::mutex> hold(QueueLock);
  for (uint32_t i = 0; i < kChunkQueueDepth + spare; ++i) {
    void* block = MemTryAlloc(kChunkBufferBytes, kTagChunkQueue);
    if (block == nullptr) break;
    auto* buffer = new ChunkBuffer;
    buffer->data = static_cast<uint8_t*>(block);
    pool_.push_back(buffer);
  }
  if (pool_.size() != kChunkQueueDepth + spare) {
    for (ChunkBuffer* b : pool_) {
      MemFree(b->data);
      delete b;
    }
    pool_.clear();
    return false;
  }
  free_ = pool_;
  created_ = true;
  return true;
}

void ChunkQueue::Release() {
  std::lock_guard<std::mutex> hold(QueueLock);
  for (ChunkBuffer* b : pool_) {
    MemFree(b->data);
    delete b;
  }
  pool_.clear();
  free_.clear();
  waiting_.clear();
  filling_ = nullptr;
  filling_taken_ = false;
  created_ = false;
}

bool ChunkQueue::exists() const {
  std::lock_guard<std::mutex> hold(QueueLock);
  return created_;
}

uint32_t ChunkQueue::Count() const {
  std::lock_guard<std::mutex> hold(QueueLock);
  return static_cast<uint32_t>(waiting_.size());
}

ChunkBuffer* ChunkQueue::AcquireBuffer() {
  std::lock_guard<std::mutex> hold(QueueLock);
  if (free_.empty()) return nullptr;
  ChunkBuffer* b = free_.back();
  free_.pop_back();
  return b;
}

void ChunkQueue::ReturnBuffer(ChunkBuffer* buffer) {
  if (buffer == nullptr) return;
  std::lock_guard<std::mutex> hold(QueueLock);
  if (created_) free_.push_back(buffer);
}

bool ChunkQueue::EnqueueChunk(ChunkBuffer* chunk) {
  {
    std::lock_guard<std::mutex> hold(QueueLock);
    if (!created_ || chunk == nullptr || waiting_.size() >= kChunkQueueDepth) return false;
    waiting_.push_back(chunk);
  }
  not_empty_.notify_one();
  return true;
}

bool ChunkQueue::DequeueChunk(ChunkBuffer*& chunk) {
  {
    std::lock_guard<std::mutex> hold(QueueLock);
    if (!created_ || waiting_.empty()) return false;
    chunk = waiting_.front();
    waiting_.pop_front();
  }
  not_full_.notify_one();
  return true;
}

void ChunkQueue::BeginFill(ChunkBuffer* chunk) {
  {
    std::lock_guard<std::mutex> hold(QueueLock);
    filling_ = chunk;
    filling_taken_ = false;
  }
  not_empty_.notify_one();
}

bool ChunkQueue::EndFill(ChunkBuffer* chunk) {
  std::lock_guard<std::mutex> hold(QueueLock);
  bool taken = filling_ == chunk && filling_taken_;
  filling_ = nullptr;
  filling_taken_ = false;
  return taken;
}

bool ChunkQueue::TakeNextChunk(ChunkBuffer*& chunk) {
  {
    std::lock_guard<std::mutex> hold(QueueLock);
    if (!created_) return false;
    if (waiting_.empty()) {
      // Order holds: with nothing waiting, the chunk being filled is the next.
      if (filling_ == nullptr || filling_taken_) return false;
      filling_taken_ = true;
      chunk = filling_;
      return true;
    }
    chunk = waiting_.front();
    waiting_.pop_front();
  }
  not_full_.notify_one();
  return true;
}

void ChunkQueue::WaitForSpace(std::chrono::milliseconds timeout, const std::function<bool()>& give_up) {
  std::unique_lock<std::mutex> hold(QueueLock);
  not_full_.wait_for(hold, timeout,
                     [&] { return !created_ || waiting_.size() < kChunkQueueDepth || (give_up && give_up()); });
}

void ChunkQueue::WaitForChunk(std::chrono::milliseconds timeout, const std::function<bool()>& give_up) {
  std::unique_lock<std::mutex> hold(QueueLock);
  not_empty_.wait_for(hold, timeout, [&] {
    return !created_ || !waiting_.empty() || (filling_ != nullptr && !filling_taken_) || (give_up && give_up());
  });
}

void ChunkQueue::Wake() {
  { std::lock_guard<std::mutex> hold(QueueLock); }
  not_full_.notify_all();
  not_empty_.notify_all();
}

uint32_t AwaitChunkFill(const ChunkBuffer& chunk, uint32_t sectors) {
  uint32_t have = chunk.filled.load(std::memory_order_acquire);
  for (int spin = 0; have < sectors && spin < kSpinsBeforeWait; ++spin) {
    CpuRelax();
    have = chunk.filled.load(std::memory_order_acquire);
  }
  while (have < sectors) {
    chunk.filled.wait(have, std::memory_order_acquire);
    have = chunk.filled.load(std::memory_order_acquire);
  }
  return have;
}

void PublishChunkFill(ChunkBuffer& chunk, uint32_t sectors) {
  chunk.filled.store(sectors, std::memory_order_release);
  chunk.filled.notify_all();
}

}  // namespace trovium
