#pragma once
// What one capture works with. A capture takes its configuration as one value when
// it starts and keeps it until it ends; settings changed meanwhile reach the next
// start. Filter values and auto iris are not part of it: every frame works on a
// consistent copy of those, taken just before the frame is processed.

#include <cstdint>

#include "device/video_format.h"
#include "platform/window_handle.h"

namespace orvix {

// Placement of the preview window, read as x, y, width, height.
struct PreviewRect {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = kSensorWidth;
    std::int32_t height = kSensorHeight;
};

// Where frames go besides the preview window: a copy of every frame into the
// caller's buffer (when buffer is set and size non-zero) and ORVIX_WM_FRAME posted to
// `window` (when set).
struct DeliveryTarget {
    platform::WindowHandle window = 0;
    void* buffer = nullptr;
    std::int32_t size = 0;
    std::int32_t topDown = 0;
};

// The analog values a capture start sends to the camera.
struct StartGains {
    std::int32_t mirrorV = 0;
    std::int32_t globalGain = 0;
    std::int32_t exposure = 0;
};

struct CaptureConfig {
    std::int32_t colorType = 0; // 0..5 for 8, 16, 24, 32, 48, 64 bits per pixel
    std::int32_t subSample = 0; // 0, 1, 2 for 1/1, 1/2, 1/4
    std::int32_t waitTime = 10; // milliseconds the preview loop waits before each poll
    std::int32_t halfClock = 0;
    VideoFormat window;
    platform::WindowHandle previewParent = 0;
    PreviewRect previewRect;
    StartGains gains;
};

// ---- colour types ---------------------------------------------------------------------
//   colour type   raw frame   output image   display path
//   0   8 bits    8-bit       the raw frame  mono
//   1  16 bits   16-bit       the raw frame  mono
//   2  24 bits    8-bit       24-bit         colour
//   3  32 bits    8-bit       32-bit         colour
//   4  48 bits   16-bit       48-bit         colour
//   5  64 bits   16-bit       64-bit         colour

// Bits per pixel of a colour type 0..5; 0 for anything else.
inline int bitsPerPixelOfColorType(std::int32_t type) {
    constexpr int kBits[] = {8, 16, 24, 32, 48, 64};
    return type >= 0 && type < 6 ? kBits[type] : 0;
}
inline bool isColorTypeValid(std::int32_t type) { return bitsPerPixelOfColorType(type) != 0; }
inline bool isMonoDisplay(std::int32_t type) { return type == 0 || type == 1; }
inline bool isColorDisplay(std::int32_t type) { return type >= 2 && type <= 5; }
inline bool isWordTransfer(std::int32_t type) { return type == 1 || type == 4 || type == 5; }
inline bool isByteTransfer(std::int32_t type) { return type == 0 || type == 2 || type == 3; }

// The Bayer mode of a frame whose window starts at (firstColumn, firstLine) of the
// active area: the mode names the colour sites of the frame's first row and column,
// so an odd first column swaps the column phase (bit 1) and an odd first line the
// row phase (bit 0). The window's position then changes no colour.
inline std::int32_t bayerModeOfWindow(std::int32_t bayerMode, std::int32_t firstColumn, std::int32_t firstLine) {
    return bayerMode ^ ((firstLine & 1) ? 1 : 0) ^ ((firstColumn & 1) ? 2 : 0);
}

// Image sizes shrink by 2 or 4 in each dimension for sub-sample modes 1 and 2
// (integer division).
inline std::int32_t subSampled(std::int32_t length, std::int32_t subSample) {
    switch (subSample) {
    case 1: return length / 2;
    case 2: return length / 4;
    default: return length;
    }
}

} // namespace orvix
