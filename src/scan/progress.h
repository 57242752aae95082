#pragma once
// The progress mailbox: one record that a worker fills when it is empty and
// that the progress display empties when it has shown it. A worker never waits
// for the display; an update that finds the mailbox full is dropped.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>

namespace trovium {

// Record kinds (`reportKind`); 0 means the mailbox is empty.
enum ProgressKind : uint32_t {
  kProgressEmpty = 0,
  kProgressFsList = 1,        // file-system readers and rebuilders
  kProgressScan = 2,          // deep scan
  kProgressExportCopy = 3,    // export and the other copying workers
  kProgressPrepare = 4,       // reserved: nobody posts it, the display keeps a layout
  kProgressPartitions = 5,    // partition enumeration
  kProgressScanDataLoad = 7,  // loading saved scan data
  kProgressScanDataSave = 8,  // saving scan data
  kProgressClassify = 10,     // classification of found files
  kProgressStatusText = 11,   // free text from any worker
  kProgressVideoRebuild = 12, // MOV/MP4 fragment rebuilding
  kProgressMtsScan = 13,      // MTS fragment scan
};

// Text fields hold UTF-8 and are cut at character boundaries; each array has
// room for its character limit at four bytes a character plus the terminator.
constexpr size_t kStatusTitleChars = 39;
constexpr size_t kStatusTextChars = 109;
constexpr size_t kExportNameChars = 259;
constexpr size_t kPartitionFieldChars = 63;

// Kind 1: counts by record state, one added as each record is listed.
struct FsListProgress {
  uint32_t existingFiles;
  uint32_t existingDirs;
  uint32_t deletedFiles;
  uint32_t deletedDirs;
};

// Kind 2: the deep scan's statistics.
struct ScanStats {
  uint64_t totalSectors;    // sectors the scan will examine
  uint64_t doneSectors;     // examined so far, chunks of a reused scan included
  uint32_t filesFound;      // file hits, codes below 172
  uint32_t ebrHits;         // 222
  uint32_t ntfsBootHits;    // 223
  uint32_t fatBootHits;     // 226 and 228
  uint32_t exfatBootHits;   // 233
  uint32_t fileRecordHits;  // 224
  uint32_t fatDirHits;      // 231
  uint32_t indxHits;        // 225
  uint32_t exfatDirHits;    // 235
};

// Adds one hit of `kind` to its counter. MBRs and the kinds 227, 229, 230,
// 232, 234 and 236 have none; returns false for them and for every other code.
bool CountScanHit(ScanStats& stats, uint32_t kind);

// Kind 3: copy progress of the export workers.
struct ExportCopyProgress {
  uint32_t total_files;
  uint32_t files_done;
  uint64_t total_bytes;
  uint64_t copied_bytes;
  uint64_t current_size;
  uint64_t current_copied;
  char current_name[kExportNameChars * 4 + 1];
};

// Kind 4.
struct PrepareProgress {
  char text[kStatusTextChars * 4 + 1];
  uint32_t preparedMiB;
  uint32_t totalMiB;
};

// Kind 5.
struct PartitionProgress {
  uint32_t partitionsFound;
  uint32_t driveLetter;  // the current volume's letter, 0 when it has none
  char fileSystem[kPartitionFieldChars * 4 + 1];
  char label[kPartitionFieldChars * 4 + 1];
};

// Kinds 7 and 8.
struct RecordProgress {
  uint32_t recordsDone;
  uint32_t recordsTotal;
};

// Kind 10.
struct ClassifyProgress {
  uint32_t reserved;  // always 0
  uint32_t filesClassified;
  uint32_t filesTotal;
};

// Kind 11.
struct StatusTextProgress {
  char title[kStatusTitleChars * 4 + 1];
  char text[kStatusTextChars * 4 + 1];
};

// Kind 12.
struct VideoRebuildProgress {
  uint32_t itemsRebuilt;
  uint32_t itemsTotal;
};

// Kind 13.
struct MtsScanProgress {
  uint64_t totalSectors;
  uint64_t doneSectors;
  uint32_t fragmentsFound;
};

// One fixed-size record: `reportKind` says which of the payloads is meant.
// `ProgressReport report{};` starts with everything zero.
struct ProgressReport {
  uint32_t reportKind;
  FsListProgress fsList;
  ScanStats scan;
  ExportCopyProgress exportCopy;
  PrepareProgress prepare;
  PartitionProgress partitions;
  RecordProgress records;  // kinds 7 and 8
  ClassifyProgress classify;
  StatusTextProgress status;
  VideoRebuildProgress videoRebuild;
  MtsScanProgress mtsScan;
};
static_assert(std::is_trivially_copyable_v<ProgressReport>);

// Copies `text` into a fixed field, cut to at most `max_chars` characters (and
// to what the field holds) at a character boundary; always terminated.
void SetProgressText(char* field, size_t field_size, std::string_view text, size_t max_chars);
template <size_t N>
void SetProgressText(char (&field)[N], std::string_view text, size_t max_chars) {
  SetProgressText(field, N, text, max_chars);
}

// Copies the record into the mailbox when it is empty; returns whether it did.
// A record of kind 0 is never posted.
bool PostProgress(const ProgressReport& report);

// Copies the waiting record out and empties the mailbox; false when empty.
bool TakeProgress(ProgressReport& out);

// Zeroes the mailbox (a progress display was just opened).
void ClearProgress();

// Posts a kind-11 record: title cut to 39 characters, text to 109.
bool PostStatusText(std::string_view title, std::string_view text);

// The deep scan's start values (PrepareScanStats) need the chunk map and the
// hit store; they are computed beside the chunk map.

}  // namespace trovium
