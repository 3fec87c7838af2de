#pragma once
// Test hook of the start-up sequence: makes one of its allocations fail, so the
// failure path of Camera::initialize can be exercised. Costs one atomic load per
// allocation while unused.

namespace orvix {

enum class StartupAllocation : int {
    None = -1,
    DeviceLink = 0,
    Surface8,
    Surface16,
    Surface24,
    Surface32,
    Surface48,
    Surface64,
    WorkSurface,
    DisplaySurface,
};

// The next Camera::initialize finds that allocation failed (once).
void failNextStartupAllocation(StartupAllocation which);

// True (and the hook cleared) when `which` is the allocation to fail.
bool takeStartupAllocationFault(StartupAllocation which);

} // namespace orvix
