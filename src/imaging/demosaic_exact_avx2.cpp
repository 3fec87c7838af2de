// The exact demosaic lane engine with AVX2: sixteen 16-bit lanes, pixels interleaved
// with byte shuffles within each 128-bit half (eight pixels per half).

#include "imaging/simd_target.h"

#if ORVIX_HAVE_X86_SIMD

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "imaging/demosaic_internal.h"
#include "imaging/sample_map.h"

namespace orvix::detail {
namespace avx2_exact {
namespace lanes {

using Vec = __m256i;
inline constexpr std::int32_t kCount = 16;

// Shuffle masks that gather output bytes of eight pixels from 16-bit lanes, one
// 16-byte block of the output at a time; the same for both 128-bit halves.
//   pixelBytes  bytes per output pixel (3 or 6)
//   sampleBytes bytes per output sample (1: the low byte of each lane, or 2)
//   first, count the channels this source register carries, one lane each per
//               pixel for sampleBytes 2; for sampleBytes 1 a register may carry two
//               channels as the low and high byte of a lane (count 2)
using ShuffleMask = std::array<std::int8_t, 32>;
constexpr ShuffleMask shuffleMask(int pixelBytes, int sampleBytes, int block, int first, int count) {
    ShuffleMask mask{};
    for (int half = 0; half < 2; ++half) {
        for (int p = 0; p < 16; ++p) {
            const int outByte = 16 * block + p;
            const int pixel = outByte / pixelBytes;
            const int channel = (outByte % pixelBytes) / sampleBytes;
            const int byteOfSample = (outByte % pixelBytes) % sampleBytes;
            std::int8_t index = -128;
            if (pixel < 8 && channel >= first && channel < first + count) {
                index = static_cast<std::int8_t>(2 * pixel + (sampleBytes == 2 ? byteOfSample : channel - first));
            }
            mask[static_cast<std::size_t>(16 * half + p)] = index;
        }
    }
    return mask;
}

// 24-bit: blue and green share a register (low and high byte), red has its own.
constexpr ShuffleMask kBlueGreen24[2] = {shuffleMask(3, 1, 0, 0, 2), shuffleMask(3, 1, 1, 0, 2)};
constexpr ShuffleMask kRed24[2] = {shuffleMask(3, 1, 0, 2, 1), shuffleMask(3, 1, 1, 2, 1)};
// 48-bit: one register per channel, three blocks.
constexpr ShuffleMask kWords48[3][3] = {
    {shuffleMask(6, 2, 0, 0, 1), shuffleMask(6, 2, 0, 1, 1), shuffleMask(6, 2, 0, 2, 1)},
    {shuffleMask(6, 2, 1, 0, 1), shuffleMask(6, 2, 1, 1, 1), shuffleMask(6, 2, 1, 2, 1)},
    {shuffleMask(6, 2, 2, 0, 1), shuffleMask(6, 2, 2, 1, 1), shuffleMask(6, 2, 2, 2, 1)},
};

#define T ORVIX_TARGET_AVX2 inline
T Vec zero() { return _mm256_setzero_si256(); }
T Vec splat(std::uint16_t value) { return _mm256_set1_epi16(static_cast<short>(value)); }
T Vec load8(const std::uint8_t* p) { return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))); }
T Vec load16(const std::uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
T Vec loadWords(const std::uint16_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
T void storeWords(std::uint16_t* p, Vec v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
T Vec bitAnd(Vec a, Vec b) { return _mm256_and_si256(a, b); }
T Vec bitOr(Vec a, Vec b) { return _mm256_or_si256(a, b); }
T Vec bitXor(Vec a, Vec b) { return _mm256_xor_si256(a, b); }
T Vec add(Vec a, Vec b) { return _mm256_add_epi16(a, b); }
template <int N>
T Vec shiftLeft(Vec v) { return _mm256_slli_epi16(v, N); }
template <int N>
T Vec shiftRight(Vec v) { return _mm256_srli_epi16(v, N); }
T Vec mulHigh(Vec a, Vec b) { return _mm256_mulhi_epu16(a, b); }
T Vec minimum(Vec v, Vec limit) { return _mm256_min_epu16(v, limit); }
T Vec oddLanes() { return _mm256_set1_epi32(static_cast<int>(0xFFFF0000u)); }
T bool above10Bits(Vec seen) { return !_mm256_testz_si256(seen, _mm256_set1_epi16(static_cast<short>(0xFC00))); }

// Sixteen 16-bit samples (each at most 1023) through a table of 32-bit entries.
T Vec gatherWords(const std::int32_t* table, Vec v) {
    const int* base = reinterpret_cast<const int*>(table);
    const Vec low = _mm256_i32gather_epi32(base, _mm256_cvtepu16_epi32(_mm256_castsi256_si128(v)), 4);
    const Vec high = _mm256_i32gather_epi32(base, _mm256_cvtepu16_epi32(_mm256_extracti128_si256(v, 1)), 4);
    return _mm256_permute4x64_epi64(_mm256_packus_epi32(low, high), 0xD8);
}

T Vec mask(const ShuffleMask& m) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(m.data())); }
T Vec load(const std::uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
T void store(std::uint8_t* p, Vec v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
T void storeHalf(std::uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
T void storeQuarter(std::uint8_t* p, __m128i v) { _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v); }

// Sixteen pixels as B G R bytes (48 bytes).
T void store24(std::uint8_t* out, Vec blue, Vec green, Vec red) {
    const Vec blueGreen = _mm256_or_si256(blue, _mm256_slli_epi16(green, 8));
    const Vec block0 = _mm256_or_si256(_mm256_shuffle_epi8(blueGreen, mask(kBlueGreen24[0])),
                                       _mm256_shuffle_epi8(red, mask(kRed24[0])));
    const Vec block1 = _mm256_or_si256(_mm256_shuffle_epi8(blueGreen, mask(kBlueGreen24[1])),
                                       _mm256_shuffle_epi8(red, mask(kRed24[1])));
    storeHalf(out, _mm256_castsi256_si128(block0));
    storeQuarter(out + 16, _mm256_castsi256_si128(block1));
    storeHalf(out + 24, _mm256_extracti128_si256(block0, 1));
    storeQuarter(out + 40, _mm256_extracti128_si256(block1, 1));
}

// Sixteen pixels as B G R bytes and the fourth byte kept (64 bytes).
T void store32(std::uint8_t* out, Vec blue, Vec green, Vec red) {
    const Vec blueGreen = _mm256_or_si256(blue, _mm256_slli_epi16(green, 8));
    const Vec low = _mm256_unpacklo_epi16(blueGreen, red);  // pixels 0..3 | 8..11
    const Vec high = _mm256_unpackhi_epi16(blueGreen, red); // pixels 4..7 | 12..15
    const Vec keep = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    store(out, _mm256_or_si256(_mm256_and_si256(load(out), keep), _mm256_permute2x128_si256(low, high, 0x20)));
    store(out + 32, _mm256_or_si256(_mm256_and_si256(load(out + 32), keep), _mm256_permute2x128_si256(low, high, 0x31)));
}

// Sixteen pixels as B G R words (96 bytes).
T void store48(std::uint8_t* out, Vec blue, Vec green, Vec red) {
    Vec blocks[3];
    for (int b = 0; b < 3; ++b) {
        blocks[b] = _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(blue, mask(kWords48[b][0])),
                                                    _mm256_shuffle_epi8(green, mask(kWords48[b][1]))),
                                    _mm256_shuffle_epi8(red, mask(kWords48[b][2])));
    }
    // Each half holds the three blocks of its eight pixels: first half's, then the second's.
    store(out, _mm256_permute2x128_si256(blocks[0], blocks[1], 0x20));
    store(out + 32, _mm256_permute2x128_si256(blocks[2], blocks[0], 0x30));
    store(out + 64, _mm256_permute2x128_si256(blocks[1], blocks[2], 0x31));
}

// Stores `pixels` where `keep` is clear and keeps the destination's bytes where it is set.
T void mergeStore(std::uint8_t* p, Vec pixels, Vec keep) {
    store(p, _mm256_or_si256(_mm256_and_si256(load(p), keep), pixels));
}

// Sixteen pixels as B G R words and the fourth word kept (128 bytes).
T void store64(std::uint8_t* out, Vec blue, Vec green, Vec red) {
    const Vec zeroWords = _mm256_setzero_si256();
    const Vec bgLow = _mm256_unpacklo_epi16(blue, green);
    const Vec bgHigh = _mm256_unpackhi_epi16(blue, green);
    const Vec rLow = _mm256_unpacklo_epi16(red, zeroWords);
    const Vec rHigh = _mm256_unpackhi_epi16(red, zeroWords);
    const Vec p01 = _mm256_unpacklo_epi32(bgLow, rLow);   // pixels 0, 1 | 8, 9
    const Vec p23 = _mm256_unpackhi_epi32(bgLow, rLow);   // 2, 3 | 10, 11
    const Vec p45 = _mm256_unpacklo_epi32(bgHigh, rHigh); // 4, 5 | 12, 13
    const Vec p67 = _mm256_unpackhi_epi32(bgHigh, rHigh); // 6, 7 | 14, 15
    const Vec keep = _mm256_set_epi16(-1, 0, 0, 0, -1, 0, 0, 0, -1, 0, 0, 0, -1, 0, 0, 0);
    mergeStore(out, _mm256_permute2x128_si256(p01, p23, 0x20), keep);
    mergeStore(out + 32, _mm256_permute2x128_si256(p45, p67, 0x20), keep);
    mergeStore(out + 64, _mm256_permute2x128_si256(p01, p23, 0x31), keep);
    mergeStore(out + 96, _mm256_permute2x128_si256(p45, p67, 0x31), keep);
}

// The same with the fourth words written as 0 (where nothing reads them).
T void store64Free(std::uint8_t* out, Vec blue, Vec green, Vec red) {
    const Vec zeroWords = _mm256_setzero_si256();
    const Vec bgLow = _mm256_unpacklo_epi16(blue, green);
    const Vec bgHigh = _mm256_unpackhi_epi16(blue, green);
    const Vec rLow = _mm256_unpacklo_epi16(red, zeroWords);
    const Vec rHigh = _mm256_unpackhi_epi16(red, zeroWords);
    const Vec p01 = _mm256_unpacklo_epi32(bgLow, rLow);
    const Vec p23 = _mm256_unpackhi_epi32(bgLow, rLow);
    const Vec p45 = _mm256_unpacklo_epi32(bgHigh, rHigh);
    const Vec p67 = _mm256_unpackhi_epi32(bgHigh, rHigh);
    store(out, _mm256_permute2x128_si256(p01, p23, 0x20));
    store(out + 32, _mm256_permute2x128_si256(p45, p67, 0x20));
    store(out + 64, _mm256_permute2x128_si256(p01, p23, 0x31));
    store(out + 96, _mm256_permute2x128_si256(p45, p67, 0x31));
}
#undef T

} // namespace lanes

