// The 8-pixel demosaic loop with the 64-bit multimedia registers. It follows the
// same column plan as the 16-pixel loops (two 8-pixel steps per 16 columns), so
// the kernel built on it gives exactly their pixels. See demosaic_sse_rows.inc for
// how the even and odd lanes map onto the 9/3/3/1 sums.

#include "imaging/simd_target.h"

#if ORVIX_HAVE_X86_SIMD

#include <mmintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "imaging/demosaic_internal.h"

namespace orvix::detail {
namespace {

ORVIX_TARGET_MMX inline __m64 load8(const std::uint8_t* p) {
    __m64 value;
    std::memcpy(&value, p, sizeof value);
    return value;
}
ORVIX_TARGET_MMX inline void store8(std::uint8_t* p, __m64 value) { std::memcpy(p, &value, sizeof value); }
ORVIX_TARGET_MMX inline __m64 evenBytes(__m64 x) { return _mm_and_si64(x, _mm_set1_pi16(0x00FF)); }
ORVIX_TARGET_MMX inline __m64 oddBytes(__m64 x) { return _mm_srli_pi16(x, 8); }
ORVIX_TARGET_MMX inline __m64 times3Plus(__m64 a, __m64 b) {
    return _mm_add_pi16(_mm_add_pi16(a, _mm_slli_pi16(a, 1)), b);
}
// ((S >> 4) x k) >> 7 in 16 bits, packed to bytes with saturation (low four bytes).
ORVIX_TARGET_MMX inline __m64 applyGainPacked(__m64 sum, __m64 gain) {
    const __m64 scaled = _mm_srli_pi16(_mm_mullo_pi16(_mm_srli_pi16(sum, 4), gain), 7);
    return _mm_packs_pu16(scaled, _mm_setzero_si64());
}

// Writes 8 pixels (24 bytes) from the even and odd sets (bytes in the low halves).
ORVIX_TARGET_MMX inline void storePixels(std::uint8_t* out, __m64 blueEven, __m64 greenEven, __m64 redEven,
                                         __m64 blueOdd, __m64 greenOdd, __m64 redOdd) {
    const __m64 zero = _mm_setzero_si64();
    const __m64 word0 = _mm_unpacklo_pi8(blueEven, greenEven);
    const __m64 word1 = _mm_unpacklo_pi8(redEven, blueOdd);
    const __m64 word2 = _mm_unpacklo_pi8(greenOdd, redOdd);
    const __m64 w01Low = _mm_unpacklo_pi16(word0, word1);
    const __m64 w01High = _mm_unpackhi_pi16(word0, word1);
    const __m64 w2Low = _mm_unpacklo_pi16(word2, zero);
    const __m64 w2High = _mm_unpackhi_pi16(word2, zero);
    // One pair (six bytes, two zero bytes on top) per register.
    const __m64 pair0 = _mm_unpacklo_pi32(w01Low, w2Low);
    const __m64 pair1 = _mm_unpackhi_pi32(w01Low, w2Low);
    const __m64 pair2 = _mm_unpacklo_pi32(w01High, w2High);
    const __m64 pair3 = _mm_unpackhi_pi32(w01High, w2High);
    store8(out, _mm_or_si64(pair0, _mm_slli_si64(pair1, 48)));
    store8(out + 8, _mm_or_si64(_mm_srli_si64(pair1, 16), _mm_slli_si64(pair2, 32)));
    store8(out + 16, _mm_or_si64(_mm_srli_si64(pair2, 32), _mm_slli_si64(pair3, 16)));
}

} // namespace

ORVIX_TARGET_MMX void demosaicRowsMmx(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect& rect,
                                      std::int32_t dstX, std::int32_t dstY, std::uint32_t dstStride,
                                      std::uint32_t srcStride, std::int32_t bayerMode, VectorGains gains) {
    const VectorColumnPlan plan = vectorColumnPlan(rect.width(), bayerMode);
    if (plan.vectorCount == 0) {
        return;
    }
    const std::int32_t steps = 2 * plan.vectorCount;
    const std::int32_t height = rect.height();
    const __m64 gainBlue = _mm_set1_pi16(static_cast<short>(gains.blue));
    const __m64 gainRed = _mm_set1_pi16(static_cast<short>(gains.red));

    for (std::int32_t j = 2; j <= height - 3; ++j) {
        const DemosaicRowSet rows = demosaicRowSet(srcBits, rect, srcStride, j, bayerMode);
        const std::uint8_t* blue3 = rows.blue3;
        const std::uint8_t* blue1 = rows.blue1;
        const std::uint8_t* red3 = rows.red3;
        const std::uint8_t* red1 = rows.red1;
        const std::uint8_t* greenEven = rows.greenEven;
        const std::uint8_t* greenOdd = rows.greenOdd;

        std::uint8_t* out = dstBits + static_cast<std::ptrdiff_t>(dstY + j) * dstStride +
                            static_cast<std::ptrdiff_t>(dstX + plan.firstColumn) * 3;
        std::int32_t c = plan.firstColumn;
        for (std::int32_t v = 0; v < steps; ++v, c += 8, out += 24) {
            const __m64 vBlue = times3Plus(oddBytes(load8(blue3 + c)), oddBytes(load8(blue1 + c)));
            const __m64 vBlueLeft = times3Plus(oddBytes(load8(blue3 + c - 2)), oddBytes(load8(blue1 + c - 2)));
            const __m64 vRedLeft = times3Plus(evenBytes(load8(red3 + c - 2)), evenBytes(load8(red1 + c - 2)));
            const __m64 vRed = times3Plus(evenBytes(load8(red3 + c)), evenBytes(load8(red1 + c)));
            const __m64 vRedRight = times3Plus(evenBytes(load8(red3 + c + 2)), evenBytes(load8(red1 + c + 2)));

            const __m64 gEven = evenBytes(load8(greenEven + c));
            const __m64 greenEvenPixels = _mm_srli_pi16(_mm_add_pi16(oddBytes(load8(greenOdd + c - 2)), gEven), 1);
            const __m64 greenOddPixels = _mm_srli_pi16(_mm_add_pi16(gEven, oddBytes(load8(greenOdd + c))), 1);

            const __m64 zero = _mm_setzero_si64();
            storePixels(out, applyGainPacked(times3Plus(vBlueLeft, vBlue), gainBlue),
                        _mm_packs_pu16(greenEvenPixels, zero), applyGainPacked(times3Plus(vRed, vRedLeft), gainRed),
                        applyGainPacked(times3Plus(vBlue, vBlueLeft), gainBlue), _mm_packs_pu16(greenOddPixels, zero),
                        applyGainPacked(times3Plus(vRed, vRedRight), gainRed));
        }
    }
    _mm_empty();
}

} // namespace orvix::detail

#endif
