// Hue and saturation kernels.

#include "imaging/hue_saturation.h"

#include <algorithm>
#include <cstring>

namespace orvix {
namespace {

// Channel value at hue angle x between the two lightness bounds.
std::int32_t hueValue(std::int32_t x, std::int32_t m1, std::int32_t m2) {
    const std::int32_t angle = x % 360;
    if (angle < 0) {
        return m1;
    }
    if (angle < 60) {
        return m1 + (((m2 - m1) * angle) >> 6);
    }
    if (angle < 180) {
        return m2;
    }
    if (angle < 240) {
        return m1 + (((m2 - m1) * (240 - angle)) >> 6);
    }
    return m1;
}

template <typename Sample, int Shift, std::int32_t MaxInput>
void adjustPixels(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect& rect, std::int32_t dstX,
                  std::int32_t dstY, std::uint16_t dstBytesPerPixel, std::uint16_t srcBytesPerPixel,
                  std::uint32_t dstStride, std::uint32_t srcStride, const HlsAdjust& adjust) {
    for (std::int32_t j = 0; j < rect.height(); ++j) {
        const std::uint8_t* in = srcBits + static_cast<std::ptrdiff_t>(rect.top + j) * srcStride +
                                 static_cast<std::ptrdiff_t>(rect.left) * srcBytesPerPixel;
        std::uint8_t* out = dstBits + static_cast<std::ptrdiff_t>(dstY + j) * dstStride +
                            static_cast<std::ptrdiff_t>(dstX) * dstBytesPerPixel;
        for (std::int32_t k = 0; k < rect.width(); ++k, in += srcBytesPerPixel, out += dstBytesPerPixel) {
            Sample channel[3];
            std::memcpy(channel, in, sizeof channel);
            std::int32_t bgr[3];
            for (int c = 0; c < 3; ++c) {
                bgr[c] = std::min<std::int32_t>(channel[c], MaxInput) >> Shift;
            }
            adjustHls(bgr[0], bgr[1], bgr[2], adjust);
            for (int c = 0; c < 3; ++c) {
                channel[c] = static_cast<Sample>(bgr[c] << Shift);
            }
            std::memcpy(out, channel, sizeof channel);
        }
    }
}

} // namespace

void adjustHls(std::int32_t& blue, std::int32_t& green, std::int32_t& red, const HlsAdjust& adjust) {
    const std::int32_t mx = std::max({blue, green, red});
    const std::int32_t mn = std::min({blue, green, red});
    std::int32_t lightness = (mx + mn) >> 1;
    std::int32_t saturation = 0;
    std::int32_t hue = 0;
    if (mx != mn) {
        const std::int32_t d = mx - mn;
        saturation = lightness < 128 ? d * 255 / (mx + mn) : d * 255 / (510 - mx - mn);
        if (red == mx) {
            hue = ((green - blue) * 64) / d;
        } else if (green == mx) {
            hue = ((blue - red) * 64) / d + 120;
        } else {
            hue = ((red - green) * 64) / d + 240;
        }
        if (hue < 0) {
            hue += 360;
        } else if (hue >= 360) {
            hue -= 360;
        }
    }
    // The offsets are settings of any size; 64-bit sums keep them from overflowing.
    auto addClamped = [](std::int32_t value, std::int32_t offset) {
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(static_cast<std::int64_t>(value) + offset,
                                                                  -(1 << 20), 1 << 20));
    };
    saturation = addClamped(saturation, adjust.saturationOffset);
    lightness = addClamped(lightness, adjust.lightnessOffset);
    hue = addClamped(hue, adjust.hueShift);

    if (saturation <= 0) {
        blue = green = red = std::clamp(lightness, 0, 255);
        return;
    }
    saturation = std::min(saturation, 255);
    const std::int32_t m2 =
        lightness < 128 ? ((saturation + 255) * lightness) >> 8 : saturation + lightness - ((saturation * lightness) >> 8);
    const std::int32_t m1 = 2 * lightness - m2;
    red = std::clamp(hueValue(hue + 120, m1, m2), 0, 255);
    green = std::clamp(hueValue(hue, m1, m2), 0, 255);
    blue = std::clamp(hueValue(hue - 120, m1, m2), 0, 255);
}

std::int32_t adjustHueSaturation24(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                                   std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                                   std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,
                                   void* context, std::int32_t /*extra*/) {
    if (const HlsAdjust* adjust = kernelParams<HlsAdjust>(context)) {
        adjustPixels<std::uint8_t, 0, 255>(dstBits, srcBits, *rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel,
                                           dstStride, srcStride, *adjust);
    }
    return 1;
}

std::int32_t adjustHueSaturation48(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                                   std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                                   std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,
                                   void* context, std::int32_t /*extra*/) {
    if (const HlsAdjust* adjust = kernelParams<HlsAdjust>(context)) {
        adjustPixels<std::uint16_t, 2, 1023>(dstBits, srcBits, *rect, dstX, dstY, dstBytesPerPixel,
                                             srcBytesPerPixel, dstStride, srcStride, *adjust);
    }
    return 1;
}

} // namespace orvix
