#pragma once
// The recovery job the user set up: recovery mode, current source and the
// deep-scan settings. Process-wide; the UI sets them while no scan or export
// runs, and every thread reads them through these accessors, which hand out
// copies (the mode is an atomic), so a scan works on one consistent block.

#include <cstdint>
#include <string>

#include "store/volume_record.h"

namespace trovium {

enum RecoveryMode : int32_t {
  kModeAll = 1,       // deep scan of anything
  kModeDeleted = 2,   // deleted files of a partition
  kModePartition = 3, // whole partition
  kModeUsb = 4,       // USB sticks and memory cards
  kModeRecycle = 5,   // emptied recycle bin
  kModeDisk = 6,      // whole physical disk
};

// "Recovery all file" ... "Recovery disk file"; "" for an unknown mode.
std::string RecoveryModeName(int32_t mode);
// Modes 2 and 5 read only the free space and lock some options.
inline bool IsFreeSpaceMode(int32_t mode) { return mode == kModeDeleted || mode == kModeRecycle; }

// Option bytes: 0 off, 1 on, 2 locked off by the mode. Test with OptionOn.
inline constexpr uint8_t kOptionOff = 0;
inline constexpr uint8_t kOptionOn = 1;
inline constexpr uint8_t kOptionLocked = 2;
inline bool OptionOn(uint8_t option) { return (option & 1u) != 0; }

struct ScanSettings {
  uint64_t ScanRangeStart = 0;
  uint64_t ScanRangeCount = 0;
  uint64_t PriorityStart = 0;
  uint64_t PrioritySize = 0;
  uint8_t AlignCarvedFiles = 0;
  uint8_t ShowAllFoundFiles = 1;
  uint8_t AnalyseFat = 1;
  uint8_t AnalyseNtfs = 1;
  uint8_t AnalyseExfat = 1;
  uint8_t AnalyseGpt = 1;
  uint8_t RereadFailedReads = 0;
  uint8_t PreciseOfficeAnalysis = 1;
  uint8_t FixIllegalNames = 0;
  uint8_t RemoveDuplicateFiles = 0;
  uint8_t ShowWhileScanning = 1;
  bool operator==(const ScanSettings&) const = default;
};

// The defaults for a source and a mode.
ScanSettings DefaultScanSettings(const VolumeRecord& source, int32_t mode);

void SetRecoveryMode(int32_t mode);
int32_t GetRecoveryMode();

// The source is kept without records.
void SetCurrentSource(const VolumeRecord& source);
VolumeRecord GetCurrentSource();

void SetScanSettings(const ScanSettings& settings);
ScanSettings GetScanSettings();
bool ScanSettingsFilled();

// At the start of a scan: the first time the defaults; later the stored block
// with the scan range of the current source, keeping the priority range only
// when it lies inside that range.
void PrepareScanSettings();

// Forgets the filled block (tests).
void ResetJobStateForTesting();

}  // namespace trovium
