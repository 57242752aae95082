#pragma once
// The managed heap for the engine's large and long-lived buffers (chunk
// buffers, the chunk queue and map, kept boot sectors and FILE records, hit
// lists). Every block carries a header and a guard byte; the manager keeps a
// running total, checks blocks on free and on the bounded copies, reports
// damaged blocks once per call-site tag, and ends the program with a message
// when memory cannot be had.
//
// Block layout (ours; nothing outside this manager reads it):
//   offset 0   u16  magic 0x4B43 ("CK")
//   offset 2   u16  tag: number of the requesting call site
//   offset 4   u32  check: a function of size and magic, to catch a header
//                   whose size was overwritten
//   offset 8   u64  size: number of data bytes
//   offset 16  size data bytes, zero-filled; the pointer handed out points
//                   here and is 16-byte aligned like malloc's
//   16 + size  u8   guard byte 0x4B ("K")
// Sizes and the total are 64-bit, and every size computation is checked for
// overflow: a huge request fails instead of wrapping into a small block.
//
// Sizes that come from a device (bitmap lengths, FAT sizes, map lengths) must
// be validated against the volume first, and then be taken with MemTryAlloc,
// which fails softly: MemAlloc ends the program when memory cannot be had, and
// a corrupt disk must not be able to do that.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace trovium {

inline constexpr uint16_t kMemMagic = 0x4B43;
inline constexpr uint8_t kMemGuard = 0x4B;
inline constexpr size_t kMemHeaderSize = 16;
inline constexpr size_t kMemOverhead = kMemHeaderSize + 1;  // raw size = size + kMemOverhead
// MemTryAlloc refuses larger requests: no buffer of the engine comes near it,
// so a larger size can only come from a corrupt structure.
inline constexpr uint64_t kMemTryAllocLimit = 4ull << 30;

// size zeroed bytes; never null. An empty request (0) yields a valid empty
// block. When memory cannot be had (or size cannot be represented at all) the
// failure is reported, the fatal-message handler is told, and the process
// ends with exit code 1.
void* MemAlloc(size_t size, uint16_t tag);

// The checked allocation: like MemAlloc, but null for 0 bytes, for more than
// kMemTryAllocLimit, and when memory cannot be had; never ends the program.
void* MemTryAlloc(size_t size, uint16_t tag);

// 1 for null and for every released block; 0 when the header is not ours
// (the block is then left alone).
int MemFree(void* block);

// Copies length bytes to the start of a managed block; returns dest, or null
// when nothing was copied (null dest or src, length 0, damaged header). A copy
// larger than the block is cut to the block and reported (kind 18, tag).
void* MemCopy(size_t length, uint16_t tag, void* dest, const void* src);

// Copies length bytes to dest + offset; returns dest + offset, or null when
// nothing was copied (null arguments, length 0, damaged header, offset at or
// past the end). A copy reaching past the end is reported (kind 18, tag) and
// cut to the block.
void* MemCopyAt(uint16_t tag, size_t length, void* dest, uint64_t offset, const void* src);

// Releases the block a little later, for blocks another thread may still be
// reading: at most 5 wait, none longer than 200 ms once the next one comes,
// and none while the managed total is above 1 GiB.
void MemFreeLater(void* block);
// Waits 200 ms, then releases every block still waiting.
void MemFreeLaterDrain();
// Blocks waiting for release.
size_t MemFreeLaterQueued();

// Sum of the raw sizes of all live blocks, and the highest 100-MiB level
// reported so far.
uint64_t MemTotal();
uint64_t MemReportedHundreds();

// "RealPartNum: %u  " and "[%u,%u] " per volume, from the status source.
std::string MemStatusText();

// The found-file store's volumes for MemStatusText: for every volume from the
// found-files volume upward, its number counted from the found-files volume
// (0, 1, ...) and its file count. Without a source the text is "RealPartNum: 0  ".
struct MemStatusVolume {
  uint32_t number = 0;
  uint64_t file_count = 0;
};
using MemStatusSource = std::function<std::vector<MemStatusVolume>()>;
void SetMemStatusSource(MemStatusSource source);

// Shows the out-of-memory message ("分配内存失败: <size>") before the program
// ends; the GUI sets a message box. Default: the text on stderr.
using MemFatalMessageHandler = std::function<void(const std::string& text)>;
void SetMemFatalMessageHandler(MemFatalMessageHandler handler);

// Tests only.
// The raw allocator (calloc-like: zeroed memory, released with free); null restores calloc.
using MemRawAllocator = void* (*)(size_t raw_size);
void SetMemRawAllocatorForTesting(MemRawAllocator allocator);
// Tick source in milliseconds for the deferred release; null restores the monotonic clock.
using MemTickSource = uint64_t (*)();
void SetMemTickSourceForTesting(MemTickSource ticks);
// Accounts raw bytes as if a block had been allocated or released, without memory.
void MemAccountAllocForTesting(uint64_t raw_size);
void MemAccountFreeForTesting(uint64_t raw_size);
// Forgets which damage codes and 100-MiB levels were reported.
void MemResetReportsForTesting();

}  // namespace trovium
