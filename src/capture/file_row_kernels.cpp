#include "capture/file_row_kernels.h"

#include <cstddef>
#include <cstdint>

#include "imaging/pixel_kernels.h"
#include "imaging/simd_target.h"

#if ORVIX_HAVE_X86_SIMD
#include <emmintrin.h>
#include <tmmintrin.h>
#define ORVIX_TARGET_SSSE3 __attribute__((target("ssse3")))
#endif

namespace orvix {

namespace {

// Pixels of PixelBytes bytes: red, green, blue, and for 4-byte pixels a zero byte.
// swapRedBlue24 leaves a fourth byte as it is; the rows of a file are new memory, so
// the zero is written here.
template <std::size_t PixelBytes>
void swapRedBluePixels(std::uint8_t* d, const std::uint8_t* s, std::int32_t pixels) {
    for (std::int32_t x = 0; x < pixels; ++x, d += PixelBytes, s += PixelBytes) {
        const std::uint8_t b = s[0];
        const std::uint8_t g = s[1];
        const std::uint8_t r = s[2];
        d[0] = r;
        d[1] = g;
        d[2] = b;
        if constexpr (PixelBytes == 4) d[3] = 0;
    }
}

template <void (*Row)(std::uint8_t*, const std::uint8_t*, std::int32_t), std::size_t PixelBytes>
std::int32_t rowsOf(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect, std::int32_t dstX,
                    std::int32_t dstY, std::uint32_t dstStride, std::uint32_t srcStride) {
    for (std::int32_t y = rect->top; y < rect->bottom; ++y) {
        const std::uint8_t* s = srcBits + static_cast<std::size_t>(y) * srcStride + PixelBytes * rect->left;
        std::uint8_t* d = dstBits + static_cast<std::size_t>(dstY + (y - rect->top)) * dstStride + PixelBytes * dstX;
        Row(d, s, rect->width());
    }
    return 1;
}

ORVIX_PIXEL_KERNEL(swapRedBlueZeroFourth) {
    return rowsOf<swapRedBluePixels<4>, 4>(dstBits, srcBits, rect, dstX, dstY, dstStride, srcStride);
}

#if ORVIX_HAVE_X86_SIMD

// Byte j of a 48-byte run of 16 pixels comes from byte j + 2 (blue's place, j % 3 == 0),
// j (green) or j - 2 (red's place). Bytes two places on are the run shifted down by
// two bytes across its three vectors, bytes two places back the run shifted up.
struct SwapMasks {
    __m128i same[3];
    __m128i fromNext[3];
    __m128i fromPrevious[3];
};

ORVIX_TARGET_SSE2 SwapMasks makeSwapMasks() {
    alignas(16) std::uint8_t bytes[3][3][16];
    for (int v = 0; v < 3; ++v) {
        for (int i = 0; i < 16; ++i) {
            const int place = (16 * v + i) % 3;
            bytes[0][v][i] = place == 1 ? 0xFF : 0;
            bytes[1][v][i] = place == 0 ? 0xFF : 0;
            bytes[2][v][i] = place == 2 ? 0xFF : 0;
        }
    }
    SwapMasks masks;
    for (int v = 0; v < 3; ++v) {
        masks.same[v] = _mm_load_si128(reinterpret_cast<const __m128i*>(bytes[0][v]));
        masks.fromNext[v] = _mm_load_si128(reinterpret_cast<const __m128i*>(bytes[1][v]));
        masks.fromPrevious[v] = _mm_load_si128(reinterpret_cast<const __m128i*>(bytes[2][v]));
    }
    return masks;
}

ORVIX_TARGET_SSE2 inline __m128i pick(__m128i same, __m128i next, __m128i previous, const SwapMasks& m, int v) {
    return _mm_or_si128(_mm_or_si128(_mm_and_si128(same, m.same[v]), _mm_and_si128(next, m.fromNext[v])),
                        _mm_and_si128(previous, m.fromPrevious[v]));
}

ORVIX_TARGET_SSE2 void swapRedBlueRowSse2(std::uint8_t* d, const std::uint8_t* s, std::int32_t pixels,
                                          const SwapMasks& m) {
    std::int32_t x = 0;
    for (; x + 16 <= pixels; x += 16, s += 48, d += 48) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 32));
        const __m128i nextA = _mm_or_si128(_mm_srli_si128(a, 2), _mm_slli_si128(b, 14));
        const __m128i nextB = _mm_or_si128(_mm_srli_si128(b, 2), _mm_slli_si128(c, 14));
        const __m128i nextC = _mm_srli_si128(c, 2);
        const __m128i previousA = _mm_slli_si128(a, 2);
        const __m128i previousB = _mm_or_si128(_mm_slli_si128(b, 2), _mm_srli_si128(a, 14));
        const __m128i previousC = _mm_or_si128(_mm_slli_si128(c, 2), _mm_srli_si128(b, 14));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), pick(a, nextA, previousA, m, 0));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16), pick(b, nextB, previousB, m, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 32), pick(c, nextC, previousC, m, 2));
    }
    swapRedBluePixels<3>(d, s, pixels - x);
}

