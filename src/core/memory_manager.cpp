#include "core/memory_manager.h"

#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "core/report.h"
#include "core/size_text.h"
#include "platform/memory_info.h"

namespace trovium {
namespace {

constexpr uint64_t kHundredMiB = 104857600;
constexpr size_t kLaterMaxEntries = 5;
constexpr uint64_t kLaterMaxAgeMs = 200;
constexpr uint64_t kLaterTotalLimit = 0x40000000;
constexpr uint32_t kCheckSalt = 0x4B434B43;

struct BlockHeader {
  uint16_t magic;
  uint16_t tag;
  uint32_t check;
  uint64_t size;
};
static_assert(sizeof(BlockHeader) == kMemHeaderSize);

uint32_t SizeCheck(uint64_t size) {
  return static_cast<uint32_t>(size) ^ static_cast<uint32_t>(size >> 32) ^ kCheckSalt;
}

// Process-wide state, created on first use so that allocations during static
// initialisation of other files work.
struct Accounting {
  std::mutex lock;
  uint64_t total = 0;
  uint64_t reported_hundreds = 0;
};
Accounting& Acc() {
  static Accounting a;
  return a;
}

struct BadCodes {
  std::mutex lock;
  std::vector<uint32_t> codes;
};
BadCodes& Bad() {
  static BadCodes b;
  return b;
}

struct LaterQueue {
  std::mutex lock;
  std::deque<std::pair<void*, uint64_t>> entries;  // block, tick at queuing
};
LaterQueue& Later() {
  static LaterQueue q;
  return q;
}

struct Hooks {
  std::mutex lock;
  std::shared_ptr<const MemStatusSource> status;
  std::shared_ptr<const MemFatalMessageHandler> fatal;
};
Hooks& TheHooks() {
  static Hooks h;
  return h;
}

std::atomic<MemRawAllocator> g_raw_allocator{nullptr};
std::atomic<MemTickSource> g_tick_source{nullptr};

void* RawAlloc(size_t raw) {
  MemRawAllocator allocator = g_raw_allocator.load(std::memory_order_acquire);
  return allocator ? allocator(raw) : std::calloc(1, raw);
}

uint64_t Ticks() {
  MemTickSource source = g_tick_source.load(std::memory_order_acquire);
  if (source) return source();
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Printf(const char* format, ...) {
  char buf[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buf, sizeof(buf), format, args);
  va_end(args);
  return buf;
}

// Reports a damaged block once per code, whatever the kind.
void ReportDamage(uint32_t code, int kind) {
  {
    BadCodes& bad = Bad();
    std::lock_guard<std::mutex> guard(bad.lock);
    for (uint32_t c : bad.codes)
      if (c == code) return;
    bad.codes.push_back(code);
  }
  const char* format = kind == 16 ? "Mem begin err: %u  "
                       : kind == 17 ? "Mem end err: %u  "
                       : kind == 18 ? "Mem oper: %u  "
                                    : "Mem xxx: %u  ";
  ReportEvent(kind, Printf(format, code));
}

// The header of a managed block, or false when it is not ours.
bool ReadHeader(const void* block, BlockHeader& header) {
  std::memcpy(&header, static_cast<const uint8_t*>(block) - kMemHeaderSize, sizeof(header));
  return header.magic == kMemMagic && header.check == SizeCheck(header.size) &&
         header.size <= SIZE_MAX - kMemOverhead;
}

void AccountAlloc(uint64_t raw) {
  bool report = false;
  bool with_status = false;
  uint64_t mib = 0;
  {
    Accounting& acc = Acc();
    std::lock_guard<std::mutex> guard(acc.lock);
    acc.total += raw;
    uint64_t hundreds = acc.total / kHundredMiB;
    if (hundreds > acc.reported_hundreds) {
      if (hundreds > 9) {
        report = true;
        mib = acc.total / 1048576;
        with_status = hundreds <= 12;
      }
      acc.reported_hundreds = hundreds;
    }
  }
  if (!report) return;
  // The status text asks the found-file store, which takes its own lock:
  // built outside ours so that the store may allocate while holding it.
  std::string text = Printf("Mem big: %" PRIu64 "(MB)", mib);
  if (with_status) text += "   " + MemStatusText();
  ReportEvent(20, text);
}

void AccountFree(uint64_t raw) {
  std::string text;
  {
    Accounting& acc = Acc();
    std::lock_guard<std::mutex> guard(acc.lock);
    if (acc.total < raw) {
      text = Printf("Mem size: %" PRIu64 "    free size: %" PRIu64, acc.total, raw - kMemOverhead);
    } else {
      acc.total -= raw;
    }
  }
  if (!text.empty()) ReportEvent(19, text);
}

void* FinishBlock(void* raw_block, size_t size, uint16_t tag) {
  // The raw block comes zeroed from calloc: fresh pages of a large block are
  // not even touched.
  auto* raw = static_cast<uint8_t*>(raw_block);
  BlockHeader header{kMemMagic, tag, SizeCheck(size), size};
  std::memcpy(raw, &header, sizeof(header));
  raw[kMemHeaderSize + size] = kMemGuard;
  AccountAlloc(size + kMemOverhead);
  return raw + kMemHeaderSize;
}

[[noreturn]] void FailAllocation(uint16_t tag, uint64_t raw) {
  // Each step on its own: memory is short, and whatever can still be said is said.
  try {
    std::string text = "Mem size: " + FormatBytes(MemTotal()) + "    alloc size: " + FormatBytes(raw);
    if (auto status = platform::ReadMemoryStatus())
      text += Printf("   line: %u  AllMem: %" PRIu64 "   FreeMem: %" PRIu64 "     ", tag, status->total_mib,
                     status->available_mib);
    ReportEvent(19, text);
  } catch (...) {
  }
  try {
    ReportEvent(1, "");
    std::string message = "分配内存失败: " + FormatBytes(raw);
    std::shared_ptr<const MemFatalMessageHandler> handler;
    {
      Hooks& hooks = TheHooks();
      std::lock_guard<std::mutex> guard(hooks.lock);
      handler = hooks.fatal;
    }
    if (handler) {
      (*handler)(message);
    } else {
      std::fprintf(stderr, "%s\n", message.c_str());
    }
  } catch (...) {
  }
  try {
    ReportEvent(1, "Alloc mem failed!");
  } catch (...) {
  }
  std::fflush(nullptr);
  // Other threads may still run: no static destructors under their feet.
  std::_Exit(1);
}

void ReleaseLocked(LaterQueue& q) {
  void* block = q.entries.front().first;
  q.entries.pop_front();
  MemFree(block);
}

}  // namespace

void* MemAlloc(size_t size, uint16_t tag) {
  if (size > SIZE_MAX - kMemOverhead) FailAllocation(tag, UINT64_MAX);
  void* raw = RawAlloc(size + kMemOverhead);
  if (!raw) FailAllocation(tag, static_cast<uint64_t>(size) + kMemOverhead);
  return FinishBlock(raw, size, tag);
}

void* MemTryAlloc(size_t size, uint16_t tag) {
  if (size == 0 || size > kMemTryAllocLimit) return nullptr;
  void* raw = RawAlloc(size + kMemOverhead);
  return raw ? FinishBlock(raw, size, tag) : nullptr;
}

int MemFree(void* block) {
  if (!block) return 1;
  BlockHeader header;
  if (!ReadHeader(block, header)) {
    ReportDamage(999, 16);
    return 0;
  }
  auto* data = static_cast<uint8_t*>(block);
  if (data[header.size] != kMemGuard) ReportDamage(header.tag, 17);
  // The size is vouched for by the header check, so the release is accounted
  // also when the guard was overwritten: the total stays true.
  AccountFree(header.size + kMemOverhead);
  // A second free of the same pointer then finds no magic.
  uint16_t cleared = 0;
  std::memcpy(data - kMemHeaderSize, &cleared, sizeof(cleared));
  std::free(data - kMemHeaderSize);
  return 1;
}

void* MemCopy(size_t length, uint16_t tag, void* dest, const void* src) {
  if (!dest || !src || length == 0) return nullptr;
  BlockHeader header;
  if (!ReadHeader(dest, header)) {
    ReportDamage(tag, 16);
    return nullptr;
  }
  if (length > header.size) {
    ReportDamage(tag, 18);
    length = static_cast<size_t>(header.size);
  }
  if (length > 0) std::memcpy(dest, src, length);
  return dest;
}

void* MemCopyAt(uint16_t tag, size_t length, void* dest, uint64_t offset, const void* src) {
  if (!dest || !src || length == 0) return nullptr;
  BlockHeader header;
  if (!ReadHeader(dest, header)) {
    ReportDamage(tag, 16);
    return nullptr;
  }
  // Compared without adding, so that no sum can wrap past the check.
  if (offset >= header.size) {
    ReportDamage(tag, 18);
    return nullptr;
  }
  uint64_t room = header.size - offset;
  if (length > room) {
    ReportDamage(tag, 18);
    length = static_cast<size_t>(room);
  }
  uint8_t* at = static_cast<uint8_t*>(dest) + offset;
  std::memcpy(at, src, length);
  return at;
}

void MemFreeLater(void* block) {
  if (!block) return;
  LaterQueue& q = Later();
  std::lock_guard<std::mutex> guard(q.lock);
  while (q.entries.size() > kLaterMaxEntries) ReleaseLocked(q);
  uint64_t now = Ticks();
  while (!q.entries.empty() && now - q.entries.front().second > kLaterMaxAgeMs) ReleaseLocked(q);
  while (!q.entries.empty() && (MemTotal() & ~uint64_t{0xFFFFF}) > kLaterTotalLimit) ReleaseLocked(q);
  q.entries.emplace_back(block, now);
}

void MemFreeLaterDrain() {
  std::this_thread::sleep_for(std::chrono::milliseconds(kLaterMaxAgeMs));
  LaterQueue& q = Later();
  std::lock_guard<std::mutex> guard(q.lock);
  while (!q.entries.empty()) ReleaseLocked(q);
}

size_t MemFreeLaterQueued() {
  LaterQueue& q = Later();
  std::lock_guard<std::mutex> guard(q.lock);
  return q.entries.size();
}

uint64_t MemTotal() {
  Accounting& acc = Acc();
  std::lock_guard<std::mutex> guard(acc.lock);
  return acc.total;
}

uint64_t MemReportedHundreds() {
  Accounting& acc = Acc();
  std::lock_guard<std::mutex> guard(acc.lock);
  return acc.reported_hundreds;
}

std::string MemStatusText() {
  std::shared_ptr<const MemStatusSource> source;
  {
    Hooks& hooks = TheHooks();
    std::lock_guard<std::mutex> guard(hooks.lock);
    source = hooks.status;
  }
  std::vector<MemStatusVolume> volumes;
  if (source && *source) volumes = (*source)();
  std::string text = Printf("RealPartNum: %zu  ", volumes.size());
  for (const MemStatusVolume& v : volumes) text += Printf("[%u,%" PRIu64 "] ", v.number, v.file_count);
  return text;
}

void SetMemStatusSource(MemStatusSource source) {
  Hooks& hooks = TheHooks();
  std::lock_guard<std::mutex> guard(hooks.lock);
  hooks.status = source ? std::make_shared<const MemStatusSource>(std::move(source)) : nullptr;
}

void SetMemFatalMessageHandler(MemFatalMessageHandler handler) {
  Hooks& hooks = TheHooks();
  std::lock_guard<std::mutex> guard(hooks.lock);
  hooks.fatal = handler ? std::make_shared<const MemFatalMessageHandler>(std::move(handler)) : nullptr;
}

void SetMemRawAllocatorForTesting(MemRawAllocator allocator) {
  g_raw_allocator.store(allocator, std::memory_order_release);
}

void SetMemTickSourceForTesting(MemTickSource ticks) { g_tick_source.store(ticks, std::memory_order_release); }

void MemAccountAllocForTesting(uint64_t raw_size) { AccountAlloc(raw_size); }

void MemAccountFreeForTesting(uint64_t raw_size) { AccountFree(raw_size); }

void MemResetReportsForTesting() {
  {
    BadCodes& bad = Bad();
    std::lock_guard<std::mutex> guard(bad.lock);
    bad.codes.clear();
  }
  Accounting& acc = Acc();
  std::lock_guard<std::mutex> guard(acc.lock);
  acc.reported_hundreds = acc.total / kHundredMiB;
}

}  // namespace trovium
