// Sample-map lookups with the AVX-512 byte permutes.
//
// The table is split into the entries' low bytes and their high bits (at most 1023, so
// two bits an entry, four entries a byte). The low-byte plane is eight tables of 128
// bytes, and one two-register byte permute looks all 64 bytes of a vector up in one of
// them by the low seven bits of the sample; bits 7, 8 and 9 then pick the right one of
// the eight results in a tree of seven byte blends. The packed high bits are two
// tables of 128 bytes looked up by bits 2..9, and a multishift takes the sample's two
// bits out of the byte. 64 samples per step: their low bytes (and bits 2..9) are
// gathered into byte vectors first, and the two results are interleaved back into
// words at the end, in an order chosen so that the interleave restores the samples'
// order. Four such blocks share each table load: the loads, not the permutes, bound
// the loop.
//
// The row form maps whole rows of 1, 3 or 4 samples per pixel (a fourth kept as it is);
// a step holding a sample above 1023 is mapped sample by sample, as the map defines
// those apart from its table. Rows of bytes take two permutes of the 256-entry table.

#include "imaging/simd_target.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

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
// all of them.
constexpr int kBlocks = 4;

// What a block's lookup needs of its samples: their low bytes (whose low seven bits
// index a 128-byte table), bits 2..9 as bytes (the index into the packed high bits),
// and the masks of bits 7, 8 and 9.
struct BlockIndex {
    __m512i low;
    __m512i quarter;
    __mmask64 bit7;
    __mmask64 bit8;
    __mmask64 bit9;
};

ORVIX_TARGET_AVX512VBMI __attribute__((always_inline)) inline BlockIndex blockIndex(__m512i a, __m512i b) {
    const __m512i order = _mm512_loadu_si512(kLowBytes.data());
    const __m512i low = _mm512_permutex2var_epi8(a, order, b);
    const __m512i high = _mm512_permutex2var_epi8(a, _mm512_loadu_si512(kHighBytes.data()), b);
    const __m512i quarter = _mm512_permutex2var_epi8(_mm512_srli_epi16(a, 2), order, _mm512_srli_epi16(b, 2));
    return BlockIndex{low, quarter, _mm512_movepi8_mask(low), _mm512_test_epi8_mask(high, _mm512_set1_epi8(1)),
                      _mm512_test_epi8_mask(high, _mm512_set1_epi8(2))};
}