void swapRedBlueRowSse2Masked(std::uint8_t* d, const std::uint8_t* s, std::int32_t pixels) {
    static const SwapMasks masks = makeSwapMasks();
    swapRedBlueRowSse2(d, s, pixels, masks);
}

ORVIX_PIXEL_KERNEL(swapRedBlue24Sse2) {
    return rowsOf<swapRedBlueRowSse2Masked, 3>(dstBits, srcBits, rect, dstX, dstY, dstStride, srcStride);
}

// Four pixels per shuffle: 16 bytes are read and written at each 12-byte step, the
// last four of them being rewritten by the next step, so a step needs two pixels of
// room after its four.
ORVIX_TARGET_SSSE3 void swapRedBlueRowSsse3(std::uint8_t* d, const std::uint8_t* s, std::int32_t pixels) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 12, 13, 14, 15);
    std::int32_t x = 0;
    for (; x + 18 <= pixels; x += 16, s += 48, d += 48) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 12));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 24));
        const __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 36));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_shuffle_epi8(a, order));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 12), _mm_shuffle_epi8(b, order));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 24), _mm_shuffle_epi8(c, order));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 36), _mm_shuffle_epi8(e, order));
    }
    for (; x + 6 <= pixels; x += 4, s += 12, d += 12) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_shuffle_epi8(a, order));
    }
    swapRedBluePixels<3>(d, s, pixels - x);
}

ORVIX_PIXEL_KERNEL(swapRedBlue24Ssse3) {
    return rowsOf<swapRedBlueRowSsse3, 3>(dstBits, srcBits, rect, dstX, dstY, dstStride, srcStride);
}

// Four 4-byte pixels per shuffle, the fourth byte of each cleared.
ORVIX_TARGET_SSSE3 void swapRedBlueZeroFourthRowSsse3(std::uint8_t* d, const std::uint8_t* s, std::int32_t pixels) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, -1, 6, 5, 4, -1, 10, 9, 8, -1, 14, 13, 12, -1);
    std::int32_t x = 0;
    for (; x + 4 <= pixels; x += 4, s += 16, d += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_shuffle_epi8(a, order));
    }
    swapRedBluePixels<4>(d, s, pixels - x);
}

ORVIX_PIXEL_KERNEL(swapRedBlueZeroFourthSsse3) {
    return rowsOf<swapRedBlueZeroFourthRowSsse3, 4>(dstBits, srcBits, rect, dstX, dstY, dstStride, srcStride);
}

#endif

} // namespace

PixelKernel fileRowKernel(PixelKernel kernel, std::uint16_t dstBytesPerPixel, std::uint16_t srcBytesPerPixel) {
#if ORVIX_HAVE_X86_SIMD
    if (kernel == &swapRedBlue24 && dstBytesPerPixel == 3 && srcBytesPerPixel == 3) {
        if (__builtin_cpu_supports("ssse3")) return &swapRedBlue24Ssse3;
        if (__builtin_cpu_supports("sse2")) return &swapRedBlue24Sse2;
    }
#endif
    if (kernel == &swapRedBlue24 && dstBytesPerPixel == 4 && srcBytesPerPixel == 4) {
#if ORVIX_HAVE_X86_SIMD
        if (__builtin_cpu_supports("ssse3")) return &swapRedBlueZeroFourthSsse3;
#endif
        return &swapRedBlueZeroFourth;
    }
    return kernel;
}

} // namespace orvix
