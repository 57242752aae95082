#include "platform/interrupt.h"

#include <unistd.h>

#include <atomic>
#include <csignal>

namespace trovium::platform {
namespace {

std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void OnInterrupt(int) { g_stop.store(true, std::memory_order_relaxed); }

}  // namespace

void InstallInterruptHandler() {
  struct sigaction sa {};
  sa.sa_handler = OnInterrupt;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

bool StopRequested() { return g_stop.load(std::memory_order_relaxed); }

bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace trovium::platform