// The low-byte plane (eight tables of 128 bytes) looked up for every block: sub-tables
// 2q and 2q + 1 picked by bit 7 into part[q], then the parts by bits 8 and 9.
ORVIX_TARGET_AVX512VBMI __attribute__((always_inline)) inline void lookupLowBytes(const std::uint8_t* plane,
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

// The high bits (0..3) of every block's entries from the packed plane: byte
// s >> 2 (two 128-byte tables, picked by bit 9), then bits 2 (s & 3) and up of it,
// taken by a multishift whose control for byte j is 8 (j % 8) + 2 (s & 3).
ORVIX_TARGET_AVX512VBMI __attribute__((always_inline)) inline void lookupHighBits(const std::uint8_t* packed,
                                                                                 const BlockIndex (&index)[kBlocks],
                                                                                 __m512i (&result)[kBlocks]) {
    const __m512i low0 = _mm512_loadu_si512(packed);
    const __m512i low1 = _mm512_loadu_si512(packed + 64);
    const __m512i high0 = _mm512_loadu_si512(packed + 128);
    const __m512i high1 = _mm512_loadu_si512(packed + 192);
    const __m512i byteOffsets = _mm512_set1_epi64(0x3830282018100800ll);
    const __m512i twoBits = _mm512_set1_epi8(3);
    for (int k = 0; k < kBlocks; ++k) {
        const __m512i entries =
            _mm512_mask_blend_epi8(index[k].bit9, _mm512_permutex2var_epi8(low0, index[k].quarter, low1),
                                   _mm512_permutex2var_epi8(high0, index[k].quarter, high1));
        const __m512i pair = _mm512_and_si512(index[k].low, twoBits);
        const __m512i control = _mm512_add_epi8(byteOffsets, _mm512_add_epi8(pair, pair));
        result[k] = _mm512_and_si512(_mm512_maskz_multishift_epi64_epi8(~__mmask64{0}, control, entries), twoBits);
    }
}

// Up to kBlocks blocks of 64 words in registers, with the mask of the words each
// vector holds (the other lanes are zero).
struct WordBlocks {
    __m512i words[2 * kBlocks];
    __mmask32 valid[2 * kBlocks];
};

// The first `count` words from `bytes` on (at most 64 kBlocks of them; none beyond
// are read).
ORVIX_TARGET_AVX512VBMI __attribute__((always_inline)) inline WordBlocks loadBlocks(const std::uint8_t* bytes,
                                                                                   std::int32_t count) {
    WordBlocks blocks;
    for (int v = 0; v < 2 * kBlocks; ++v) {
        blocks.valid[v] = firstLanes(count - 32 * v);
        blocks.words[v] = _mm512_maskz_loadu_epi16(blocks.valid[v], bytes + 64 * v);
    }
    return blocks;
}

// The blocks' words through the table.
ORVIX_TARGET_AVX512VBMI __attribute__((always_inline)) inline void lookupBlocks(const std::uint8_t* planes,
                                                                               const WordBlocks& blocks,
                                                                               __m512i (&mapped)[2 * kBlocks]) {
    BlockIndex index[kBlocks];
    for (int k = 0; k < kBlocks; ++k) index[k] = blockIndex(blocks.words[2 * k], blocks.words[2 * k + 1]);
    __m512i low[kBlocks];
    __m512i high[kBlocks];
    lookupLowBytes(planes, index, low);
    lookupHighBits(planes + 1024, index, high);
    for (int k = 0; k < kBlocks; ++k) {
        mapped[2 * k] = _mm512_unpacklo_epi8(low[k], high[k]);
        mapped[2 * k + 1] = _mm512_unpackhi_epi8(low[k], high[k]);
    }
}

// Samples [first, end) of a row of `samplesPerPixel` samples one by one, a fourth
// sample of a pixel copied.
void mapSamplesOneByOne(const SampleMap& map, const std::uint8_t* in, std::uint8_t* out, std::int32_t first,
                        std::int32_t end, int samplesPerPixel) {
    for (std::int32_t i = first; i < end; ++i) {
        std::uint16_t sample;
        std::memcpy(&sample, in + 2 * static_cast<std::ptrdiff_t>(i), 2);
        if (samplesPerPixel != 4 || i % 4 != 3) sample = static_cast<std::uint16_t>(map(sample));
        std::memcpy(out + 2 * static_cast<std::ptrdiff_t>(i), &sample, 2);
    }
}

} // namespace

ORVIX_TARGET_AVX512VBMI void lookupWordsVbmi(const std::uint8_t* planes, std::uint16_t* words, std::int32_t count) {
    for (std::int32_t i = 0; i < count; i += 64 * kBlocks) {
        const WordBlocks blocks = loadBlocks(reinterpret_cast<const std::uint8_t*>(words + i), count - i);
        __m512i mapped[2 * kBlocks];
        lookupBlocks(planes, blocks, mapped);
        for (int v = 0; v < 2 * kBlocks; ++v) _mm512_mask_storeu_epi16(words + i + 32 * v, blocks.valid[v], mapped[v]);
    }
    _mm256_zeroupper();
}

