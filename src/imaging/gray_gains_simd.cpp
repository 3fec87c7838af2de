// Vectorised gray-gain kernels. Per lane: q = (s x gain) >> 7 from the 32-bit
// product (low and high halves of the 16 x 16 multiply), exact while the gain is at
// most 16448 (q then fits in 15 bits); the offset, saturated to 16 bits, is added
// with signed saturation and the sum packed to 0..255 with saturation. That equals
// offset + (s x gain) / 128 limited to 0..255 for every sample.

#include "imaging/simd_target.h"

#if ORVIX_HAVE_X86_SIMD

#include <emmintrin.h>
#include <mmintrin.h>

#include <algorithm>
#include <cstring>

#include "imaging/gray_gains_internal.h"

namespace orvix {
namespace {

inline short saturate16(std::int32_t value) {
    return static_cast<short>(std::clamp<std::int32_t>(value, -32768, 32767));
}

ORVIX_TARGET_SSE2 inline __m128i scaleLanes(__m128i samples, __m128i gains, __m128i offsets) {
    const __m128i low = _mm_mullo_epi16(samples, gains);
    const __m128i high = _mm_mulhi_epu16(samples, gains);
    const __m128i scaled = _mm_or_si128(_mm_slli_epi16(high, 9), _mm_srli_epi16(low, 7));
    return _mm_adds_epi16(scaled, offsets);
}

ORVIX_TARGET_SSE2 void grayGainsRowsSse2(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect& rect,
                                         std::int32_t dstX, std::int32_t dstY, std::uint32_t dstStride,
                                         std::uint32_t srcStride, const GrayGainParams& params) {
    const std::int32_t width = rect.width();
    const std::int32_t vectorEnd = width - width % 16;
    const __m128i zero = _mm_setzero_si128();
    for (std::int32_t j = 0; j < rect.height(); ++j) {
        const detail::GrayRowSites sites = detail::grayRowSites(params, j);
        const std::uint8_t* in = srcBits + static_cast<std::ptrdiff_t>(rect.top + j) * srcStride + rect.left;
        std::uint8_t* out = dstBits + static_cast<std::ptrdiff_t>(dstY + j) * dstStride + dstX;
        const __m128i gains = _mm_setr_epi16(
            static_cast<short>(sites.gain[0]), static_cast<short>(sites.gain[1]), static_cast<short>(sites.gain[0]),
            static_cast<short>(sites.gain[1]), static_cast<short>(sites.gain[0]), static_cast<short>(sites.gain[1]),
            static_cast<short>(sites.gain[0]), static_cast<short>(sites.gain[1]));
        const short offsetEven = saturate16(sites.offset[0]);
        const short offsetOdd = saturate16(sites.offset[1]);
        const __m128i offsets = _mm_setr_epi16(offsetEven, offsetOdd, offsetEven, offsetOdd, offsetEven, offsetOdd,
                                               offsetEven, offsetOdd);
        for (std::int32_t k = 0; k < vectorEnd; k += 16) {
            const __m128i samples = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + k));
            const __m128i low = scaleLanes(_mm_unpacklo_epi8(samples, zero), gains, offsets);
            const __m128i high = scaleLanes(_mm_unpackhi_epi8(samples, zero), gains, offsets);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), _mm_packus_epi16(low, high));
        }
        detail::applyGrayGainsRow(out, in, vectorEnd, width, 1, 1, sites);
    }
}

ORVIX_TARGET_MMX inline __m64 scaleLanesMmx(__m64 samples, __m64 gains, __m64 offsets) {
    // Samples and gains are below 32768, so the signed high half is the unsigned one.
    const __m64 low = _mm_mullo_pi16(samples, gains);
    const __m64 high = _mm_mulhi_pi16(samples, gains);
    const __m64 scaled = _mm_or_si64(_mm_slli_pi16(high, 9), _mm_srli_pi16(low, 7));
    return _mm_adds_pi16(scaled, offsets);
}

