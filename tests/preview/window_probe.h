#pragma once
// Test-side access to the window system: application windows to host previews, and
// reading back what a window shows. X11: a connection of the test's own; Win32:
// the test thread's windows and GDI.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/window_handle.h"

namespace orvix::test {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
    bool operator!=(const Rgb& o) const { return !(*this == o); }
};
inline std::string describe(const Rgb& c) {
    return "(" + std::to_string(c.r) + ", " + std::to_string(c.g) + ", " + std::to_string(c.b) + ")";
}

class WindowProbe {
public:
    WindowProbe();
    ~WindowProbe();
    WindowProbe(const WindowProbe&) = delete;
    WindowProbe& operator=(const WindowProbe&) = delete;

    bool ok() const;

    // A shown top-level application window with a client area of that size.
    platform::WindowHandle createAppWindow(int width, int height);
    void destroyWindow(platform::WindowHandle window);
    bool exists(platform::WindowHandle window);

    // Lets pending window-system work finish (call before painting: on Windows it
    // dispatches pending messages, whose background erase would wipe a paint).
    void settle();
    // The window's client pixels, `width` per row, top row first.
    std::vector<Rgb> readClient(platform::WindowHandle window, int width, int height);

    void hide(platform::WindowHandle window);
    void show(platform::WindowHandle window);
    // New client size of a child window.
    void resize(platform::WindowHandle window, int width, int height);

    // The first child window of `parent`; 0 when it has none.
    platform::WindowHandle firstChild(platform::WindowHandle parent);
    // Position in the parent and client size of a window, as the window system keeps
    // them; false when the window does not exist.
    bool geometry(platform::WindowHandle window, int& x, int& y, int& width, int& height);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace orvix::test
