#pragma once
// The window service behind the live preview: a window class of its own per window,
// a child window inside an application window or a centred top-level window, the
// questions the painter asks (visible? client size?) and a kept device context that
// paints device-independent bitmaps into the window.
//
// Windows: RegisterClassExA / CreateWindowExA / GetDC and GDI, the window owned by
// the creating thread and painted from any thread through the kept DC.
//
// Linux: X11 through the library's shared connection (Xlib locks it internally, so
// the window may be made on one thread and painted on another); a window of the
// application that goes away at any time (the parent, say) fails the library's
// requests without reaching the application's X error handler. A "class" is a name
// the library keeps registered in-process and writes as the window's WM_CLASS; the
// window has the same titles (WM_NAME and _NET_WM_NAME) and geometry as on Windows,
// without frame decorations of its own. Visible means mapped and viewable; the client
// size is the window's size. Painted frames are kept in a server-side pixmap that is
// also the window's background, so an exposed or uncovered window shows the last
// frame again without any event handling by the library. A window larger than the
// screen keeps no such pixmap: only the part over the screen is painted, and an
// exposed part shows black until the next frame. Painting converts 8-bit (through
// the colour table) and 24-bit BGR pixels to the window's TrueColor visual, through
// shared memory when the server offers it; other visual classes are not painted.
// Without a display every creation fails.

#include <cstdint>
#include <memory>

#include "platform/bitmap.h"
#include "platform/window_handle.h"

