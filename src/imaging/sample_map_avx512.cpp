// 10-bit lookups with the AVX-512 byte permutes.
//
// The table is split into two byte planes (low and high bytes of the entries). Each
// plane is eight tables of 128 bytes, and one two-register byte permute looks all 64
// bytes of a vector up in one of them by the low seven bits of the sample. Bits 7, 8
// and 9 of the sample then pick the right one of the eight results in a tree of seven
// byte blends. 64 samples per step: their low bytes and their high bytes are gathered
// into one vector each first, and the two result planes are interleaved back into words
// at the end, in an order chosen so that the interleave restores the samples' order.

#include "imaging/simd_target.h"

#include <array>
#include <cstddef>
#include <cstdint>

#include "imaging/avx512_lanes.h"
#include "imaging/sample_map.h"

#if ORVIX_HAVE_AVX512_KERNELS

#include <immintrin.h>

namespace orvix::detail {
namespace {

// The byte of the 64 words in (a, b) that position p of a byte vector takes:
// unpacking bytes 0..7 of each 128-bit lane gives words 8L..8L + 7 of lane L, and
// unpacking bytes 8..15 gives words 32 + 8L..32 + 8L + 7.
using ByteOrder = std::array<std::uint8_t, 64>;
constexpr ByteOrder sampleByteOrder(int byteOfWord) {
    ByteOrder order{};
    for (int lane = 0; lane < 4; ++lane) {
        for (int w = 0; w < 8; ++w) {
            order[static_cast<std::size_t>(16 * lane + w)] = static_cast<std::uint8_t>(2 * (8 * lane + w) + byteOfWord);
            order[static_cast<std::size_t>(16 * lane + 8 + w)] =
                static_cast<std::uint8_t>(2 * (32 + 8 * lane + w) + byteOfWord);
        }
    }
    return order;
}
constexpr ByteOrder kLowBytes = sampleByteOrder(0);
constexpr ByteOrder kHighBytes = sampleByteOrder(1);

// Blocks of 64 words looked up together, so that each table register loaded serves
// all of them: table loads, not permutes, bound this loop.
constexpr int kBlocks = 4;

// What a block's lookup needs of its samples: their low bytes (whose low seven bits
// index a 128-byte table) and the masks of bits 7, 8 and 9.
struct BlockIndex {
    __m512i low;
    __mmask64 bit7;
    __mmask64 bit8;
    __mmask64 bit9;
};

ORVIX_TARGET_AVX512VBMI __attribute__((always_inline)) inline BlockIndex blockIndex(__m512i a, __m512i b) {
    const __m512i low = _mm512_permutex2var_epi8(a, _mm512_loadu_si512(kLowBytes.data()), b);
    const __m512i high = _mm512_permutex2var_epi8(a, _mm512_loadu_si512(kHighBytes.data()), b);
    return BlockIndex{low, _mm512_movepi8_mask(low), _mm512_test_epi8_mask(high, _mm512_set1_epi8(1)),
                      _mm512_test_epi8_mask(high, _mm512_set1_epi8(2))};
}

// One plane (eight tables of 128 bytes) looked up for every block: sub-tables 2q and
// 2q + 1 picked by bit 7 into part[q], then the parts by bits 8 and 9.
ORVIX_TARGET_AVX512VBMI __attribute__((always_inline)) inline void lookupPlane(const std::uint8_t* plane,
                                                                              const BlockIndex (&index)[kBlocks],
                                                                              __m512i (&result)[kBlocks]) {
    __m512i part[kBlocks][4];
    for (int q = 0; q < 4; ++q) {
        const std::uint8_t* even = plane + 256 * q;
        const __m512i even0 = _mm512_loadu_si512(even);
        const __m512i even1 = _mm512_loadu_si512(even + 64);
        const __m512i odd0 = _mm512_loadu_si512(even + 128);
        const __m512i odd1 = _mm512_loadu_si512(even + 192);
        for (int k = 0; k < kBlocks; ++k) {
            part[k][q] = _mm512_mask_blend_epi8(index[k].bit7, _mm512_permutex2var_epi8(even0, index[k].low, even1),
                                                _mm512_permutex2var_epi8(odd0, index[k].low, odd1));
        }
    }
    for (int k = 0; k < kBlocks; ++k) {
        const __m512i lower = _mm512_mask_blend_epi8(index[k].bit8, part[k][0], part[k][1]);
        const __m512i upper = _mm512_mask_blend_epi8(index[k].bit8, part[k][2], part[k][3]);
        result[k] = _mm512_mask_blend_epi8(index[k].bit9, lower, upper);
    }
}

// kBlocks blocks at `words` mapped in place, of which the first `valid` words only.
ORVIX_TARGET_AVX512VBMI __attribute__((always_inline)) inline void lookupBlocks(const std::uint8_t* planes,
                                                                               std::uint16_t* words,
                                                                               std::int32_t valid) {
    BlockIndex index[kBlocks];
    __mmask32 validWords[2 * kBlocks];
    for (int k = 0; k < kBlocks; ++k) {
        validWords[2 * k] = firstLanes(valid - 64 * k);
        validWords[2 * k + 1] = firstLanes(valid - 64 * k - 32);
        index[k] = blockIndex(_mm512_maskz_loadu_epi16(validWords[2 * k], words + 64 * k),
                              _mm512_maskz_loadu_epi16(validWords[2 * k + 1], words + 64 * k + 32));
    }
    __m512i low[kBlocks];
    __m512i high[kBlocks];
    lookupPlane(planes, index, low);
    lookupPlane(planes + 1024, index, high);
    for (int k = 0; k < kBlocks; ++k) {
        _mm512_mask_storeu_epi16(words + 64 * k, validWords[2 * k], _mm512_unpacklo_epi8(low[k], high[k]));
        _mm512_mask_storeu_epi16(words + 64 * k + 32, validWords[2 * k + 1], _mm512_unpackhi_epi8(low[k], high[k]));
    }
}

} // namespace

ORVIX_TARGET_AVX512VBMI void lookupWordsVbmi(const std::uint8_t* planes, std::uint16_t* words, std::int32_t count) {
    for (std::int32_t i = 0; i < count; i += 64 * kBlocks) {
        lookupBlocks(planes, words + i, count - i);
    }
    _mm256_zeroupper();
}

bool avx512VbmiUsable() {
    static const bool usable = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
               __builtin_cpu_supports("avx512vbmi");
    }();
    return usable;
}

} // namespace orvix::detail

#else

namespace orvix::detail {

bool avx512VbmiUsable() { return false; }
void lookupWordsVbmi(const std::uint8_t*, std::uint16_t*, std::int32_t) {}

} // namespace orvix::detail

#endif
