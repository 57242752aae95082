#pragma once
// The process-wide crash handler: on SIGSEGV, SIGBUS, SIGILL, SIGFPE or SIGABRT
// it writes a crash file ("<build>_<DDHHMM>.dmp") into the state folder with the
// signal, the fault address, a backtrace and /proc/self/maps, reports
// "Exit exception" (code 27), hands the crash file to the report channel when
// it is not empty and below 256 KiB, deletes it, and lets the signal's default
// action end the process. alarm(10) bounds the whole handler: if it hangs, the
// process still ends.
//
// How it gets installed before main: the handler lives in a static library,
// whose unreferenced objects the linker drops, so a constructor in this file
// alone would never run. Each program therefore puts
//     TROVIUM_CRASH_HANDLER_BEFORE_MAIN(trovium::kProgramVersion, trovium::kProgramBuild)
// once at file scope in the source file that holds its main(): that object is
// always linked, and the constructor it defines installs the handler before
// main runs. Test programs do not install it (the sanitizers and the death
// tests keep their own handlers); the crash tests install it in a child.

#include <cstddef>
#include <cstdint>
#include <string>

namespace trovium::platform {

// Installs the handler (once; later calls do nothing and return true). The
// state folder, the local time offset and the program identity are taken now,
// so that the handler itself needs no allocation and no locks. Also gives the
// calling thread a signal stack. Returns false when sigaction failed.
bool InstallCrashHandler(const char* version, uint32_t build);

// Gives the calling thread its own alternate signal stack (once per thread,
// released when the thread ends), so that a stack overflow still reaches the
// handler. Called by ThreadBegin for every worker.
void PrepareCrashStackForThisThread();

// "%u_%02d%02d%02d.dmp" filled with build, day of the month, hour and minute.
// The first form is async-signal-safe: it writes at most cap - 1 bytes and a
// NUL into out and returns the length.
size_t FormatCrashFileName(char* out, size_t cap, uint32_t build, int day, int hour, int minute);
std::string CrashFileName(uint32_t build, int day, int hour, int minute);

// Crash files at or above this size are not handed to the report channel.
inline constexpr uint64_t kCrashReportLimit = 0x40000;

}  // namespace trovium::platform

#define TROVIUM_CRASH_HANDLER_BEFORE_MAIN(version, build)                                   \
  __attribute__((constructor)) static void TroviumInstallCrashHandlerBeforeMain() {      \
    ::trovium::platform::InstallCrashHandler((version), (build));                          \
  }
