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
#include <optional>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#endif

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

#if ORVIX_HAVE_X86_SIMD
// Eight pixels of the block form at once, in 32-bit lanes, with the same steps.
struct LaneAdjust {
    __m256i lightnessOffset, saturationOffset;
    __m256i base[3], threshold[3];
};

ORVIX_TARGET_AVX2 inline LaneAdjust laneAdjust(const BlockAdjust& adjust) {
    LaneAdjust lanes;
    lanes.lightnessOffset = _mm256_set1_epi32(adjust.lightnessOffset);
    lanes.saturationOffset = _mm256_set1_epi32(adjust.saturationOffset);
    for (int c = 0; c < 3; ++c) {
        lanes.base[c] = _mm256_set1_epi32(adjust.base[c]);
        lanes.threshold[c] = _mm256_set1_epi32(adjust.threshold[c]);
    }
    return lanes;
}

// a < b as a lane mask.
ORVIX_TARGET_AVX2 inline __m256i less(__m256i a, __m256i b) { return _mm256_cmpgt_epi32(b, a); }
ORVIX_TARGET_AVX2 inline __m256i select(__m256i mask, __m256i whenSet, __m256i otherwise) {
    return _mm256_blendv_epi8(otherwise, whenSet, mask);
}
// Truncated quotient of two exact small integers held as floats (see adjustBlock).
ORVIX_TARGET_AVX2 inline __m256i quotient(__m256i numerator, __m256i denominator) {
    return _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(numerator), _mm256_cvtepi32_ps(denominator)));
}

ORVIX_TARGET_AVX2 inline __m256i channelValue(__m256i hue, __m256i base, __m256i threshold, __m256i m1, __m256i span,
                                              __m256i lightness, __m256i gray) {
    const __m256i c60 = _mm256_set1_epi32(60), c180 = _mm256_set1_epi32(180), c240 = _mm256_set1_epi32(240);
    __m256i angle = _mm256_add_epi32(hue, base);
    angle = _mm256_sub_epi32(angle, _mm256_andnot_si256(less(angle, _mm256_set1_epi32(360)), _mm256_set1_epi32(360)));
    __m256i weight = select(less(angle, c240), _mm256_sub_epi32(c240, angle), _mm256_setzero_si256());
    weight = select(less(angle, c180), _mm256_set1_epi32(64), weight);
    weight = select(less(angle, c60), angle, weight);
    weight = _mm256_and_si256(weight, _mm256_cmpgt_epi32(hue, threshold));
    const __m256i value = select(gray, lightness, _mm256_add_epi32(m1, _mm256_srai_epi32(_mm256_mullo_epi32(span, weight), 6)));
    return _mm256_min_epi32(_mm256_max_epi32(value, _mm256_setzero_si256()), _mm256_set1_epi32(255));
}

