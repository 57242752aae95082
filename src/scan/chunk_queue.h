#pragma once
// The queue of chunks between the deep scan's reader and handler threads:
// first in, first out, at most eight chunks waiting. Chunks are not copied:
// the queue owns a pool of chunk buffers (eight for the queue, one being
// filled by the reader, one being examined by the handler) and hands the
// buffers themselves from thread to thread.
//
// While the queue is empty the handler may take the chunk the reader is still
// filling and follow the fill (ChunkBuffer::filled), so it examines bytes
// that are still in cache. That chunk is the next one in order anyway.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

namespace trovium {

inline constexpr uint32_t kChunkQueueDepth = 8;
inline constexpr uint64_t kChunkDataBytes = 0x800000;    // 16384 sectors
inline constexpr uint64_t kChunkBufferBytes = 0x800200;  // data, then the chunk LBA (u64) at 0x800000
inline constexpr uint32_t kChunkSpareBuffers = 2;        // the reader's and the handler's

struct ChunkBuffer {
  uint8_t* data = nullptr;           // managed block of kChunkBufferBytes
  uint64_t lba = 0;                  // the chunk's first LBA
  std::atomic<uint32_t> filled{0};   // sectors of data that are final (release by the reader)
};

class ChunkQueue {
 public:
  ChunkQueue() = default;
  ~ChunkQueue();
  ChunkQueue(const ChunkQueue&) = delete;
  ChunkQueue& operator=(const ChunkQueue&) = delete;

  // An empty queue with depth + spare buffers; false when memory cannot be had.
  bool Create(uint32_t spare = kChunkSpareBuffers);
  // Frees every buffer; nobody may hold one any more.
  void Release();
  bool exists() const;
  uint32_t Count() const;

  // A free buffer of the pool, or null when all are in use.
  ChunkBuffer* AcquireBuffer();
  void ReturnBuffer(ChunkBuffer* buffer);

  // Fails when the queue does not exist or eight chunks wait already.
  bool EnqueueChunk(ChunkBuffer* chunk);
  // The oldest chunk; fails when the queue does not exist or is empty.
  bool DequeueChunk(ChunkBuffer*& chunk);

  // The reader starts filling `chunk` / has filled it. EndFill answers true
  // when the handler has taken the chunk meanwhile (it is handed on then);
  // otherwise the reader enqueues it as usual.
  void BeginFill(ChunkBuffer* chunk);
  bool EndFill(ChunkBuffer* chunk);
  // DequeueChunk, or, when nothing waits, the chunk being filled.
  bool TakeNextChunk(ChunkBuffer*& chunk);

  // Wait at most `timeout` until there is room / something to take, or until
  // give_up() answers true (checked under the lock; Wake re-checks it).
  void WaitForSpace(std::chrono::milliseconds timeout, const std::function<bool()>& give_up);
  void WaitForChunk(std::chrono::milliseconds timeout, const std::function<bool()>& give_up);
  // Wakes every waiter so that it looks at give_up() again (a stop).
  void Wake();

 private:
  mutable std::mutex QueueLock;
  std::condition_variable not_full_;
  std::condition_variable not_empty_;
  bool created_ = false;
  std::deque<ChunkBuffer*> waiting_;
  std::vector<ChunkBuffer*> free_;
  std::vector<ChunkBuffer*> pool_;
  ChunkBuffer* filling_ = nullptr;
  bool filling_taken_ = false;
};

// Waits until at least `sectors` sectors of the chunk are final; returns how
// many are. Spins briefly first: the reader is usually a few microseconds ahead.
uint32_t AwaitChunkFill(const ChunkBuffer& chunk, uint32_t sectors);

// The reader publishes `sectors` final sectors of the chunk.
void PublishChunkFill(ChunkBuffer& chunk, uint32_t sectors);

}  // namespace trovium
