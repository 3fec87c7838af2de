#pragma once
// The window handle as the library carries it internally: an HWND on Windows, an X11
// window id on Linux. 0 means "no window".

#include <cstdint>

namespace orvix::platform {

using WindowHandle = std::uintptr_t;

} // namespace orvix::platform