// Pixels as B | G << 8 | R << 16 in, the same out (the fourth byte zero).
ORVIX_TARGET_AVX2 inline __m256i adjustLanes(__m256i pixels, const LaneAdjust& adjust) {
    const __m256i byteMask = _mm256_set1_epi32(0xFF);
    const __m256i blue = _mm256_and_si256(pixels, byteMask);
    const __m256i green = _mm256_and_si256(_mm256_srli_epi32(pixels, 8), byteMask);
    const __m256i red = _mm256_and_si256(_mm256_srli_epi32(pixels, 16), byteMask);
    const __m256i one = _mm256_set1_epi32(1);
    const __m256i mx = _mm256_max_epi32(blue, _mm256_max_epi32(green, red));
    const __m256i mn = _mm256_min_epi32(blue, _mm256_min_epi32(green, red));
    const __m256i d = _mm256_sub_epi32(mx, mn);
    const __m256i sum = _mm256_add_epi32(mx, mn);
    const __m256i baseLightness = _mm256_srai_epi32(sum, 1);
    const __m256i dark = less(baseLightness, _mm256_set1_epi32(128));
    const __m256i den = _mm256_max_epi32(select(dark, sum, _mm256_sub_epi32(_mm256_set1_epi32(510), sum)), one);
    const __m256i baseSaturation = quotient(_mm256_mullo_epi32(d, _mm256_set1_epi32(255)), den);
    const __m256i redMax = _mm256_cmpeq_epi32(red, mx);
    const __m256i greenMax = _mm256_andnot_si256(redMax, _mm256_cmpeq_epi32(green, mx));
    const __m256i numerator = select(redMax, _mm256_sub_epi32(green, blue),
                                     select(greenMax, _mm256_sub_epi32(blue, red), _mm256_sub_epi32(red, green)));
    const __m256i sector = select(redMax, _mm256_setzero_si256(),
                                  select(greenMax, _mm256_set1_epi32(120), _mm256_set1_epi32(240)));
    __m256i hue = _mm256_add_epi32(sector, quotient(_mm256_slli_epi32(numerator, 6), _mm256_max_epi32(d, one)));
    hue = _mm256_add_epi32(hue, _mm256_and_si256(less(hue, _mm256_setzero_si256()), _mm256_set1_epi32(360)));

    const __m256i lightness = _mm256_add_epi32(baseLightness, adjust.lightnessOffset);
    const __m256i saturationSum = _mm256_add_epi32(baseSaturation, adjust.saturationOffset);
    const __m256i saturation =
        _mm256_min_epi32(_mm256_max_epi32(saturationSum, _mm256_setzero_si256()), _mm256_set1_epi32(255));
    const __m256i darkM2 = _mm256_srai_epi32(_mm256_mullo_epi32(_mm256_add_epi32(saturation, _mm256_set1_epi32(255)), lightness), 8);
    const __m256i lightM2 = _mm256_sub_epi32(_mm256_add_epi32(saturation, lightness),
                                             _mm256_srai_epi32(_mm256_mullo_epi32(saturation, lightness), 8));
    const __m256i m2 = select(less(lightness, _mm256_set1_epi32(128)), darkM2, lightM2);
    const __m256i m1 = _mm256_sub_epi32(_mm256_slli_epi32(lightness, 1), m2);
    const __m256i span = _mm256_sub_epi32(m2, m1);
    const __m256i gray = _mm256_cmpgt_epi32(one, saturationSum); // saturationSum <= 0
    const __m256i r = channelValue(hue, adjust.base[0], adjust.threshold[0], m1, span, lightness, gray);
    const __m256i g = channelValue(hue, adjust.base[1], adjust.threshold[1], m1, span, lightness, gray);
    const __m256i b = channelValue(hue, adjust.base[2], adjust.threshold[2], m1, span, lightness, gray);
    return _mm256_or_si256(b, _mm256_or_si256(_mm256_slli_epi32(g, 8), _mm256_slli_epi32(r, 16)));
}

// Sixteen pixels in 16-bit lanes, for adjustments without a lightness offset and
// with a saturation offset of at most 1000 either way (see halfLanesApply): every
// value then fits 16 bits. Products that need 17 bits are formed as high halves:
// (x * L) >> 8 is the high half of x * (L << 8).
struct HalfLaneAdjust {
    __m256i saturationOffset;
    __m256i base[3], threshold[3];
};

bool halfLanesApply(const BlockAdjust& adjust) {
    return adjust.lightnessOffset == 0 && adjust.saturationOffset >= -1000 && adjust.saturationOffset <= 1000;
}

ORVIX_TARGET_AVX2 inline HalfLaneAdjust halfLaneAdjust(const BlockAdjust& adjust) {
    HalfLaneAdjust lanes;
    lanes.saturationOffset = _mm256_set1_epi16(static_cast<short>(adjust.saturationOffset));
    for (int c = 0; c < 3; ++c) {
        lanes.base[c] = _mm256_set1_epi16(static_cast<short>(adjust.base[c]));
        // Hues are 0..359: a threshold below 0 always passes, one above 359 never.
        lanes.threshold[c] = _mm256_set1_epi16(static_cast<short>(std::clamp(adjust.threshold[c], -1, 360)));
    }
    return lanes;
}

ORVIX_TARGET_AVX2 inline __m256i select16(__m256i mask, __m256i whenSet, __m256i otherwise) {
    return _mm256_blendv_epi8(otherwise, whenSet, mask);
}
ORVIX_TARGET_AVX2 inline __m256i less16(__m256i a, __m256i b) { return _mm256_cmpgt_epi16(b, a); }

