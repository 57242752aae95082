#pragma once
// The diagnostic report channel and the count of live worker threads.

#include <cstdint>
#include <functional>
#include <string>

namespace trovium {

// Longest report text in bytes; longer texts are cut at a UTF-8 character
// boundary.
inline constexpr size_t kReportTextLimit = 1024;

// Hands one report (a code and a short text) to the report channel. Never fails
// towards the caller and never blocks longer than 7000 ms.
void ReportEvent(int code, const std::string& text);

// First and last call of every worker thread, with its fixed name.
void ThreadBegin(const char* name);
void ThreadEnd(const char* name);
int LiveWorkerCount();

// ThreadBegin on construction, ThreadEnd on destruction: the first object of a
// worker thread's function.
class WorkerScope {
 public:
  explicit WorkerScope(const char* name) : name_(name) { ThreadBegin(name_); }
  ~WorkerScope() { ThreadEnd(name_); }
  WorkerScope(const WorkerScope&) = delete;
  WorkerScope& operator=(const WorkerScope&) = delete;

 private:
  const char* name_;
};

// text cut to at most limit bytes without splitting a UTF-8 character.
std::string CutUtf8(const std::string& text, size_t limit);

// Tests: while a sink is set, reports go to it (with the cut text) instead of
// the report file. An empty function restores the file.
using ReportSink = std::function<void(int code, const std::string& text)>;
void SetReportSinkForTesting(ReportSink sink);

// Sets a sink for the lifetime of the object.
class ScopedReportSink {
 public:
  explicit ScopedReportSink(ReportSink sink) { SetReportSinkForTesting(std::move(sink)); }
  ~ScopedReportSink() { SetReportSinkForTesting(nullptr); }
  ScopedReportSink(const ScopedReportSink&) = delete;
  ScopedReportSink& operator=(const ScopedReportSink&) = delete;
};

}  // namespace trovium