ORVIX_TARGET_MMX void grayGainsRowsMmx(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect& rect,
                                       std::int32_t dstX, std::int32_t dstY, std::uint32_t dstStride,
                                       std::uint32_t srcStride, const GrayGainParams& params) {
    const std::int32_t width = rect.width();
    const std::int32_t vectorEnd = width - width % 8;
    const __m64 zero = _mm_setzero_si64();
    for (std::int32_t j = 0; j < rect.height(); ++j) {
        const detail::GrayRowSites sites = detail::grayRowSites(params, j);
        const std::uint8_t* in = srcBits + static_cast<std::ptrdiff_t>(rect.top + j) * srcStride + rect.left;
        std::uint8_t* out = dstBits + static_cast<std::ptrdiff_t>(dstY + j) * dstStride + dstX;
        const __m64 gains = _mm_setr_pi16(static_cast<short>(sites.gain[0]), static_cast<short>(sites.gain[1]),
                                          static_cast<short>(sites.gain[0]), static_cast<short>(sites.gain[1]));
        const short offsetEven = saturate16(sites.offset[0]);
        const short offsetOdd = saturate16(sites.offset[1]);
        const __m64 offsets = _mm_setr_pi16(offsetEven, offsetOdd, offsetEven, offsetOdd);
        for (std::int32_t k = 0; k < vectorEnd; k += 8) {
            __m64 samples;
            std::memcpy(&samples, in + k, sizeof samples);
            const __m64 low = scaleLanesMmx(_mm_unpacklo_pi8(samples, zero), gains, offsets);
            const __m64 high = scaleLanesMmx(_mm_unpackhi_pi8(samples, zero), gains, offsets);
            const __m64 result = _mm_packs_pu16(low, high);
            std::memcpy(out + k, &result, sizeof result);
        }
        _mm_empty();
        detail::applyGrayGainsRow(out, in, vectorEnd, width, 1, 1, sites);
    }
}

using GrayRows = void (*)(std::uint8_t*, const std::uint8_t*, const KernelRect&, std::int32_t, std::int32_t,
                          std::uint32_t, std::uint32_t, const GrayGainParams&);

std::int32_t runVectorGrayGains(GrayRows rows, std::uint8_t* dstBits, const std::uint8_t* srcBits,
                                const KernelRect* rect, std::int32_t dstX, std::int32_t dstY,
                                std::uint16_t dstBytesPerPixel, std::uint16_t srcBytesPerPixel,
                                std::uint32_t dstStride, std::uint32_t srcStride, void* context) {
    const GrayGainParams* params = kernelParams<GrayGainParams>(context);
    if (!params) {
        return 1;
    }
    if (!detail::vectorGrayGainsApply(dstBytesPerPixel, srcBytesPerPixel, *params)) {
        return applyGrayGains8(dstBits, srcBits, rect, dstX, dstY, dstBytesPerPixel, srcBytesPerPixel, dstStride,
                               srcStride, context, 0);
    }
    rows(dstBits, srcBits, *rect, dstX, dstY, dstStride, srcStride, *params);
    return 1;
}

} // namespace

std::int32_t applyGrayGains8Sse2(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect,
                                 std::int32_t dstX, std::int32_t dstY, std::uint16_t dstBytesPerPixel,
                                 std::uint16_t srcBytesPerPixel, std::uint32_t dstStride, std::uint32_t srcStride,
                                 void* context, std::int32_t /*extra*/) {
    return runVectorGrayGains(grayGainsRowsSse2, dstBits, srcBits, rect, dstX, dstY, dstBytesPerPixel,
                              srcBytesPerPixel, dstStride, srcStride, context);
}

std::int32_t detail::applyGrayGains8MmxRegisters(std::uint8_t* dstBits, const std::uint8_t* srcBits,
                                                 const KernelRect* rect, std::int32_t dstX, std::int32_t dstY,
                                                 std::uint16_t dstBytesPerPixel, std::uint16_t srcBytesPerPixel,
                                                 std::uint32_t dstStride, std::uint32_t srcStride, void* context,
                                                 std::int32_t /*extra*/) {
    return runVectorGrayGains(grayGainsRowsMmx, dstBits, srcBits, rect, dstX, dstY, dstBytesPerPixel,
                              srcBytesPerPixel, dstStride, srcStride, context);
}

} // namespace orvix

#endif
