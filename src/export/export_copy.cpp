// Writing one file record: the output file under a safe, unclashing name,
// then its data from the source, every write checked.

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/path_util.h"
#include "export/export_engine.h"
#include "export/export_paths.h"
#include "export/output_names.h"
#include "fs/ntfs_data.h"
#include "platform/output_file.h"

namespace trovium {
namespace {

constexpr uint32_t kPieceSectors = 8192;  // 4 MiB
constexpr uint64_t kPieceBytes = uint64_t{kPieceSectors} * kSectorBytes;

enum class CopyResult { kOk, kReadFailed, kWriteFailed, kNoSpace, kStopped, kShort };

CopyResult FromWrite(const platform::OutputStatus& st) {
  return st.no_space() ? CopyResult::kNoSpace : CopyResult::kWriteFailed;
}

void AddCopied(ExportProgress& progress, uint64_t bytes) {
  progress.report.exportCopy.current_copied += bytes;
  progress.report.exportCopy.copied_bytes += bytes;
  progress.Publish();
}

// NTFS data inside the FILE record: at most the 1024-byte value is written.
CopyResult CopyResidentData(const ExportJob& job, const FileRecord& r, platform::OutputFile& out,
                            ExportProgress& progress, uint64_t& written) {
  CSectorSource src;
  if (!OpenDevice(job.source, src)) return CopyResult::kReadFailed;
  uint8_t value[kNtfsRecordBytes] = {};
  uint32_t got = 0;
  const bool ok = ReadNtfsResidentData(r, src, value, got);
  CloseSource(src);
  if (!ok || got == 0) return CopyResult::kReadFailed;
  // A value shorter than the size is padded with zeros; never more than the buffer holds.
  const uint64_t bytes = std::min<uint64_t>(r.size, sizeof value);
  const platform::OutputStatus st = out.Write(value, static_cast<size_t>(bytes));
  if (!st.ok()) return FromWrite(st);
  written = bytes;
  AddCopied(progress, bytes);
  return bytes == r.size ? CopyResult::kOk : CopyResult::kShort;
}

// The bulk copier: the extents in 4 MiB pieces, never beyond the file's size.
CopyResult CopyExtents(const ExportJob& job, const FileRecord& r, const std::vector<DataExtent>& extents,
                       platform::OutputFile& out, ExportProgress& progress, uint64_t& done) {
  CSectorSource src;
  if (!OpenDevice(job.source, src)) return CopyResult::kReadFailed;
  std::vector<uint8_t> buffer(kPieceBytes);
  CopyResult result = CopyResult::kOk;
  done = 0;
  for (const DataExtent& e : extents) {
    if (done >= r.size) break;
    const uint64_t needed = (r.size - done + kSectorBytes - 1) / kSectorBytes;
    const uint64_t n = std::min(e.sector_count, needed);
    for (uint64_t at = 0; at < n && result == CopyResult::kOk; at += kPieceSectors) {
      if (job.control.load() == kWorkerStop) {
        result = CopyResult::kStopped;
        break;
      }
      const auto count = static_cast<uint32_t>(std::min<uint64_t>(kPieceSectors, n - at));
      const bool read_ok = ReadSectors(count, src, buffer.data(), e.start_lba + at);
      // Under the zeros policy the zero-filled buffer stands for what could not be read.
      if (!read_ok && job.read_error != ReadErrorPolicy::kZeros) {
        result = CopyResult::kReadFailed;
        break;
      }
      const uint64_t bytes = std::min<uint64_t>(uint64_t{count} * kSectorBytes, r.size - done);
      const platform::OutputStatus st = out.Write(buffer.data(), static_cast<size_t>(bytes));
      if (!st.ok()) {
        result = FromWrite(st);
        break;
      }
      done += bytes;
      AddCopied(progress, bytes);
    }
    if (result != CopyResult::kOk) break;
  }
  CloseSource(src);
  if (result == CopyResult::kOk && done < r.size) result = CopyResult::kShort;
  return result;
}

// The output file: a name used earlier in this export is numbered; a file
// that existed before goes by the overwrite policy. kSkip in `skipped`.
platform::OutputStatus OpenOutput(ExportJob& job, std::string& path, platform::OutputFile& out, bool& skipped) {
  skipped = false;
  std::string folder, name;
  SplitPath(path, folder, name);
  auto& names = job.created[folder];
  std::string chosen = name;
  for (unsigned n = 2; names.count("f" + chosen) || names.count("d" + chosen) ||
                       (n > 2 && platform::OutputExists(JoinPath(folder, chosen)));
       ++n) {
    chosen = NumberedName(name, n);
  }
  path = JoinPath(folder, chosen);
  bool exclusive = chosen != name;  // a fresh numbered name never replaces anything
  if (!exclusive && platform::OutputExists(path)) {
    OverwritePolicy policy = job.overwrite;
    if (policy == OverwritePolicy::kAsk) {
      UserPrompt& prompt = job.prompt ? *job.prompt : GetUserPrompt();
      policy = prompt.Ask(path + kExistsQuestionSuffix, "提示") ? OverwritePolicy::kOverwrite : OverwritePolicy::kSkip;
    }
    if (policy == OverwritePolicy::kSkip) {
      skipped = true;
      names.insert("f" + chosen);
      return {};
    }
  }
  platform::OutputStatus st = out.Create(path, exclusive);
  if (!st.ok() && st.name_refused()) {
    // The output file system refuses the name itself: one try with a cleaned name.
    std::string retry = path;
    if (SanitizeLastComponent(retry) && retry != path) {
      st = out.Create(retry, true);
      if (st.ok()) path = retry;
    }
  }
  if (st.ok()) {
    SplitPath(path, folder, chosen);
    names.insert("f" + chosen);
  }
  return st;
}

}  // namespace

bool CopyFileRecord(ExportJob& job, const std::string& wanted_path, ExportProgress& progress, const FileRecord& r,
                    uint32_t volume_address) {
  std::string path = wanted_path;
  platform::OutputFile out;
  bool skipped = false;
  const platform::OutputStatus opened = OpenOutput(job, path, out, skipped);
  if (skipped) {
    job.totals.files_skipped++;
    return true;
  }
  if (!opened.ok()) {
    if (opened.no_space()) job.totals.out_of_space = true;
    CountFailure(job, path);
    return false;
  }
  CopyResult result = CopyResult::kOk;
  uint64_t written = 0;
  if (r.size > 0) {
    std::vector<DataExtent> extents;
    if (!job.store->Extents(volume_address, r.index, extents)) result = CopyResult::kReadFailed;
    else if (r.flags & kFlagResident) result = CopyResidentData(job, r, out, progress, written);
    else result = CopyExtents(job, r, extents, out, progress, written);
  }
  platform::OutputStatus closed = out.Close();
  if (result == CopyResult::kOk && !closed.ok()) result = FromWrite(closed);
  if (result == CopyResult::kOk) {
    job.totals.files_recovered++;
    job.totals.bytes_written += r.size;
    return true;
  }
  if (result == CopyResult::kNoSpace) job.totals.out_of_space = true;
  // A failed file is not recovered: removed under the "empty" policy (also
  // after a stop), otherwise what was written stays for the user to judge.
  if (job.read_error == ReadErrorPolicy::kEmpty) platform::RemoveOutputFile(path);
  CountFailure(job, path);
  return false;
}

bool ReadRecordData(const FoundFileStore& store, const SourceLocation& source, uint32_t volume_address,
                    uint32_t record, uint8_t* buffer, uint64_t length, uint64_t& bytes_read,
                    const std::atomic<int32_t>* stop) {
  bytes_read = 0;
  const std::optional<FileRecord> r = store.Record(volume_address, record);
  if (!r || r->is_dir()) return false;
  const uint64_t wanted = std::min(r->size, length);
  if (wanted == 0) return true;
  if (!buffer) return false;
  std::vector<DataExtent> extents;
  if (!store.Extents(volume_address, record, extents)) return false;
  CSectorSource src;
  if (!OpenDevice(source, src)) return false;
  bool ok = true;
  if (r->flags & kFlagResident) {
    uint8_t value[kNtfsRecordBytes] = {};
    uint32_t got = 0;
    ok = ReadNtfsResidentData(*r, src, value, got) && got > 0;
    if (ok) {
      bytes_read = std::min<uint64_t>(got, wanted);
      std::memcpy(buffer, value, static_cast<size_t>(bytes_read));
    }
    CloseSource(src);
    return ok;
  }
  // Walked by the caller's length: nothing is read or written past `length`.
  std::vector<uint8_t> aside;
  for (const DataExtent& e : extents) {
    for (uint64_t at = 0; ok && at < e.sector_count && bytes_read < wanted; at += kPieceSectors) {
      if (stop && stop->load() == kWorkerStop) {
        ok = false;
        break;
      }
      const uint64_t left = wanted - bytes_read;
      const auto count = static_cast<uint32_t>(
          std::min<uint64_t>({kPieceSectors, e.sector_count - at, (left + kSectorBytes - 1) / kSectorBytes}));
      const uint64_t whole = uint64_t{count} * kSectorBytes;
      if (whole <= left) {
        ok = ReadSectors(count, src, buffer + bytes_read, e.start_lba + at);
        bytes_read += whole;
      } else {
        aside.resize(whole);
        ok = ReadSectors(count, src, aside.data(), e.start_lba + at);
        std::memcpy(buffer + bytes_read, aside.data(), static_cast<size_t>(left));
        bytes_read += left;
      }
    }
    if (!ok || bytes_read >= wanted) break;
  }
  CloseSource(src);
  return ok && bytes_read == wanted;
}

}  // namespace trovium
