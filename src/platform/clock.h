#pragma once
// Millisecond clocks and sleeping.
//
// tickCount() and multimediaTime() stand for GetTickCount and timeGetTime: monotonic
// milliseconds that wrap at 32 bits. Tests may replace the time source so that code
// depending on elapsed time can be driven step by step.

#include <cstdint>

namespace orvix::platform {

std::uint32_t tickCount();
std::uint32_t multimediaTime();
void sleepMs(std::uint32_t milliseconds);

// A replacement time source for tests: while set, both clocks return its value.
// Pass nullptr to restore the system clock.
using TimeSource = std::uint32_t (*)();
void setTimeSourceForTesting(TimeSource source);

} // namespace orvix::platform