namespace orvix::platform {

inline constexpr const char* kChildPreviewTitle = "ActiveMovie Window";
inline constexpr const char* kTopLevelPreviewTitle = "Active Window";
inline constexpr int kChildPreviewId = 6540;
// Window styles (Windows): child | visible | clip children, and overlapped window |
// visible | clip siblings | clip children.
inline constexpr std::uint32_t kChildPreviewStyle = 0x52000000u;
inline constexpr std::uint32_t kTopLevelPreviewStyle = 0x16CF0000u;

// A rectangle as position and size.
struct WindowBox {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// The window systems' limits, applied to every preview window's box.
//
// X11 carries window positions as signed and sizes as unsigned 16-bit values, and
// the server refuses empty windows; larger values would be cut to 16 bits on the
// way. Linux preview windows therefore take positions clamped to -32768..32767 and
// sizes to 1..32767.
//
// Windows takes int positions and sizes, but reads an x of CW_USEDEFAULT (INT_MIN)
// as "place it yourself", a negative size as 0, keeps windows as rectangles in
// 32-bit screen coordinates (which the parent's own position is added to), and
// draws within the 27-bit coordinate space of its graphics layer. There positions
// and edges are kept within +-(2^27 - 1): a size is cut where its far edge would
// pass that.
inline constexpr std::int32_t kMinX11WindowPosition = -32768;
inline constexpr std::int32_t kMaxX11WindowPosition = 32767;
inline constexpr std::int32_t kMaxX11WindowSide = 32767;
inline constexpr std::int32_t kWin32CoordinateLimit = (1 << 27) - 1;

namespace detail {
inline std::int32_t clamped(std::int32_t v, std::int32_t low, std::int32_t high) {
    return v < low ? low : v > high ? high : v;
}
// The largest size from `position` whose far edge stays within `limit`.
inline std::int32_t sideWithin(std::int32_t position, std::int32_t side, std::int32_t limit) {
    return clamped(side, 0, limit - position);
}
} // namespace detail

inline WindowBox clampedToX11(const WindowBox& box) {
    using detail::clamped;
    return {clamped(box.x, kMinX11WindowPosition, kMaxX11WindowPosition),
            clamped(box.y, kMinX11WindowPosition, kMaxX11WindowPosition), clamped(box.width, 1, kMaxX11WindowSide),
            clamped(box.height, 1, kMaxX11WindowSide)};
}

inline WindowBox clampedToWin32(const WindowBox& box) {
    using detail::clamped;
    const std::int32_t x = clamped(box.x, -kWin32CoordinateLimit, kWin32CoordinateLimit);
    const std::int32_t y = clamped(box.y, -kWin32CoordinateLimit, kWin32CoordinateLimit);
    return {x, y, detail::sideWithin(x, box.width, kWin32CoordinateLimit),
            detail::sideWithin(y, box.height, kWin32CoordinateLimit)};
}

// ---- window classes -----------------------------------------------------------------
// Registers a preview window class of that name: no class style, the default window
// procedure, the application's module, the arrow cursor, a black background. False
// when the name is taken or registration fails (Linux: also without a display).
bool registerPreviewClass(const char* name);
// Unregisters the class (a no-op for names that are not registered).
void unregisterPreviewClass(const char* name);
bool isPreviewClassRegistered(const char* name);

// ---- windows --------------------------------------------------------------------------
// A child window titled "ActiveMovie Window" at `box` (parent coordinates), child id
// 6540. 0 when the parent does not exist or creation fails. The box is clamped to
// what the window system takes (clampedToX11, clampedToWin32).
WindowHandle createChildPreviewWindow(const char* className, WindowHandle parent, const WindowBox& box);
// The outer box of a top-level preview window whose client area is clientWidth ×
// clientHeight, centred on the screen. False when it cannot be computed.
bool centredTopLevelBox(std::int32_t clientWidth, std::int32_t clientHeight, WindowBox& box);
// A top-level window titled "Active Window" with that outer box. 0 on failure.
WindowHandle createTopLevelPreviewWindow(const char* className, const WindowBox& box);
// Gives the new window the keyboard focus, shows it and brings it up to date (Linux:
// focus only for top-level windows). True when the last step succeeded.
bool showPreviewWindow(WindowHandle window);
void destroyPreviewWindow(WindowHandle window);

bool isWindowVisible(WindowHandle window);
// Size of the client area; false (0 × 0) when the window does not exist.
bool clientSize(WindowHandle window, std::int32_t& width, std::int32_t& height);

// ---- painting -------------------------------------------------------------------------
// A bottom-up device-independent bitmap to paint from: its header (8 or 24 bits), the
// colour table for 8 bits, the pixel memory, and the memory DC holding it (Windows;
// 0 for heap pixels).
struct DibView {
    const BitmapInfoHeader* header = nullptr;
    const ColorTable* colors = nullptr;
    const std::uint8_t* bits = nullptr;
    std::uint32_t stride = 0;
    std::uintptr_t memoryDc = 0;
};

// The device context of a window, kept for the window's life and released when the
// object goes. Painting may happen on another thread than the one that acquired it,
// but one thread at a time, and never while the object is being destroyed.
class WindowDC {
public:
    // GetDC of the window; null when the window does not exist or has no DC.
    static std::unique_ptr<WindowDC> acquire(WindowHandle window);
    ~WindowDC();
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;

    WindowHandle window() const;

    // Copies an image of exactly width × height pixels to the client origin, mirrored
    // vertically so that memory row 0 of the bitmap is the window's top row (a
    // stretch from the memory DC with a negative source height on Windows).
    void copyMirrored(const DibView& image, std::int32_t width, std::int32_t height);
    // copyMirrored for a window that should still be visible with a client area of
    // exactly width × height, as at the last paint. With an X server the frame is
    // converted before the window is asked, so the conversion runs while the server
    // still paints the frame before, and the question's round trip is the one wait.
    // False, with nothing painted, when the window is not visible at that size any
    // more or this way does not apply; the caller then asks the window itself and
    // paints as usual.
    bool copyMirroredIfStill(const DibView& image, std::int32_t width, std::int32_t height);
    // Sets width × height pixels of the window from the bitmap as a bottom-up DIB:
    // the bitmap's last memory row is the window's top row.
    void setBits(const DibView& image, std::int32_t width, std::int32_t height);

    struct Impl;

private:
    explicit WindowDC(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

} // namespace orvix::platform