// Truncated quotients of 16-bit lanes (numerators signed when `signedNumerator`),
// through floats in two halves, lane order kept.
ORVIX_TARGET_AVX2 inline __m256i quotient16(__m256i numerator, __m256i denominator, bool signedNumerator) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i sign = signedNumerator ? _mm256_srai_epi16(numerator, 15) : zero;
    const __m256i nLow = _mm256_unpacklo_epi16(numerator, sign);
    const __m256i nHigh = _mm256_unpackhi_epi16(numerator, sign);
    const __m256i dLow = _mm256_unpacklo_epi16(denominator, zero);
    const __m256i dHigh = _mm256_unpackhi_epi16(denominator, zero);
    const __m256i qLow = _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(nLow), _mm256_cvtepi32_ps(dLow)));
    const __m256i qHigh = _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(nHigh), _mm256_cvtepi32_ps(dHigh)));
    return _mm256_packs_epi32(qLow, qHigh);
}

ORVIX_TARGET_AVX2 inline __m256i channelValue16(__m256i hue, __m256i base, __m256i threshold, __m256i m1, __m256i span,
                                                __m256i lightness, __m256i gray) {
    __m256i angle = _mm256_add_epi16(hue, base);
    angle = _mm256_sub_epi16(angle, _mm256_andnot_si256(less16(angle, _mm256_set1_epi16(360)), _mm256_set1_epi16(360)));
    __m256i weight = select16(less16(angle, _mm256_set1_epi16(240)), _mm256_sub_epi16(_mm256_set1_epi16(240), angle),
                              _mm256_setzero_si256());
    weight = select16(less16(angle, _mm256_set1_epi16(180)), _mm256_set1_epi16(64), weight);
    weight = select16(less16(angle, _mm256_set1_epi16(60)), angle, weight);
    weight = _mm256_and_si256(weight, _mm256_cmpgt_epi16(hue, threshold));
    const __m256i value =
        select16(gray, lightness, _mm256_add_epi16(m1, _mm256_srai_epi16(_mm256_mullo_epi16(span, weight), 6)));
    return _mm256_min_epi16(_mm256_max_epi16(value, _mm256_setzero_si256()), _mm256_set1_epi16(255));
}

ORVIX_TARGET_AVX2 inline void adjustHalfLanes(__m256i& blue, __m256i& green, __m256i& red, const HalfLaneAdjust& adjust) {
    const __m256i one = _mm256_set1_epi16(1);
    const __m256i mx = _mm256_max_epi16(blue, _mm256_max_epi16(green, red));
    const __m256i mn = _mm256_min_epi16(blue, _mm256_min_epi16(green, red));
    const __m256i d = _mm256_sub_epi16(mx, mn);
    const __m256i sum = _mm256_add_epi16(mx, mn);
    const __m256i lightness = _mm256_srli_epi16(sum, 1);
    const __m256i dark = less16(lightness, _mm256_set1_epi16(128));
    const __m256i den = _mm256_max_epi16(select16(dark, sum, _mm256_sub_epi16(_mm256_set1_epi16(510), sum)), one);
    const __m256i baseSaturation = quotient16(_mm256_mullo_epi16(d, _mm256_set1_epi16(255)), den, false);
    const __m256i redMax = _mm256_cmpeq_epi16(red, mx);
    const __m256i greenMax = _mm256_andnot_si256(redMax, _mm256_cmpeq_epi16(green, mx));
    const __m256i numerator = select16(redMax, _mm256_sub_epi16(green, blue),
                                       select16(greenMax, _mm256_sub_epi16(blue, red), _mm256_sub_epi16(red, green)));
    const __m256i sector = select16(redMax, _mm256_setzero_si256(),
                                    select16(greenMax, _mm256_set1_epi16(120), _mm256_set1_epi16(240)));
    __m256i hue = _mm256_add_epi16(sector, quotient16(_mm256_slli_epi16(numerator, 6), _mm256_max_epi16(d, one), true));
    hue = _mm256_add_epi16(hue, _mm256_and_si256(less16(hue, _mm256_setzero_si256()), _mm256_set1_epi16(360)));

    const __m256i saturationSum = _mm256_add_epi16(baseSaturation, adjust.saturationOffset);
    const __m256i saturation =
        _mm256_min_epi16(_mm256_max_epi16(saturationSum, _mm256_setzero_si256()), _mm256_set1_epi16(255));
    const __m256i darkM2 =
        _mm256_mulhi_epu16(_mm256_add_epi16(saturation, _mm256_set1_epi16(255)), _mm256_slli_epi16(lightness, 8));
    const __m256i lightM2 = _mm256_sub_epi16(_mm256_add_epi16(saturation, lightness),
                                             _mm256_srli_epi16(_mm256_mullo_epi16(saturation, lightness), 8));
    const __m256i m2 = select16(dark, darkM2, lightM2);
    const __m256i m1 = _mm256_sub_epi16(_mm256_slli_epi16(lightness, 1), m2);
    const __m256i span = _mm256_sub_epi16(m2, m1);
    const __m256i gray = _mm256_cmpgt_epi16(one, saturationSum);
    red = channelValue16(hue, adjust.base[0], adjust.threshold[0], m1, span, lightness, gray);
    green = channelValue16(hue, adjust.base[1], adjust.threshold[1], m1, span, lightness, gray);
    blue = channelValue16(hue, adjust.base[2], adjust.threshold[2], m1, span, lightness, gray);
}

