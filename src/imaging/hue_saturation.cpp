// Hue and saturation kernels. adjustHls is the plain per-pixel rule; the kernels
// give the same bytes faster. Runs of 16 pixels go through a lane form without
// branches or table reads that the compiler vectorises (with AVX2 where the
// processor has it); the rest of a row, and adjustments with offsets beyond any
// sensible range, take a per-pixel form with the per-adjustment work done once per
// call (adjusted saturation and lightness by value, channel weights by hue) and the
// divisions done as multiplications by exact reciprocals.

#include "imaging/hue_saturation.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "imaging/demosaic_internal.h"
#include "imaging/simd_target.h"

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

// Offsets up to this size never reach the bound of the offset sums for channels and
// hues 0..359, so the block form below may drop those clamps.
constexpr std::int32_t kBlockOffsetLimit = 1 << 19;

bool blockFormApplies(const HlsAdjust& adjust) {
    auto small = [](std::int32_t v) { return v >= -kBlockOffsetLimit && v <= kBlockOffsetLimit; };
    return small(adjust.hueShift) && small(adjust.lightnessOffset) && small(adjust.saturationOffset);
}

// The block form's per-call constants: for each channel (hue offset +120, 0, -120
// with the shift), the angle (hue + shift + k) mod 360 is hue + base, less 360 when
// that reaches 360; and the weight is 0 whenever hue + shift + k <= 0 (there x % 360
// is at most 0, which gives m1 in adjustHls).
struct BlockAdjust {
    std::int32_t lightnessOffset;
    std::int32_t saturationOffset;
    std::int32_t base[3];      // red, green, blue
    std::int32_t threshold[3]; // weight 0 unless hue > threshold
};

BlockAdjust blockAdjust(const HlsAdjust& adjust) {
    BlockAdjust block{adjust.lightnessOffset, adjust.saturationOffset, {}, {}};
    const std::int32_t channelOffsets[3] = {120, 0, -120};
    for (int c = 0; c < 3; ++c) {
        // Meaningful only where the block form applies; 64 bits keep any setting defined.
        const std::int64_t shift = std::int64_t{adjust.hueShift} + channelOffsets[c];
        block.base[c] = static_cast<std::int32_t>(((shift % 360) + 360) % 360);
        block.threshold[c] = static_cast<std::int32_t>(std::clamp<std::int64_t>(-shift, INT32_MIN, INT32_MAX));
    }
    return block;
}

constexpr int kBlock = 16;

// kBlock pixels at a time in plain lanes without branches or table reads, so the
// compiler can vectorise it. The divisions are done in single precision: for
// numerators below 2^16 and divisors up to 510 a quotient just below a whole number k
// lies at least 1/d below it, far more than the rounding error, so truncation gives
// the integer quotient.
// Inlined into each caller, so every caller's instruction set shapes the code.
__attribute__((always_inline)) inline void adjustBlock(std::int32_t (&b)[kBlock], std::int32_t (&g)[kBlock],
                                                       std::int32_t (&r)[kBlock], const BlockAdjust& adjust) {
    for (int i = 0; i < kBlock; ++i) {
        const std::int32_t blue = b[i];
        const std::int32_t green = g[i];
        const std::int32_t red = r[i];
        const std::int32_t mx = std::max(blue, std::max(green, red));
        const std::int32_t mn = std::min(blue, std::min(green, red));
        const std::int32_t d = mx - mn;
        const std::int32_t sum = mx + mn;
        const std::int32_t baseLightness = sum >> 1;
        const std::int32_t den = std::max(baseLightness < 128 ? sum : 510 - sum, 1);
        const std::int32_t baseSaturation =
            static_cast<std::int32_t>(static_cast<float>(d * 255) / static_cast<float>(den));
        const bool redMax = red == mx;
        const bool greenMax = !redMax && green == mx;
        const std::int32_t numerator = redMax ? green - blue : (greenMax ? blue - red : red - green);
        const std::int32_t sector = redMax ? 0 : (greenMax ? 120 : 240);
        std::int32_t hue = sector + static_cast<std::int32_t>(static_cast<float>(numerator * 64) /
                                                              static_cast<float>(std::max(d, 1)));
        hue += hue < 0 ? 360 : 0;

        const std::int32_t lightness = baseLightness + adjust.lightnessOffset;
        const std::int32_t saturationSum = baseSaturation + adjust.saturationOffset;
        const std::int32_t saturation = std::min(std::max(saturationSum, 0), 255);
        const std::int32_t darkM2 = ((saturation + 255) * lightness) >> 8;
        const std::int32_t lightM2 = saturation + lightness - ((saturation * lightness) >> 8);
        const std::int32_t m2 = lightness < 128 ? darkM2 : lightM2;
        const std::int32_t m1 = 2 * lightness - m2;
        const std::int32_t span = m2 - m1;
        auto channel = [&](int c) {
            std::int32_t angle = hue + adjust.base[c];
            angle -= angle >= 360 ? 360 : 0;
            std::int32_t weight = angle < 60 ? angle : (angle < 180 ? 64 : (angle < 240 ? 240 - angle : 0));
            weight = hue > adjust.threshold[c] ? weight : 0;
            return clampByte(saturationSum <= 0 ? lightness : m1 + ((span * weight) >> 6));
        };
        const std::int32_t out[3] = {channel(0), channel(1), channel(2)};
        r[i] = out[0];
        g[i] = out[1];
        b[i] = out[2];
    }
}

