// The demosaic vector loop with AVX2: each 256-bit register holds two 16-pixel
// groups, one per 128-bit half, and every operation works within its half exactly
// as the 16-pixel loop does, so the pixels are those of demosaicRowsSse2. A row's
// odd last group is done with the 16-pixel step.

#include "imaging/simd_target.h"

#if ORVIX_HAVE_X86_SIMD

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "imaging/demosaic_internal.h"

namespace orvix::detail {

#define ORVIX_ROWS_NAMESPACE avx2_tail
#define ORVIX_ROWS_TARGET ORVIX_TARGET_AVX2
#define ORVIX_ROWS_LOAD _mm_loadu_si128
#include "imaging/demosaic_sse_rows.inc"
#undef ORVIX_ROWS_NAMESPACE
#undef ORVIX_ROWS_TARGET
#undef ORVIX_ROWS_LOAD

namespace {

ORVIX_TARGET_AVX2 inline __m256i load32(const std::uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
ORVIX_TARGET_AVX2 inline __m256i evenBytes(__m256i x) { return _mm256_and_si256(x, _mm256_set1_epi16(0x00FF)); }
ORVIX_TARGET_AVX2 inline __m256i oddBytes(__m256i x) { return _mm256_srli_epi16(x, 8); }
ORVIX_TARGET_AVX2 inline __m256i times3Plus(__m256i a, __m256i b) {
    return _mm256_add_epi16(_mm256_add_epi16(a, _mm256_slli_epi16(a, 1)), b);
}
ORVIX_TARGET_AVX2 inline __m256i applyGain(__m256i sum, __m256i gain) {
    const __m256i scaled = _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_srli_epi16(sum, 4), gain), 7);
    return _mm256_min_epi16(scaled, _mm256_set1_epi16(255));
}
// Byte shuffles that interleave the three pair words (B G of the even pixel, R of
// the even and B of the odd one, G R of the odd one) of eight pixel pairs into the
// three 16-byte blocks of those 48 bytes; the same for both 128-bit halves.
struct PairMasks {
    std::int8_t bytes[3][3][32]; // [block][word register][byte]
};
constexpr PairMasks pairMasks() {
    PairMasks masks{};
    for (int block = 0; block < 3; ++block) {
        for (int reg = 0; reg < 3; ++reg) {
            for (int i = 0; i < 32; ++i) {
                const int q = 16 * block + i % 16;
                const int within = q % 6;
                masks.bytes[block][reg][i] =
                    within / 2 == reg ? static_cast<std::int8_t>(2 * (q / 6) + within % 2) : static_cast<std::int8_t>(-128);
            }
        }
    }
    return masks;
}
constexpr PairMasks kPairMasks = pairMasks();

ORVIX_TARGET_AVX2 inline __m256i pairMask(int block, int reg) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kPairMasks.bytes[block][reg]));
}

ORVIX_TARGET_AVX2 inline void storePixels(std::uint8_t* out, __m256i blueEven, __m256i greenEven, __m256i redEven,
                                          __m256i blueOdd, __m256i greenOdd, __m256i redOdd) {
    const __m256i words[3] = {_mm256_or_si256(blueEven, _mm256_slli_epi16(greenEven, 8)),
                              _mm256_or_si256(redEven, _mm256_slli_epi16(blueOdd, 8)),
                              _mm256_or_si256(greenOdd, _mm256_slli_epi16(redOdd, 8))};
    __m256i blocks[3];
    for (int b = 0; b < 3; ++b) {
        blocks[b] = _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(words[0], pairMask(b, 0)),
                                                    _mm256_shuffle_epi8(words[1], pairMask(b, 1))),
                                    _mm256_shuffle_epi8(words[2], pairMask(b, 2)));
    }
    // First group's blocks, then the second group's.
    __m256i* dst = reinterpret_cast<__m256i*>(out);
    _mm256_storeu_si256(dst, _mm256_permute2x128_si256(blocks[0], blocks[1], 0x20));
    _mm256_storeu_si256(dst + 1, _mm256_permute2x128_si256(blocks[2], blocks[0], 0x30));
    _mm256_storeu_si256(dst + 2, _mm256_permute2x128_si256(blocks[1], blocks[2], 0x31));
}

