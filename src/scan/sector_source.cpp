#include "scan/sector_source.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <limits>
#include <mutex>

namespace trovium {
namespace {

// Process-wide: all device reads are serialised through one lock, so that
// a scan, a preview and an export never hit the device at the same moment.
std::mutex& ReadLock() {
  static std::mutex lock;
  return lock;
}

std::atomic<int> g_read_error_mode{0};
std::atomic<uint32_t> g_read_count{0};
std::atomic<uint32_t> g_read_error_count{0};

bool OpenHandle(const std::string& path, CSectorSource& source, platform::SourceOpenResult* failure) {
  platform::SourceOpenResult r = platform::OpenSourceReadOnly(path);
  if (failure) *failure = r;
  if (r.fd < 0) return false;
  source.handle = r.fd;
  return true;
}

// Reads length bytes at byte_offset straight into dest. A failed read (not a
// short one) is retried once on a freshly opened handle.
bool ReadBytes(CSectorSource& source, uint64_t length, uint8_t* dest, uint64_t byte_offset) {
  if (length > kMaxReadBytes) return false;
  // "Positioning": an invalid handle or an offset past what the OS can
  // address fails here, before the lock.
  constexpr uint64_t kMaxOffset = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  if (source.handle < 0 || byte_offset > kMaxOffset - length) return false;

  std::lock_guard<std::mutex> guard(ReadLock());
  int64_t got = platform::ReadAt(source.handle, dest, length, byte_offset);
  if (got < 0) {
    platform::CloseSource(source.handle);
    source.handle = -1;
    platform::SourceOpenResult r = platform::OpenSourceReadOnly(source.reopenPath);
    if (r.fd < 0) return false;  // the source keeps the invalid handle: later reads fail too
    source.handle = r.fd;
    std::memset(dest, 0, static_cast<size_t>(length));  // drop what the failed attempt left
    got = platform::ReadAt(source.handle, dest, length, byte_offset);
    if (got < 0) return false;
  }
  return static_cast<uint64_t>(got) == length;
}

}  // namespace

bool OpenDevice(const SourceLocation& volume, CSectorSource& source, platform::SourceOpenResult* failure) {
  if (!OpenHandle(volume.device_path, source, failure)) return false;
  source.name = volume.display_name;
  source.reopenPath = volume.device_path;
  source.imageBytes = 0;
  if (volume.sector_count == kOpenEndedSectorCount) {
    source.lastLba = kOpenEndedSectorCount;
    source.hasSectors = true;
  } else if (volume.sector_count == 0) {
    source.lastLba = 0;
    source.hasSectors = false;
  } else {
    uint64_t last = 0;
    // A volume that would end past 2^64 is bounded at the largest LBA.
    if (__builtin_add_overflow(volume.start_lba, volume.sector_count - 1, &last)) {
      last = std::numeric_limits<uint64_t>::max();
    }
    source.lastLba = last;
    source.hasSectors = true;
  }
  return true;
}

bool OpenImage(const std::string& path, CSectorSource& source, platform::SourceOpenResult* failure) {
  if (!OpenHandle(path, source, failure)) return false;
  source.name = path;
  source.reopenPath = path;
  source.imageBytes = GetSourceSize(source);
  // A trailing partial sector is not readable; an image without one whole
  // sector has nothing to read at all.
  uint64_t whole = source.imageBytes / kSectorBytes;
  source.hasSectors = whole > 0;
  source.lastLba = whole > 0 ? whole - 1 : 0;
  return true;
}

namespace {

// ReadSectors without the counters; `cut` receives the sectors really asked of
// the device after cutting at lastLba (0 when nothing could be asked).
bool ReadUncounted(uint32_t count, CSectorSource& source, uint8_t* out, uint64_t lba, uint64_t& cut) {
  cut = 0;
  const uint64_t requested = static_cast<uint64_t>(count) * kSectorBytes;
  std::memset(out, 0, static_cast<size_t>(requested));
  if (!source.hasSectors || lba > source.lastLba) return false;

  // Cut at lastLba; written so that huge lba/count cannot overflow.
  uint64_t sectors = count;
  if (sectors - 1 > source.lastLba - lba) sectors = source.lastLba - lba + 1;
  cut = sectors;

  // lba <= lastLba, but lastLba itself may be beyond what a byte offset can
  // hold (a volume bounded at 2^64): such a read fails at positioning.
  if (lba > std::numeric_limits<uint64_t>::max() / kSectorBytes) return false;
  return ReadBytes(source, sectors * kSectorBytes, out, lba * kSectorBytes);
}

void CountRead(uint64_t sectors, bool ok) {
  int mode = g_read_error_mode.load(std::memory_order_relaxed);
  if ((mode == 1 && sectors == kChunkSectors) || mode == 2) {
    g_read_count.fetch_add(1, std::memory_order_relaxed);
    if (!ok) g_read_error_count.fetch_add(1, std::memory_order_relaxed);
  }
}

}  // namespace

bool ReadSectors(uint32_t count, CSectorSource& source, void* dest, uint64_t lba) {
  const uint64_t requested = static_cast<uint64_t>(count) * kSectorBytes;
  if (requested > kMaxReadBytes) return false;
  if (count == 0) return true;
  uint64_t cut = 0;
  bool ok = ReadUncounted(count, source, static_cast<uint8_t*>(dest), lba, cut);
  // A request refused before the device (beyond lastLba) is never counted.
  if (cut > 0) CountRead(cut, ok);
  return ok;
}

bool ReadSectorsInPieces(uint32_t count, uint32_t piece_sectors, CSectorSource& source, void* dest, uint64_t lba,
                         const PieceReady& on_piece) {
  const uint64_t requested = static_cast<uint64_t>(count) * kSectorBytes;
  if (requested > kMaxReadBytes) return false;
  if (count == 0) return true;
  if (piece_sectors == 0) piece_sectors = count;
  auto* out = static_cast<uint8_t*>(dest);
  bool ok = true;
  uint64_t cut_total = 0;
  for (uint32_t done = 0; done < count;) {
    uint32_t n = std::min(piece_sectors, count - done);
    uint64_t at = lba + done;
    uint64_t cut = 0;
    if (at < lba || !source.hasSectors || at > source.lastLba) {
      // Past the end: zeros, part of the cut, not a failure of its own.
      std::memset(out + static_cast<uint64_t>(done) * kSectorBytes, 0, static_cast<size_t>(n) * kSectorBytes);
      if (done == 0) ok = false;  // nothing at all could be read
    } else if (!ReadUncounted(n, source, out + static_cast<uint64_t>(done) * kSectorBytes, at, cut)) {
      ok = false;
    }
    cut_total += cut;
    done += n;
    if (on_piece) on_piece(done);
  }
  if (cut_total > 0) CountRead(cut_total, ok);
  return ok;
}

uint64_t GetSourceSize(const CSectorSource& source) { return platform::SourceSizeBytes(source.handle); }

void CloseSource(CSectorSource& source) {
  platform::CloseSource(source.handle);
  source.handle = -1;
}

void SetReadErrorMode(int mode) { g_read_error_mode.store(mode, std::memory_order_relaxed); }
int ReadErrorMode() { return g_read_error_mode.load(std::memory_order_relaxed); }
void ZeroReadCounters() {
  g_read_count.store(0, std::memory_order_relaxed);
  g_read_error_count.store(0, std::memory_order_relaxed);
}
uint32_t ReadCount() { return g_read_count.load(std::memory_order_relaxed); }
uint32_t ReadErrorCount() { return g_read_error_count.load(std::memory_order_relaxed); }

}  // namespace trovium
