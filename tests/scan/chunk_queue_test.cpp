#include "scan/chunk_queue.h"

#include <gtest/gtest.h>

#include <vector>

namespace trovium {
namespace {

TEST(ChunkQueue, NinthChunkWaitsForATakeAndOrderIsKept) {
  ChunkQueue q;
  ASSERT_TRUE(q.Create());
  std::vector<ChunkBuffer*> in;
  for (uint64_t i = 0; i < 9; ++i) {
    ChunkBuffer* b = q.AcquireBuffer();
    ASSERT_NE(b, nullptr);
    b->lba = i * 16384;
    in.push_back(b);
  }
  for (int i = 0; i < 8; ++i) EXPECT_TRUE(q.EnqueueChunk(in[i]));
  EXPECT_FALSE(q.EnqueueChunk(in[8]));
  ChunkBuffer* out = nullptr;
  ASSERT_TRUE(q.DequeueChunk(out));
  EXPECT_EQ(out->lba, 0u);
  q.ReturnBuffer(out);
  EXPECT_TRUE(q.EnqueueChunk(in[8]));
  for (uint64_t i = 1; i < 9; ++i) {
    ASSERT_TRUE(q.DequeueChunk(out));
    EXPECT_EQ(out->lba, i * 16384);
    q.ReturnBuffer(out);
  }
  EXPECT_FALSE(q.DequeueChunk(out));
}

TEST(ChunkQueue, AChunkBeingFilledIsTakenOnlyWhenNothingWaits) {
  ChunkQueue q;
  ASSERT_TRUE(q.Create());
  ChunkBuffer* first = q.AcquireBuffer();
  ChunkBuffer* second = q.AcquireBuffer();
  ASSERT_TRUE(q.EnqueueChunk(first));
  q.BeginFill(second);
  ChunkBuffer* out = nullptr;
  ASSERT_TRUE(q.TakeNextChunk(out));
  EXPECT_EQ(out, first);  // what waits comes first
  ASSERT_TRUE(q.TakeNextChunk(out));
  EXPECT_EQ(out, second);
  EXPECT_FALSE(q.TakeNextChunk(out));  // taken once only
  EXPECT_TRUE(q.EndFill(second));      // the reader must not queue it again
  EXPECT_EQ(q.Count(), 0u);

  ChunkBuffer* third = q.AcquireBuffer();
  q.BeginFill(third);
  EXPECT_FALSE(q.EndFill(third));  // nobody took it: the reader queues it
  EXPECT_FALSE(q.TakeNextChunk(out));
}

TEST(ChunkQueue, NothingWorksWithoutTheQueue) {
  ChunkQueue q;
  ChunkBuffer b;
  ChunkBuffer* out = nullptr;
  EXPECT_FALSE(q.EnqueueChunk(&b));
  EXPECT_FALSE(q.DequeueChunk(out));
  EXPECT_EQ(q.AcquireBuffer(), nullptr);
}

}  // namespace
}  // namespace trovium