ORVIX_TARGET_AVX2 inline void step32(std::uint8_t* out, const DemosaicRowSet& rows, std::int32_t c, __m256i gainBlue,
                                     __m256i gainRed) {
    const __m256i vBlue = times3Plus(oddBytes(load32(rows.blue3 + c)), oddBytes(load32(rows.blue1 + c)));
    const __m256i vBlueLeft = times3Plus(oddBytes(load32(rows.blue3 + c - 2)), oddBytes(load32(rows.blue1 + c - 2)));
    const __m256i vRedLeft = times3Plus(evenBytes(load32(rows.red3 + c - 2)), evenBytes(load32(rows.red1 + c - 2)));
    const __m256i vRed = times3Plus(evenBytes(load32(rows.red3 + c)), evenBytes(load32(rows.red1 + c)));
    const __m256i vRedRight = times3Plus(evenBytes(load32(rows.red3 + c + 2)), evenBytes(load32(rows.red1 + c + 2)));
    const __m256i gEven = evenBytes(load32(rows.greenEven + c));
    const __m256i greenEvenPixels =
        _mm256_srli_epi16(_mm256_add_epi16(oddBytes(load32(rows.greenOdd + c - 2)), gEven), 1);
    const __m256i greenOddPixels = _mm256_srli_epi16(_mm256_add_epi16(gEven, oddBytes(load32(rows.greenOdd + c))), 1);
    storePixels(out, applyGain(times3Plus(vBlueLeft, vBlue), gainBlue), greenEvenPixels,
                applyGain(times3Plus(vRed, vRedLeft), gainRed), applyGain(times3Plus(vBlue, vBlueLeft), gainBlue),
                greenOddPixels, applyGain(times3Plus(vRed, vRedRight), gainRed));
}

} // namespace

ORVIX_TARGET_AVX2 void demosaicRowsAvx2(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect& rect,
                                        std::int32_t dstX, std::int32_t dstY, std::uint32_t dstStride,
                                        std::uint32_t srcStride, std::int32_t bayerMode, VectorGains gains) {
    const VectorColumnPlan plan = vectorColumnPlan(rect.width(), bayerMode);
    if (plan.vectorCount == 0) {
        return;
    }
    const __m256i gainBlue = _mm256_set1_epi16(static_cast<short>(gains.blue));
    const __m256i gainRed = _mm256_set1_epi16(static_cast<short>(gains.red));
    const __m128i gainBlue16 = _mm_set1_epi16(static_cast<short>(gains.blue));
    const __m128i gainRed16 = _mm_set1_epi16(static_cast<short>(gains.red));
    const std::int32_t pairs = plan.vectorCount / 2;
    for (std::int32_t j = 2; j <= rect.height() - 3; ++j) {
        const DemosaicRowSet rows = demosaicRowSet(srcBits, rect, srcStride, j, bayerMode);
        std::uint8_t* out = dstBits + static_cast<std::ptrdiff_t>(dstY + j) * dstStride +
                            static_cast<std::ptrdiff_t>(dstX + plan.firstColumn) * 3;
        std::int32_t c = plan.firstColumn;
        for (std::int32_t v = 0; v < pairs; ++v, c += 32, out += 96) {
            step32(out, rows, c, gainBlue, gainRed);
        }
        if (plan.vectorCount % 2 != 0) {
            avx2_tail::step16(out, rows, c, gainBlue16, gainRed16);
        }
    }
    _mm256_zeroupper();
}

bool avx2Usable() {
    static const bool usable = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return usable;
}

} // namespace orvix::detail

#endif
