#pragma once
// A window of the orvix tool's own for `orvix stream`: it parents the library's
// preview window and receives the messages the library posts to it. X11 on Linux,
// Win32 on Windows; the only place in the tool that talks to the window system.

#include <cstdint>
#include <functional>
#include <memory>

#include "OrvixSdk_K62DT4.h"

class StreamWindow {
public:
    // A shown window with a client area of that size; null without a display.
    static std::unique_ptr<StreamWindow> open(int width, int height, const char* title);
    virtual ~StreamWindow() = default;

    virtual ORVIX_WINDOW handle() const = 0;
    // Handles window-system events for `milliseconds` and hands every library message
    // (message, wParam, lParam) to `receive`.
    virtual void pump(int milliseconds, const std::function<void(std::uint32_t, std::uintptr_t, std::intptr_t)>& receive) = 0;
};
