#include "interrupt.h"

#include <atomic>
#include <csignal>

namespace trovium::cli {
namespace {

std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void OnInterrupt(int) { g_stop.store(true, std::memory_order_relaxed); }

}  // namespace

void InstallInterruptHandler() {
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
}

bool StopRequested() { return g_stop.load(std::memory_order_relaxed); }

}  // namespace trovium::cli
