#include "platform/clock.h"

#include <windows.h>
#include <mmsystem.h>

namespace orvix::platform {

namespace detail {
std::uint32_t systemTickCount() { return GetTickCount(); }
std::uint32_t systemMultimediaTime() { return timeGetTime(); }
} // namespace detail

void sleepMs(std::uint32_t milliseconds) { Sleep(milliseconds); }

} // namespace orvix::platform
