// The exact demosaic lane engine with SSE2: eight 16-bit lanes, pixels interleaved
// with unpacks and byte shifts.

#include "imaging/simd_target.h"

#if ORVIX_HAVE_X86_SIMD

#include <emmintrin.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "imaging/demosaic_internal.h"

namespace orvix::detail {
namespace sse2_exact {
namespace lanes {

using Vec = __m128i;
inline constexpr std::int32_t kCount = 8;

#define T ORVIX_TARGET_SSE2 inline
T Vec zero() { return _mm_setzero_si128(); }
T Vec splat(std::uint16_t value) { return _mm_set1_epi16(static_cast<short>(value)); }
T Vec load8(const std::uint8_t* p) {
    return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), _mm_setzero_si128());
}
T Vec load16(const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
T Vec loadWords(const std::uint16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
T void storeWords(std::uint16_t* p, Vec v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
T Vec bitAnd(Vec a, Vec b) { return _mm_and_si128(a, b); }
T Vec bitOr(Vec a, Vec b) { return _mm_or_si128(a, b); }
T Vec bitXor(Vec a, Vec b) { return _mm_xor_si128(a, b); }
T Vec add(Vec a, Vec b) { return _mm_add_epi16(a, b); }
template <int N>
T Vec shiftLeft(Vec v) { return _mm_slli_epi16(v, N); }
template <int N>
T Vec shiftRight(Vec v) { return _mm_srli_epi16(v, N); }
T Vec mulHigh(Vec a, Vec b) { return _mm_mulhi_epu16(a, b); }
// Unsigned minimum: v minus what exceeds the limit.
T Vec minimum(Vec v, Vec limit) { return _mm_sub_epi16(v, _mm_subs_epu16(v, limit)); }
T Vec oddLanes() { return _mm_set1_epi32(static_cast<int>(0xFFFF0000u)); }
T bool above10Bits(Vec seen) {
    const Vec high = _mm_and_si128(seen, _mm_set1_epi16(static_cast<short>(0xFC00)));
    return _mm_movemask_epi8(_mm_cmpeq_epi16(high, _mm_setzero_si128())) != 0xFFFF;
}

T Vec load(const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
T void store(std::uint8_t* p, Vec v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// Two 8-byte pixels per 64-bit half, each with six bytes of content: the twelve
// content bytes at the bottom.
T Vec closeGap(Vec pairs) { return _mm_or_si128(_mm_move_epi64(pairs), _mm_slli_si128(_mm_srli_si128(pairs, 8), 6)); }

// Four pixels of B G R 0 bytes: their twelve B G R bytes at the bottom.
T Vec packPixels24(Vec pixels) {
    const Vec evenPixels = _mm_and_si128(pixels, _mm_set_epi32(0, 0x00FFFFFF, 0, 0x00FFFFFF));
    const Vec oddPixels = _mm_srli_epi64(_mm_and_si128(pixels, _mm_set_epi32(0x00FFFFFF, 0, 0x00FFFFFF, 0)), 8);
    return closeGap(_mm_or_si128(evenPixels, oddPixels));
}

// Eight pixels as B G R bytes (24 bytes).
T void store24(std::uint8_t* out, Vec blue, Vec green, Vec red) {
    const Vec blueGreen = _mm_or_si128(blue, _mm_slli_epi16(green, 8));
    const Vec first = packPixels24(_mm_unpacklo_epi16(blueGreen, red));
    const Vec second = packPixels24(_mm_unpackhi_epi16(blueGreen, red));
    store(out, _mm_or_si128(first, _mm_slli_si128(second, 12)));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), _mm_srli_si128(second, 4));
}

// Eight pixels as B G R bytes and the fourth byte kept (32 bytes).
T void store32(std::uint8_t* out, Vec blue, Vec green, Vec red) {
    const Vec blueGreen = _mm_or_si128(blue, _mm_slli_epi16(green, 8));
    const Vec keep = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    store(out, _mm_or_si128(_mm_and_si128(load(out), keep), _mm_unpacklo_epi16(blueGreen, red)));
    store(out + 16, _mm_or_si128(_mm_and_si128(load(out + 16), keep), _mm_unpackhi_epi16(blueGreen, red)));
}

// The eight pixels as B G R 0 words, two per register.
struct WordPixels {
    Vec p01, p23, p45, p67;
};
T WordPixels wordPixels(Vec blue, Vec green, Vec red) {
    const Vec zeroWords = _mm_setzero_si128();
    const Vec bgLow = _mm_unpacklo_epi16(blue, green);
    const Vec bgHigh = _mm_unpackhi_epi16(blue, green);
    const Vec rLow = _mm_unpacklo_epi16(red, zeroWords);
    const Vec rHigh = _mm_unpackhi_epi16(red, zeroWords);
    return WordPixels{_mm_unpacklo_epi32(bgLow, rLow), _mm_unpackhi_epi32(bgLow, rLow), _mm_unpacklo_epi32(bgHigh, rHigh),
                      _mm_unpackhi_epi32(bgHigh, rHigh)};
}

// Eight pixels as B G R words (48 bytes).
T void store48(std::uint8_t* out, Vec blue, Vec green, Vec red) {
    const WordPixels p = wordPixels(blue, green, red);
    const Vec c0 = closeGap(p.p01);
    const Vec c1 = closeGap(p.p23);
    const Vec c2 = closeGap(p.p45);
    const Vec c3 = closeGap(p.p67);
    store(out, _mm_or_si128(c0, _mm_slli_si128(c1, 12)));
    store(out + 16, _mm_or_si128(_mm_srli_si128(c1, 4), _mm_slli_si128(c2, 8)));
    store(out + 32, _mm_or_si128(_mm_srli_si128(c2, 8), _mm_slli_si128(c3, 4)));
}

// Eight pixels as B G R words and the fourth word kept (64 bytes).
T void store64(std::uint8_t* out, Vec blue, Vec green, Vec red) {
    const WordPixels p = wordPixels(blue, green, red);
    const Vec keep = _mm_set_epi16(-1, 0, 0, 0, -1, 0, 0, 0);
    store(out, _mm_or_si128(_mm_and_si128(load(out), keep), p.p01));
    store(out + 16, _mm_or_si128(_mm_and_si128(load(out + 16), keep), p.p23));
    store(out + 32, _mm_or_si128(_mm_and_si128(load(out + 32), keep), p.p45));
    store(out + 48, _mm_or_si128(_mm_and_si128(load(out + 48), keep), p.p67));
}
#undef T

} // namespace lanes

#define ORVIX_LANES_TARGET ORVIX_TARGET_SSE2
#define ORVIX_EXACT_ROWS_NAME demosaicExactRows
#include "imaging/demosaic_exact_rows.inc"
#undef ORVIX_LANES_TARGET
#undef ORVIX_EXACT_ROWS_NAME

} // namespace sse2_exact

void demosaicExactRowsSse2(const DemosaicCall& call, std::int32_t firstRow, std::int32_t endRow) {
    sse2_exact::demosaicExactRows(call, firstRow, endRow);
}

} // namespace orvix::detail

#endif
