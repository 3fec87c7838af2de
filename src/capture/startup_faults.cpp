#include "capture/startup_faults.h"

#include <atomic>

namespace orvix {

namespace {

std::atomic<int> pendingAllocationFault{static_cast<int>(StartupAllocation::None)};

} // namespace

void failNextStartupAllocation(StartupAllocation which) { pendingAllocationFault.store(static_cast<int>(which)); }

bool takeStartupAllocationFault(StartupAllocation which) {
    int expected = static_cast<int>(which);
    if (pendingAllocationFault.load(std::memory_order_relaxed) != expected) return false;
    return pendingAllocationFault.compare_exchange_strong(expected, static_cast<int>(StartupAllocation::None));
}

} // namespace orvix