using BlockFunction = void (*)(std::int32_t (&)[kBlock], std::int32_t (&)[kBlock], std::int32_t (&)[kBlock],
                               const BlockAdjust&);

void adjustBlockBaseline(std::int32_t (&b)[kBlock], std::int32_t (&g)[kBlock], std::int32_t (&r)[kBlock],
                         const BlockAdjust& adjust) {
    adjustBlock(b, g, r, adjust);
}

#if ORVIX_HAVE_X86_SIMD
ORVIX_TARGET_AVX2 void adjustBlockAvx2(std::int32_t (&b)[kBlock], std::int32_t (&g)[kBlock], std::int32_t (&r)[kBlock],
                                       const BlockAdjust& adjust) {
    adjustBlock(b, g, r, adjust);
}
#endif

BlockFunction blockFunction(bool allowAvx2) {
#if ORVIX_HAVE_X86_SIMD
    if (allowAvx2 && detail::avx2Usable()) return adjustBlockAvx2;
#endif
    (void)allowAvx2;
    return adjustBlockBaseline;
}

template <typename Sample, int Shift, std::int32_t MaxInput>
void adjustPixels(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect& rect, std::int32_t dstX,
                  std::int32_t dstY, std::uint16_t dstBytesPerPixel, std::uint16_t srcBytesPerPixel,
                  std::uint32_t dstStride, std::uint32_t srcStride, const HlsAdjust& adjust) {
    auto load = [](const std::uint8_t* pixel, int c) {
        Sample v;
        std::memcpy(&v, pixel + c * static_cast<int>(sizeof(Sample)), sizeof v);
        return std::min<std::int32_t>(v, MaxInput) >> Shift;
    };
    auto store = [](std::uint8_t* pixel, int c, std::int32_t v) {
        const Sample sample = static_cast<Sample>(v << Shift);
        std::memcpy(pixel + c * static_cast<int>(sizeof(Sample)), &sample, sizeof sample);
    };
    const PreparedAdjust prepared(adjust);
    const bool blocks = blockFormApplies(adjust);
    const BlockAdjust block = blockAdjust(adjust);
    const BlockFunction adjustRun = blockFunction(true);
    for (std::int32_t j = 0; j < rect.height(); ++j) {
        const std::uint8_t* in = srcBits + static_cast<std::ptrdiff_t>(rect.top + j) * srcStride +
                                 static_cast<std::ptrdiff_t>(rect.left) * srcBytesPerPixel;
        std::uint8_t* out = dstBits + static_cast<std::ptrdiff_t>(dstY + j) * dstStride +
                            static_cast<std::ptrdiff_t>(dstX) * dstBytesPerPixel;
        std::int32_t k = 0;
        if (blocks) {
            for (; k + kBlock <= rect.width(); k += kBlock) {
                std::int32_t b[kBlock], g[kBlock], r[kBlock];
                for (int i = 0; i < kBlock; ++i) {
                    const std::uint8_t* pixel = in + static_cast<std::ptrdiff_t>(k + i) * srcBytesPerPixel;
                    b[i] = load(pixel, 0);
                    g[i] = load(pixel, 1);
                    r[i] = load(pixel, 2);
                }
                adjustRun(b, g, r, block);
                for (int i = 0; i < kBlock; ++i) {
                    std::uint8_t* pixel = out + static_cast<std::ptrdiff_t>(k + i) * dstBytesPerPixel;
                    store(pixel, 0, b[i]);
                    store(pixel, 1, g[i]);
                    store(pixel, 2, r[i]);
                }
            }
        }
        for (; k < rect.width(); ++k) {
            const std::uint8_t* pixelIn = in + static_cast<std::ptrdiff_t>(k) * srcBytesPerPixel;
            std::int32_t bgr[3] = {load(pixelIn, 0), load(pixelIn, 1), load(pixelIn, 2)};
            adjustPixel(bgr, prepared);
            std::uint8_t* pixelOut = out + static_cast<std::ptrdiff_t>(k) * dstBytesPerPixel;
            for (int c = 0; c < 3; ++c) store(pixelOut, c, bgr[c]);
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

namespace detail {

void adjustHueSaturationLanes(std::int32_t (&blue)[16], std::int32_t (&green)[16], std::int32_t (&red)[16],
                              const HlsAdjust& adjust, bool allowAvx2) {
    static_assert(kBlock == 16, "the lane form works on 16 pixels");
    if (!blockFormApplies(adjust)) {
        for (int i = 0; i < kBlock; ++i) adjustHls(blue[i], green[i], red[i], adjust);
        return;
    }
    blockFunction(allowAvx2)(blue, green, red, blockAdjust(adjust));
}

} // namespace detail

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
