#pragma once
// The diagnostic report channel and the count of live worker threads.

#include <cstdint>
#include <string>

namespace trovium {

// Hands one report (a code and a short text) to the report channel. Never fails
// towards the caller and never blocks longer than 7000 ms.
void ReportEvent(int code, const std::string& text);

// First and last call of every worker thread, with its fixed name.
void ThreadBegin(const char* name);
void ThreadEnd(const char* name);
int LiveWorkerCount();

}  // namespace trovium