#define ORVIX_LANES_TARGET ORVIX_TARGET_AVX2
#define ORVIX_LANES_GATHER 1
#define ORVIX_EXACT_ROWS_NAME demosaicExactRows
#define ORVIX_EXACT_ROWS_MAPPED_NAME demosaicExactRowsMapped
#include "imaging/demosaic_exact_rows.inc"
#undef ORVIX_LANES_TARGET
#undef ORVIX_LANES_GATHER
#undef ORVIX_EXACT_ROWS_NAME
#undef ORVIX_EXACT_ROWS_MAPPED_NAME

} // namespace avx2_exact

#if ORVIX_HAVE_AVX512_KERNELS
// The AVX2 lanes once more, with the map looked up a run of columns at a time.
namespace avx512_exact {
namespace lanes = avx2_exact::lanes;

#define ORVIX_LANES_TARGET ORVIX_TARGET_AVX512VBMI
#define ORVIX_LANES_GATHER 1
#define ORVIX_LANES_PLANAR_MAP 1
#define ORVIX_EXACT_ROWS_MAPPED_NAME demosaicExactRowsMapped
#include "imaging/demosaic_exact_rows.inc"
#undef ORVIX_LANES_TARGET
#undef ORVIX_LANES_GATHER
#undef ORVIX_LANES_PLANAR_MAP
#undef ORVIX_EXACT_ROWS_MAPPED_NAME

} // namespace avx512_exact

void demosaicExactRowsAvx512Mapped(const DemosaicCall& call, std::int32_t firstRow, std::int32_t endRow,
                                   const RowMap& map, bool fourthFree) {
    avx512_exact::demosaicExactRowsMapped(call, firstRow, endRow, map, fourthFree);
}
#else
void demosaicExactRowsAvx512Mapped(const DemosaicCall& call, std::int32_t firstRow, std::int32_t endRow,
                                   const RowMap& map, bool fourthFree) {
    demosaicExactRowsAvx2Mapped(call, firstRow, endRow, map, fourthFree);
}
#endif

void demosaicExactRowsAvx2(const DemosaicCall& call, std::int32_t firstRow, std::int32_t endRow) {
    avx2_exact::demosaicExactRows(call, firstRow, endRow);
}

void demosaicExactRowsAvx2Mapped(const DemosaicCall& call, std::int32_t firstRow, std::int32_t endRow,
                                 const RowMap& map, bool fourthFree) {
    avx2_exact::demosaicExactRowsMapped(call, firstRow, endRow, map, fourthFree);
}

} // namespace orvix::detail

#endif
