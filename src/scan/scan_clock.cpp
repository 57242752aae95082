#include "scan/scan_clock.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <limits>

namespace trovium {
namespace {

// Written by the user interface (pause, resume, the estimate) and by the scan
// threads (start, initial sectors); atomics keep every read whole.
struct ScanClockState {
  std::atomic<uint64_t> scanStartTime{0};
  std::atomic<uint32_t> pausedSeconds{0};
  std::atomic<uint64_t> pauseStartTime{0};
  std::atomic<bool> scanPaused{false};
  std::atomic<uint64_t> initialDoneSectors{0};
  std::atomic<uint32_t> lastRemainingEstimate{0};
};

ScanClockState& clock_state() {
  static ScanClockState instance;
  return instance;
}

uint32_t clamp_u32(uint64_t v) {
  return static_cast<uint32_t>(std::min<uint64_t>(v, std::numeric_limits<uint32_t>::max()));
}

// now - start - finished pauses, never below 0.
uint64_t unpaused_seconds(const ScanClockState& s, uint64_t now) {
  uint64_t start = s.scanStartTime.load();
  uint64_t paused = s.pausedSeconds.load();
  if (now < start || now - start < paused) return 0;
  return now - start - paused;
}

void append(std::string& out, const char* format, unsigned a, unsigned b = 0, unsigned c = 0) {
  char buf[96];
  int n = std::snprintf(buf, sizeof buf, format, a, b, c);
  if (n > 0) out.append(buf, std::min<size_t>(static_cast<size_t>(n), sizeof buf - 1));
}

}  // namespace

uint64_t MonotonicSeconds() {
  auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::seconds>(since).count());
}

void StartScanClock() { StartScanClockAt(MonotonicSeconds()); }

void StartScanClockAt(uint64_t now) {
  ScanClockState& s = clock_state();
  s.scanStartTime = now;
  s.pausedSeconds = 0;
  s.pauseStartTime = 0;
  s.scanPaused = false;
  s.initialDoneSectors = 0;
  // An estimate left from the previous scan would hold back this one's.
  s.lastRemainingEstimate = 0;
}

void PauseScan() { PauseScanAt(MonotonicSeconds()); }

void PauseScanAt(uint64_t now) {
  ScanClockState& s = clock_state();
  if (s.scanPaused.load()) return;  // keep the pause's real start
  s.pauseStartTime = now;
  s.scanPaused = true;
}

void ResumeScan() { ResumeScanAt(MonotonicSeconds()); }

void ResumeScanAt(uint64_t now) {
  ScanClockState& s = clock_state();
  // Without a pause there is no start time to subtract from.
  if (!s.scanPaused.load()) return;
  uint64_t started = s.pauseStartTime.load();
  uint64_t length = now > started ? now - started : 0;
  s.pausedSeconds = clamp_u32(uint64_t{s.pausedSeconds.load()} + length);
  s.scanPaused = false;
}

bool IsScanPaused() { return clock_state().scanPaused.load(); }

void SetInitialDoneSectors(uint64_t sectors) { clock_state().initialDoneSectors = sectors; }

ScanTiming ScanTimingSnapshot() {
  const ScanClockState& s = clock_state();
  return ScanTiming{s.scanStartTime.load(),      s.pausedSeconds.load(),      s.pauseStartTime.load(),
                    s.scanPaused.load(),         s.initialDoneSectors.load(), s.lastRemainingEstimate.load()};
}

uint32_t ScanElapsedSeconds() { return ScanElapsedSecondsAt(MonotonicSeconds()); }

uint32_t ScanElapsedSecondsAt(uint64_t now) {
  const ScanClockState& s = clock_state();
  uint64_t e = unpaused_seconds(s, now);
  if (s.scanPaused.load()) {
    uint64_t started = s.pauseStartTime.load();
    uint64_t running = now > started ? now - started : 0;
    e = e > running ? e - running : 0;
  }
  return clamp_u32(e);
}

bool ScanTimeText(std::string& out, uint64_t done, uint64_t total) {
  return ScanTimeTextAt(MonotonicSeconds(), out, done, total);
}

bool ScanTimeTextAt(uint64_t now, std::string& out, uint64_t done, uint64_t total) {
  ScanClockState& s = clock_state();
  // A pause still running is not subtracted: the display is frozen meanwhile.
  uint32_t e = clamp_u32(unpaused_seconds(s, now));
  if (e == 0) return false;

  std::string text;
  if (e > 3600)
    append(text, "已用时间: %u:%02u:%02u     ", e / 3600, (e % 3600) / 60, e % 60);
  else if (e <= 60)
    append(text, "已用时间: %02u     ", e);
  else
    append(text, "已用时间: %02u:%02u     ", e / 60, e % 60);

  uint64_t initial = s.initialDoneSectors.load();
  if (e <= 60 || done <= initial) {
    out = std::move(text);
    return true;
  }

  uint64_t fresh = done - initial;
  uint64_t rate = fresh / e;
  if (rate != 0) {
    uint32_t r = done > total ? 0 : clamp_u32((total - done) / rate);
    uint32_t last = s.lastRemainingEstimate.load();
    // A rise of less than 10 % is not shown (64-bit: no overflow on large estimates).
    if (r > last && uint64_t{r} < uint64_t{last} * 110 / 100) r = last;
    s.lastRemainingEstimate = r;
    if (r >= 3600)
      append(text, "剩余时间: %u:%02u:%02u     ", r / 3600, (r % 3600) / 60, r % 60);
    else if (r >= 60)
      append(text, "剩余时间: %02u:%02u     ", r / 60, r % 60);
    else
      append(text, "剩余时间: %02u     ", r);
  }

  uint32_t speed = clamp_u32((fresh / 2048) / e);
  append(text, "速度: %u(MB)/秒", speed);
  uint64_t gb_per_minute = uint64_t{speed} * 60 / 1024;
  if (gb_per_minute > 2) append(text, "  %u(GB)/分钟", clamp_u32(gb_per_minute));

  out = std::move(text);
  return true;
}

bool ScanMinuteText(uint32_t elapsed_seconds, std::string& out) {
  if (elapsed_seconds <= 299) return false;
  out.clear();
  append(out, "Scan minute: %u", elapsed_seconds / 60);
  return true;
}

}  // namespace trovium