// Two registers of eight B | G << 8 | R << 16 pixels through the 16-bit lanes (the
// channels packed in a lane order that the unpacking at the end reverses).
ORVIX_TARGET_AVX2 inline void adjustSixteen(__m256i& first, __m256i& second, const HalfLaneAdjust& adjust) {
    const __m256i byteMask = _mm256_set1_epi32(0xFF);
    __m256i blue = _mm256_packus_epi32(_mm256_and_si256(first, byteMask), _mm256_and_si256(second, byteMask));
    __m256i green = _mm256_packus_epi32(_mm256_and_si256(_mm256_srli_epi32(first, 8), byteMask),
                                        _mm256_and_si256(_mm256_srli_epi32(second, 8), byteMask));
    __m256i red = _mm256_packus_epi32(_mm256_srli_epi32(first, 16), _mm256_srli_epi32(second, 16));
    adjustHalfLanes(blue, green, red, adjust);
    const __m256i blueGreen = _mm256_or_si256(blue, _mm256_slli_epi16(green, 8));
    first = _mm256_unpacklo_epi16(blueGreen, red);
    second = _mm256_unpackhi_epi16(blueGreen, red);
}

// The pixels of a 24- or 32-bit row, eight at a time while whole 32-byte loads stay
// inside the row; returns how many pixels were done.
ORVIX_TARGET_AVX2 std::int32_t adjustRowStepsAvx2(const std::uint8_t* in, std::uint8_t* out, std::int32_t width,
                                                  int bytesPerPixel, const BlockAdjust& block) {
    const LaneAdjust adjust = laneAdjust(block);
    const bool half = halfLanesApply(block);
    const HalfLaneAdjust halfAdjust = halfLaneAdjust(block);
    std::int32_t k = 0;
    if (bytesPerPixel == 4) {
        const __m256i keep = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
        for (; half && k + 16 <= width; k += 16) {
            const __m256i x0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 4 * k));
            const __m256i x1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 4 * k + 32));
            __m256i p0 = _mm256_andnot_si256(keep, x0);
            __m256i p1 = _mm256_andnot_si256(keep, x1);
            adjustSixteen(p0, p1, halfAdjust);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * k), _mm256_or_si256(p0, _mm256_and_si256(x0, keep)));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * k + 32), _mm256_or_si256(p1, _mm256_and_si256(x1, keep)));
        }
        for (; k + 8 <= width; k += 8) {
            const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 4 * k));
            const __m256i adjusted = adjustLanes(_mm256_andnot_si256(keep, x), adjust);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * k), _mm256_or_si256(adjusted, _mm256_and_si256(x, keep)));
        }
        return k;
    }
    // 24 bytes of eight pixels: four pixels per 128-bit half, widened to 32-bit lanes.
    const __m256i spread = _mm256_setr_epi32(0, 1, 2, 2, 3, 4, 5, 5);
    const __m256i widen = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1, 0, 1, 2, -1, 3, 4, 5, -1,
                                           6, 7, 8, -1, 9, 10, 11, -1);
    const __m256i narrow = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0, 1, 2, 4, 5, 6, 8,
                                            9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m256i gather = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7);
    for (; half && k + 19 <= width; k += 16) { // 32-byte loads from pixels k and k + 8 stay in the row
        const std::uint8_t* p = in + 3 * k;
        __m256i p0 = _mm256_shuffle_epi8(
            _mm256_permutevar8x32_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), spread), widen);
        __m256i p1 = _mm256_shuffle_epi8(
            _mm256_permutevar8x32_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 24)), spread), widen);
        adjustSixteen(p0, p1, halfAdjust);
        const __m256i packed0 = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(p0, narrow), gather);
        const __m256i packed1 = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(p1, narrow), gather);
        std::uint8_t* q = out + 3 * k;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(q), _mm256_castsi256_si128(packed0));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(q + 16), _mm256_extracti128_si256(packed0, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(q + 24), _mm256_castsi256_si128(packed1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(q + 40), _mm256_extracti128_si256(packed1, 1));
    }
    for (; k + 11 <= width; k += 8) { // a 32-byte load from pixel k stays in the row
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 3 * k));
        const __m256i pixels = _mm256_shuffle_epi8(_mm256_permutevar8x32_epi32(x, spread), widen);
        const __m256i packed = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(adjustLanes(pixels, adjust), narrow), gather);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * k), _mm256_castsi256_si128(packed));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 3 * k + 16), _mm256_extracti128_si256(packed, 1));
    }
    return k;
}

