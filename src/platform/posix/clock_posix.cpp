#include "platform/clock.h"

#include <time.h>

#include <cerrno>

namespace orvix::platform {

namespace detail {

static std::uint32_t monotonicMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const auto ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                    static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms); // wraps like GetTickCount
}

std::uint32_t systemTickCount() { return monotonicMilliseconds(); }
std::uint32_t systemMultimediaTime() { return monotonicMilliseconds(); }

} // namespace detail

void sleepMs(std::uint32_t milliseconds) {
    timespec remaining{static_cast<time_t>(milliseconds / 1000u),
                       static_cast<long>(milliseconds % 1000u) * 1000000L};
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

} // namespace orvix::platform
