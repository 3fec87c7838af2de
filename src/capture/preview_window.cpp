#include "capture/preview_window.h"

#include <cstdio>
#include <cstdlib>
#include <new>

#include "capture/startup_faults.h"
#include "imaging/pixel_kernels.h"
#include "platform/clock.h"

namespace orvix {

namespace {

platform::DibView viewOf(const Surface& s, const platform::ColorTable& colors) {
    platform::DibView view;
    view.header = &s.header();
    view.colors = &colors;
    view.bits = s.bits();
    view.stride = s.stride();
    view.memoryDc = s.memoryDc();
    return view;
}

bool hasDepth(const Surface& s, std::uint16_t bitsPerPixel) { return !s.isEmpty() && s.bitsPerPixel() == bitsPerPixel; }

} // namespace

bool PreviewWindow::allocateDisplay() {
    MutexLock lock(mutex_);
    if (takeStartupAllocationFault(StartupAllocation::DisplaySurface)) return false;
    display_ = std::unique_ptr<Surface>(new (std::nothrow) Surface());
    return display_ != nullptr;
}

PreviewWindow::OpenResult PreviewWindow::open(platform::WindowHandle parent, const PreviewRect& rect,
                                              std::int32_t imageWidth, std::int32_t imageHeight) {
    MutexLock lock(mutex_);
    // A window made over an existing one replaces it cleanly, and a class left from a
    // failed attempt is not leaked by overwriting its name.
    closeLocked();
    const unsigned address = static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(this));
    const unsigned salt = static_cast<unsigned>(std::rand()) + platform::multimediaTime();
    std::snprintf(className_, sizeof(className_), "VideoRenderer_%08x_%08x", address, salt);
    if (!platform::registerPreviewClass(className_)) {
        className_[0] = '\0';
        return OpenResult::NoWindow;
    }

    platform::WindowHandle window = 0;
    if (parent != 0) {
        window = platform::createChildPreviewWindow(className_, parent,
                                                    platform::WindowBox{rect.x, rect.y, rect.width, rect.height});
    } else {
        platform::WindowBox box;
        if (platform::centredTopLevelBox(imageWidth, imageHeight, box))
            window = platform::createTopLevelPreviewWindow(className_, box);
    }
    // The class stays registered until close().
    if (window == 0) return OpenResult::NoWindow;
    if (!platform::showPreviewWindow(window)) {
        // Nobody would own a window that is not handed out.
        platform::destroyPreviewWindow(window);
        return OpenResult::NoWindow;
    }
    window_ = window;
    dc_ = platform::WindowDC::acquire(window);
    return dc_ ? OpenResult::Opened : OpenResult::NoDc;
}

void PreviewWindow::close() {
    MutexLock lock(mutex_);
    closeLocked();
}

void PreviewWindow::closeLocked() {
    dc_.reset();
    platform::destroyPreviewWindow(window_);
    window_ = 0;
    platform::unregisterPreviewClass(className_);
    className_[0] = '\0';
}

bool PreviewWindow::isOpen() const {
    MutexLock lock(mutex_);
    return window_ != 0;
}

platform::WindowHandle PreviewWindow::handle() const {
    MutexLock lock(mutex_);
    return window_;
}

std::string PreviewWindow::className() const {
    MutexLock lock(mutex_);
    return className_;
}

bool PreviewWindow::ensureDisplay(std::int32_t width, std::int32_t height, bool mono) {
    if (!display_) return false;
    Surface& display = *display_;
    const std::uint16_t depth = mono ? 8 : 24;
    if (display.width() == width && display.height() == height && display.bitsPerPixel() == depth) return true;
    display.release();
    if (!display.create(width, height, depth)) return false;
    if (mono) display.setColorTable(Surface::kColorTableModeGrayRamp, nullptr, 0, 0);
    return true;
}

void PreviewWindow::prepareDisplay(bool mono) {
    MutexLock lock(mutex_);
    std::int32_t clientWidth = 0;
    std::int32_t clientHeight = 0;
    platform::clientSize(window_, clientWidth, clientHeight);
    if (dc_ && platform::isWindowVisible(window_) && clientWidth > 0 && clientHeight > 0)
        (void)ensureDisplay(clientWidth, clientHeight, mono);
}

bool PreviewWindow::paint(const Surface& image, bool mono, bool alwaysScaled) {
    if (!hasDepth(image, mono ? 8 : 24)) return false;
    MutexLock lock(mutex_);
    if (!dc_) return false;
    // A window still at the image's size, as a live preview's usually is, is painted
    // without asking it first (see copyMirroredIfStill).
    if (!alwaysScaled) {
        const platform::ColorTable colors = image.colorTable();
        if (dc_->copyMirroredIfStill(viewOf(image, colors), image.width(), image.height())) return true;
    }
    std::int32_t clientWidth = 0;
    std::int32_t clientHeight = 0;
    platform::clientSize(window_, clientWidth, clientHeight);
    if (!platform::isWindowVisible(window_) || clientWidth <= 0 || clientHeight <= 0) return false;

    if (!alwaysScaled && clientWidth == image.width() && clientHeight == image.height()) {
        const platform::ColorTable colors = image.colorTable();
        dc_->copyMirrored(viewOf(image, colors), clientWidth, clientHeight);
        return true;
    }
    // The display Surface follows the client size and the display depth.
    if (!ensureDisplay(clientWidth, clientHeight, mono)) return false;
    Surface& display = *display_;
    display.stretch(mono ? stretchFlip8 : stretchFlip24, &image, nullptr, nullptr, 0, 0);
    const platform::ColorTable colors = display.colorTable();
    dc_->setBits(viewOf(display, colors), clientWidth, clientHeight);
    return true;
}

} // namespace orvix
