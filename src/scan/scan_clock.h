#pragma once
// The deep scan's clock: elapsed time without pauses, the remaining-time
// estimate and the speed, as texts for the progress display.
//
// The state is process-wide (one scan at a time). Every function has an `At`
// form taking the current time in whole seconds of the monotonic clock, so
// the arithmetic can be driven without waiting.

#include <cstdint>
#include <string>

namespace trovium {

struct ScanTiming {
  uint64_t scanStartTime;          // monotonic seconds at scan start
  uint32_t pausedSeconds;          // finished pauses
  uint64_t pauseStartTime;
  bool scanPaused;
  uint64_t initialDoneSectors;     // doneSectors when the handler started
  uint32_t lastRemainingEstimate;  // seconds
};

// Whole seconds of the monotonic clock.
uint64_t MonotonicSeconds();

// A scan starts: start time now, no pauses, no earlier estimate, nothing done.
void StartScanClock();
void StartScanClockAt(uint64_t now);

// Pause and resume from the user interface. A second pause while paused, or a
// resume without a pause, changes nothing.
void PauseScan();
void PauseScanAt(uint64_t now);
void ResumeScan();
void ResumeScanAt(uint64_t now);
bool IsScanPaused();

// Sectors already done when the handler started (reused chunks), which do not
// count towards the speed.
void SetInitialDoneSectors(uint64_t sectors);

ScanTiming ScanTimingSnapshot();

// Seconds since the start minus pauses, a running pause included.
uint32_t ScanElapsedSeconds();
uint32_t ScanElapsedSecondsAt(uint64_t now);

// Elapsed, remaining and speed text for `done` of `total` sectors. False (and
// `out` untouched) when no whole second has passed yet. Remembers the
// remaining estimate it showed.
bool ScanTimeText(std::string& out, uint64_t done, uint64_t total);
bool ScanTimeTextAt(uint64_t now, std::string& out, uint64_t done, uint64_t total);

// A scan longer than 299 seconds is reported (code 22) with its whole
// minutes: true and the report's text in that case.
bool ScanMinuteText(uint32_t elapsed_seconds, std::string& out);
constexpr int kScanMinuteReportCode = 22;

// At the end of a scan: reports the scan's minutes when ScanMinuteText says so.
void ReportScanMinutes();

}  // namespace trovium