// A row's steps leave at most 10 pixels of 3 bytes or 7 of 4 bytes; over a row of
// 19 or 16 such pixels they do 16.
inline constexpr std::size_t kTailBytes = 64;

// The whole of a 24- or 32-bit row: the steps, then the pixels they leave over
// through the same steps in a copy padded with zeros (each pixel is adjusted on its
// own, so the padding changes nothing), copied back. In place as well.
ORVIX_TARGET_AVX2 void adjustRowAvx2(const std::uint8_t* in, std::uint8_t* out, std::int32_t width, int bytesPerPixel,
                                     const BlockAdjust& block) {
    const std::int32_t done = adjustRowStepsAvx2(in, out, width, bytesPerPixel, block);
    const std::int32_t left = width - done;
    if (left <= 0) return;
    std::uint8_t tail[kTailBytes] = {};
    const std::size_t offset = static_cast<std::size_t>(done) * static_cast<std::size_t>(bytesPerPixel);
    const std::size_t bytes = static_cast<std::size_t>(left) * static_cast<std::size_t>(bytesPerPixel);
    std::memcpy(tail, in + offset, bytes);
    const std::int32_t tailWidth = bytesPerPixel == 3 ? 19 : 16;
    (void)adjustRowStepsAvx2(tail, tail, tailWidth, bytesPerPixel, block);
    std::memcpy(out + offset, tail, bytes);
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
    const bool blocks = blockFormApplies(adjust);
    const BlockAdjust block = blockAdjust(adjust);
    const BlockFunction adjustRun = blockFunction(true);
    // The explicit eight-pixel form for 24- and 32-bit rows.
    bool rowsAvx2 = false;
#if ORVIX_HAVE_X86_SIMD
    rowsAvx2 = blocks && sizeof(Sample) == 1 && srcBytesPerPixel == dstBytesPerPixel &&
               (srcBytesPerPixel == 3 || srcBytesPerPixel == 4) && detail::avx2Usable();
#endif
    // The tables of the per-pixel form, which the AVX2 rows do not read.
    std::optional<PreparedAdjust> prepared;
    if (!rowsAvx2) prepared.emplace(adjust);
    for (std::int32_t j = 0; j < rect.height(); ++j) {
        const std::uint8_t* in = srcBits + static_cast<std::ptrdiff_t>(rect.top + j) * srcStride +
                                 static_cast<std::ptrdiff_t>(rect.left) * srcBytesPerPixel;
        std::uint8_t* out = dstBits + static_cast<std::ptrdiff_t>(dstY + j) * dstStride +
                            static_cast<std::ptrdiff_t>(dstX) * dstBytesPerPixel;
        std::int32_t k = 0;
#if ORVIX_HAVE_X86_SIMD
        if (rowsAvx2) {
            adjustRowAvx2(in, out, rect.width(), srcBytesPerPixel, block);
            continue;
        }
#endif
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
            adjustPixel(bgr, *prepared);
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