ORVIX_TARGET_AVX512VBMI std::int32_t mapRowWordsVbmi(const SampleMap& map, const std::uint8_t* in, std::uint8_t* out,
                                                     std::int32_t width, int samplesPerPixel) {
    const std::int32_t samples = width * samplesPerPixel;
    // A step of 64 kBlocks samples starts on a pixel boundary, so the lanes of a fourth
    // sample are the same in every vector; they are kept as they are, whatever they hold.
    const __mmask32 channelLanes = samplesPerPixel == 4 ? __mmask32{0x77777777u} : ~__mmask32{0};
    const __m512i aboveTenBits = _mm512_set1_epi16(static_cast<short>(0xFC00));
    const std::uint8_t* planes = map.bytePlanes();
    for (std::int32_t i = 0; i < samples; i += 64 * kBlocks) {
        const WordBlocks blocks = loadBlocks(in + 2 * static_cast<std::ptrdiff_t>(i), samples - i);
        __m512i seen = _mm512_setzero_si512();
        for (int v = 0; v < 2 * kBlocks; ++v) seen = _mm512_or_si512(seen, blocks.words[v]);
        if (_mm512_mask_test_epi16_mask(channelLanes, seen, aboveTenBits) != 0) {
            mapSamplesOneByOne(map, in, out, i, std::min(samples, i + 64 * kBlocks), samplesPerPixel);
            continue;
        }
        __m512i mapped[2 * kBlocks];
        lookupBlocks(planes, blocks, mapped);
        for (int v = 0; v < 2 * kBlocks; ++v) {
            std::uint8_t* row = out + 2 * static_cast<std::ptrdiff_t>(i + 32 * v);
            _mm512_mask_storeu_epi16(row, blocks.valid[v] & channelLanes, mapped[v]);
            if (samplesPerPixel == 4) _mm512_mask_storeu_epi16(row, blocks.valid[v] & ~channelLanes, blocks.words[v]);
        }
    }
    _mm256_zeroupper();
    return width;
}

// The bytes of whole rows through the 256-entry byte table: two two-register byte
// permutes (entries 0..127 and 128..255) by the low seven bits, picked by bit 7.
ORVIX_TARGET_AVX512VBMI std::int32_t mapRowBytesVbmi(const SampleMap& map, const std::uint8_t* in, std::uint8_t* out,
                                                     std::int32_t width, int samplesPerPixel) {
    const std::uint8_t* table = map.bytes();
    const __m512i low0 = _mm512_loadu_si512(table);
    const __m512i low1 = _mm512_loadu_si512(table + 64);
    const __m512i high0 = _mm512_loadu_si512(table + 128);
    const __m512i high1 = _mm512_loadu_si512(table + 192);
    // Steps of 64 bytes start on a pixel boundary of 4-byte pixels; a fourth byte is kept.
    const __mmask64 channelBytes = samplesPerPixel == 4 ? __mmask64{0x7777777777777777ull} : ~__mmask64{0};
    const std::ptrdiff_t bytes = static_cast<std::ptrdiff_t>(width) * samplesPerPixel;
    for (std::ptrdiff_t i = 0; i < bytes; i += 64) {
        const std::ptrdiff_t left = bytes - i;
        const __mmask64 valid = left >= 64 ? ~__mmask64{0} : (__mmask64{1} << left) - 1;
        const __m512i x = _mm512_maskz_loadu_epi8(valid, in + i);
        const __m512i mapped = _mm512_mask_blend_epi8(_mm512_movepi8_mask(x), _mm512_permutex2var_epi8(low0, x, low1),
                                                      _mm512_permutex2var_epi8(high0, x, high1));
        _mm512_mask_storeu_epi8(out + i, valid & channelBytes, mapped);
        if (samplesPerPixel == 4) _mm512_mask_storeu_epi8(out + i, valid & ~channelBytes, x);
    }
    _mm256_zeroupper();
    return width;
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
std::int32_t mapRowWordsVbmi(const SampleMap&, const std::uint8_t*, std::uint8_t*, std::int32_t, int) { return 0; }
std::int32_t mapRowBytesVbmi(const SampleMap&, const std::uint8_t*, std::uint8_t*, std::int32_t, int) { return 0; }

} // namespace orvix::detail

#endif
