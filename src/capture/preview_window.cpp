// The Camera's preview window: making it, painting each processed frame into it, and
// taking it down again.
//
// Painting brings the displayable image up to date first (8-bit for the mono colour
// types, 24-bit for the colour ones), whether or not anything is painted. A window
// exactly the image's size is painted straight from that image, mirrored so memory
// row 0 is at the top; any other size, and always the 16-bit mono type, goes through
// the display Surface: a nearest-neighbour, vertically flipped copy at the client
// size, set into the window as a bottom-up bitmap.

#include <cstdio>
#include <cstdlib>

#include "camera/camera.h"
#include "imaging/surface.h"
#include "imaging/pixel_kernels.h"
#include "platform/clock.h"
#include "platform/preview_window.h"

namespace orvix {

namespace {

constexpr std::int32_t kColorTypeMono8 = 0;
constexpr std::int32_t kColorTypeMono16 = 1;
constexpr std::int32_t kColorTypeBgr24 = 2;
constexpr std::int32_t kColorTypeBgr32 = 3;
constexpr std::int32_t kColorTypeBgr48 = 4;
constexpr std::int32_t kColorTypeBgr64 = 5;

bool isMonoDisplayType(std::int32_t colorType) {
    return colorType == kColorTypeMono8 || colorType == kColorTypeMono16;
}

// Image sizes shrink by 2, 4 or 8 in each dimension for sub-sample modes 1 to 3.
std::int32_t subSampleDivisor(std::int32_t subSample) {
    switch (subSample) {
    case 1: return 2;
    case 2: return 4;
    case 3: return 8;
    default: return 1;
    }
}

bool hasDepth(const Surface* s, std::uint16_t bitsPerPixel) {
    return s && !s->isEmpty() && s->bitsPerPixel() == bitsPerPixel;
}

// Runs a conversion kernel over the whole of `source` into `destination`, only when
// both hold images of the depths the kernel is written for.
void convert(Surface* destination, std::uint16_t destinationBits, const Surface* source, std::uint16_t sourceBits,
             PixelKernel kernel) {
    if (!hasDepth(destination, destinationBits) || !hasDepth(source, sourceBits)) return;
    destination->blit(kernel, source, nullptr, 0, 0, nullptr, 0);
}

platform::DibView viewOf(const Surface& s, const platform::ColorTable& colors) {
    platform::DibView view;
    view.header = &s.header();
    view.colors = &colors;
    view.bits = s.bits();
    view.stride = s.stride();
    view.memoryDc = s.memoryDc();
    return view;
}

// The 8- or 24-bit image that shows the current frame, converted from the colour
// type's output Surface where needed. Null when the Surfaces for it are missing.
Surface* updateDisplayableImage(Camera& camera) {
    switch (camera.colorType) {
    case kColorTypeMono8:
        return camera.surface8.get();
    case kColorTypeMono16:
        convert(camera.surface8.get(), 8, camera.surface16.get(), 16, convertMono16To8);
        return camera.surface8.get();
    case kColorTypeBgr24:
        return camera.surface24.get();
    case kColorTypeBgr32:
        convert(camera.surface24.get(), 24, camera.surface32.get(), 32, copyBgr);
        return camera.surface24.get();
    case kColorTypeBgr48:
        convert(camera.surface24.get(), 24, camera.surface48.get(), 48, convertColor16To8);
        return camera.surface24.get();
    case kColorTypeBgr64:
        convert(camera.surface24.get(), 24, camera.surface64.get(), 64, convertColor16To8);
        return camera.surface24.get();
    default:
        return nullptr;
    }
}

} // namespace

platform::WindowHandle Camera::createPreviewWindow(platform::WindowHandle parent, const PreviewRect& rect) {
    // A window made over an existing one replaces it cleanly, and a class left from a
    // failed attempt is not leaked by overwriting its name.
    if (previewWindow != 0 || previewClassName[0] != '\0') closePreviewWindow();

    std::lock_guard<std::mutex> lock(previewMutex);
    const unsigned address = static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(this));
    const unsigned salt = static_cast<unsigned>(std::rand()) + platform::multimediaTime();
    std::snprintf(previewClassName, sizeof(previewClassName), "VideoRenderer_%08x_%08x", address, salt);
    if (!platform::registerPreviewClass(previewClassName)) {
        previewClassName[0] = '\0';
        return 0;
    }

    platform::WindowHandle window = 0;
    if (parent != 0) {
        const platform::WindowBox box{rect.x, rect.y, rect.width, rect.height};
        window = platform::createChildPreviewWindow(previewClassName, parent, box);
    } else {
        const std::int32_t divisor = subSampleDivisor(subSample);
        platform::WindowBox box;
        if (!platform::centredTopLevelBox(format.hEffective / divisor, format.vEffective / divisor, box)) return 0;
        window = platform::createTopLevelPreviewWindow(previewClassName, box);
    }
    if (window == 0) return 0;

    if (!platform::showPreviewWindow(window)) {
        // Nobody would own a window that is not handed out.
        platform::destroyPreviewWindow(window);
        return 0;
    }
    return window;
}

void Camera::paintPreview() {
    const std::int32_t type = colorType;
    Surface* image = updateDisplayableImage(*this);
    const bool mono = isMonoDisplayType(type);
    if (!hasDepth(image, mono ? 8 : 24)) return;

    std::lock_guard<std::mutex> lock(previewMutex);
    std::int32_t clientWidth = 0;
    std::int32_t clientHeight = 0;
    platform::clientSize(previewWindow, clientWidth, clientHeight);
    if (!platform::isWindowVisible(previewWindow) || clientWidth <= 0 || clientHeight <= 0 || !previewDC) return;

    if (clientWidth == image->width() && clientHeight == image->height() && type != kColorTypeMono16) {
        const platform::ColorTable colors = image->colorTable();
        previewDC->copyMirrored(viewOf(*image, colors), clientWidth, clientHeight);
        return;
    }

    // The display Surface follows the client size and the display depth.
    const std::uint16_t depth = mono ? 8 : 24;
    if (!displaySurface) displaySurface = std::make_unique<Surface>();
    Surface& display = *displaySurface;
    if (display.width() != clientWidth || display.height() != clientHeight || display.bitsPerPixel() != depth) {
        display.release();
        if (!display.create(clientWidth, clientHeight, depth)) return;
        if (mono) display.setColorTable(Surface::kColorTableModeGrayRamp, nullptr, 0, 0);
    }
    display.stretch(mono ? stretchFlip8 : stretchFlip24, image, nullptr, nullptr, 0, 0);
    const platform::ColorTable colors = display.colorTable();
    previewDC->setBits(viewOf(display, colors), clientWidth, clientHeight);
}

void Camera::closePreviewWindow() {
    std::lock_guard<std::mutex> lock(previewMutex);
    previewDC.reset();
    platform::destroyPreviewWindow(previewWindow);
    previewWindow = 0;
    platform::unregisterPreviewClass(previewClassName);
    previewClassName[0] = '\0';
}

} // namespace orvix
