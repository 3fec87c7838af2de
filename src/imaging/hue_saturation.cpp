// Hue and saturation kernels. adjustHls is the plain per-pixel rule; the kernels
// give the same bytes with the per-adjustment work done once per call (adjusted
// saturation and lightness by value, channel weights by hue) and the divisions done
// as multiplications by exact reciprocals.

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

// Offsets are settings of any size; sums are formed in 64 bits and kept within this
// bound, so nothing downstream overflows.
constexpr std::int64_t kOffsetSumBound = 1 << 20;

std::int32_t addClamped(std::int32_t value, std::int32_t offset) {
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(static_cast<std::int64_t>(value) + offset, -kOffsetSumBound, kOffsetSumBound));
}

// Quotients n / d for 0 <= n < 2^16 and 1 <= d <= 510 by one multiply: with
// r = ceil(2^32 / d), n x r / 2^32 exceeds n / d by less than n / 2^32 < 1 / d, so the
// integer part is exact.
struct Reciprocals {
    std::uint64_t of[511] = {};
};

constexpr Reciprocals makeReciprocals() {
    Reciprocals table;
    for (std::uint64_t d = 1; d < 511; ++d) {
        table.of[d] = ((std::uint64_t{1} << 32) + d - 1) / d;
    }
    return table;
}

constexpr Reciprocals kReciprocals = makeReciprocals();

inline std::int32_t quotient(std::int32_t n, std::int32_t d) {
    return static_cast<std::int32_t>((static_cast<std::uint64_t>(n) * kReciprocals.of[d]) >> 32);
}

// Signed numerator, truncating toward zero (without a branch on the sign).
inline std::int32_t signedQuotient(std::int32_t n, std::int32_t d) {
    const std::int32_t sign = n < 0 ? -1 : 0;
    const std::int32_t q = quotient((n ^ sign) - sign, d);
    return (q ^ sign) - sign;
}

// Weight of m2 against m1 (0..64) of the channel value at hue angle x.
std::uint8_t hueWeight(std::int32_t x) {
    const std::int32_t angle = x % 360;
    if (angle < 0) return 0;
    if (angle < 60) return static_cast<std::uint8_t>(angle);
    if (angle < 180) return 64;
    if (angle < 240) return static_cast<std::uint8_t>(240 - angle);
    return 0;
}

// Everything of one adjustment that does not depend on the pixel: the adjusted
// saturation and lightness of every unadjusted value, and the channel weights of
// every unadjusted hue (0..359). A channel is m1 + (((m2 - m1) x weight) >> 6), which
// is m1 at weight 0 and m2 at weight 64.
struct PreparedAdjust {
    std::int32_t saturation[256];
    std::int32_t lightness[256];
    std::uint8_t redWeight[360];
    std::uint8_t greenWeight[360];
    std::uint8_t blueWeight[360];

    explicit PreparedAdjust(const HlsAdjust& adjust) {
        for (std::int32_t v = 0; v < 256; ++v) {
            saturation[v] = addClamped(v, adjust.saturationOffset);
            lightness[v] = addClamped(v, adjust.lightnessOffset);
        }
        for (std::int32_t h = 0; h < 360; ++h) {
            const std::int32_t hue = addClamped(h, adjust.hueShift);
            redWeight[h] = hueWeight(hue + 120);
            greenWeight[h] = hueWeight(hue);
            blueWeight[h] = hueWeight(hue - 120);
        }
    }
};

inline std::int32_t clampByte(std::int32_t v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

// The same result as adjustHls for channels 0..255, written so that the compiler can
// use selects where adjustHls branches on the pixel. A gray pixel (mx = mn) needs no
// case of its own: a zero numerator gives saturation 0 and hue 0, and the
// reciprocal of 0 is 0.
inline void adjustPixel(std::int32_t bgr[3], const PreparedAdjust& prepared) {
    const std::int32_t blue = bgr[0];
    const std::int32_t green = bgr[1];
    const std::int32_t red = bgr[2];
    const std::int32_t mx = std::max(blue, std::max(green, red));
    const std::int32_t mn = std::min(blue, std::min(green, red));
    const std::int32_t d = mx - mn;
    const std::int32_t baseLightness = (mx + mn) >> 1;
    const std::int32_t baseSaturation = quotient(d * 255, baseLightness < 128 ? mx + mn : 510 - mx - mn);
    const bool redMax = red == mx;
    const bool greenMax = !redMax && green == mx;
    const std::int32_t numerator = redMax ? green - blue : (greenMax ? blue - red : red - green);
    const std::int32_t sector = redMax ? 0 : (greenMax ? 120 : 240);
    std::int32_t hue = sector + signedQuotient(numerator * 64, d);
    hue += hue < 0 ? 360 : 0; // only the red sector reaches below 0, none reaches 360

    const std::int32_t lightness = prepared.lightness[baseLightness];
    std::int32_t saturation = prepared.saturation[baseSaturation];
    if (saturation <= 0) {
        bgr[0] = bgr[1] = bgr[2] = clampByte(lightness);
        return;
    }
    saturation = std::min(saturation, 255);
    const std::int32_t darkM2 = ((saturation + 255) * lightness) >> 8;
    const std::int32_t lightM2 = saturation + lightness - ((saturation * lightness) >> 8);
    const std::int32_t m2 = lightness < 128 ? darkM2 : lightM2;
    const std::int32_t m1 = 2 * lightness - m2;
    const std::int32_t span = m2 - m1;
    bgr[2] = clampByte(m1 + ((span * prepared.redWeight[hue]) >> 6));
    bgr[1] = clampByte(m1 + ((span * prepared.greenWeight[hue]) >> 6));
    bgr[0] = clampByte(m1 + ((span * prepared.blueWeight[hue]) >> 6));
}

template <typename Sample, int Shift, std::int32_t MaxInput>
void adjustPixels(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect& rect, std::int32_t dstX,
                  std::int32_t dstY, std::uint16_t dstBytesPerPixel, std::uint16_t srcBytesPerPixel,
                  std::uint32_t dstStride, std::uint32_t srcStride, const HlsAdjust& adjust) {
    const PreparedAdjust prepared(adjust);
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
            adjustPixel(bgr, prepared);
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
