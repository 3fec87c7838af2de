#pragma once
// The library's preview window: a window class of its own, a child window inside an
// application window or a centred top-level window, the device context kept for the
// window's life, and the display Surface that scaled frames are painted through.
//
// Painting a frame: an image exactly the client area's size is painted straight
// from the image, mirrored so memory row 0 is at the top (not for the 16-bit mono
// type, whose display image is only made for painting); any other size goes through
// the display Surface, a nearest-neighbour, vertically flipped copy at the client
// size, set into the window as a bottom-up bitmap. An invisible window or an empty
// client area is not painted.
//
// Threads: the window is made and taken down on application threads, painted on the
// capture thread; one lock guards the window, its DC and the display Surface, so a
// window is never taken down under a paint.

#include <cstdint>
#include <memory>
#include <string>

#include "capture/capture_config.h"
#include "imaging/surface.h"
#include "platform/mutex.h"
#include "platform/preview_window.h"

namespace orvix {

class PreviewWindow {
public:
    enum class OpenResult {
        Opened,
        NoWindow, // the class or the window could not be made (nothing is left open)
        NoDc,     // the window exists but has no device context; it stays until close()
    };

    PreviewWindow() = default;
    ~PreviewWindow() { close(); }
    PreviewWindow(const PreviewWindow&) = delete;
    PreviewWindow& operator=(const PreviewWindow&) = delete;

    // Registers a fresh class "VideoRenderer_%08x_%08x" (this object's address and a
    // random salt) and makes the window: a child of `parent` at `rect`, or without a
    // parent a centred top-level window whose client area is imageWidth x
    // imageHeight. A window still open is closed first.
    OpenResult open(platform::WindowHandle parent, const PreviewRect& rect, std::int32_t imageWidth,
                    std::int32_t imageHeight);
    // Destroys the window, releases its DC and unregisters its class. Safe to repeat;
    // waits for a paint in progress.
    void close();

    bool isOpen() const;
    platform::WindowHandle handle() const;
    // The registered class ("" when none), for tests and diagnostics.
    std::string className() const;

    // Makes the display Surface object (start-up); false when that failed.
    bool allocateDisplay();

    // Capture start: when the window is visible with a non-empty client area, the
    // display Surface is made at the client size, 8 bits with the gray ramp for mono
    // display or 24 bits for colour.
    void prepareDisplay(bool mono);
    // Paints the displayable image of a frame (8-bit gray with a colour table, or
    // 24-bit BGR). `alwaysScaled` takes the scaled path even at the image's size.
    // True when the frame was painted into the window; false when there was nothing
    // to paint into (no window or DC, an invisible window, an empty client area), the
    // image is not of the display depth, or the display Surface could not be made.
    bool paint(const Surface& image, bool mono, bool alwaysScaled);

private:
    void closeLocked() ORVIX_REQUIRES(mutex_);
    bool ensureDisplay(std::int32_t width, std::int32_t height, bool mono) ORVIX_REQUIRES(mutex_);

    mutable Mutex mutex_;
    platform::WindowHandle window_ ORVIX_GUARDED_BY(mutex_) = 0;
    std::unique_ptr<platform::WindowDC> dc_ ORVIX_GUARDED_BY(mutex_);
    char className_[256] ORVIX_GUARDED_BY(mutex_) = {};
    std::unique_ptr<Surface> display_ ORVIX_GUARDED_BY(mutex_);
};

} // namespace orvix
