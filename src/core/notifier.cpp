#include "core/notifier.h"

#include <atomic>

namespace trovium {

namespace {
std::atomic<Notifier*> g_notifier{nullptr};
}  // namespace

void SetNotifier(Notifier* notifier) { g_notifier.store(notifier, std::memory_order_release); }
Notifier* GetNotifier() { return g_notifier.load(std::memory_order_acquire); }

}  // namespace trovium
