#include "platform/clock.h"

#include <atomic>

namespace orvix::platform {

namespace detail {
std::uint32_t systemTickCount();
std::uint32_t systemMultimediaTime();
} // namespace detail

namespace {
std::atomic<TimeSource> testTimeSource{nullptr};
}

void setTimeSourceForTesting(TimeSource source) { testTimeSource.store(source); }

std::uint32_t tickCount() {
    if (TimeSource source = testTimeSource.load()) return source();
    return detail::systemTickCount();
}

std::uint32_t multimediaTime() {
    if (TimeSource source = testTimeSource.load()) return source();
    return detail::systemMultimediaTime();
}

} // namespace orvix::platform
