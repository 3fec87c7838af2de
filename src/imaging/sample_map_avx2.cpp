// Sample maps over rows with AVX2.
//
// Bytes: a 256-entry table is sixteen 16-entry tables, one per high nibble; each is
// looked up for all 32 bytes with one byte shuffle by the low nibble, and the four
// high bits pick the right result in a tree of fifteen byte blends, taken a quarter
// of the tables at a time so that everything stays in registers.
// Words: the 10-bit samples are gathered from the table in 32-bit entries; a vector
// holding a sample above 1023 is mapped sample by sample.

#include "imaging/simd_target.h"

#if ORVIX_HAVE_X86_SIMD

#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "imaging/sample_map.h"

namespace orvix::detail {
namespace {

// The 16-entry table of high nibble h in both lanes. Read from the map at each use:
// held in registers, the sixteen tables leave too few for the lookup itself.
ORVIX_TARGET_AVX2 inline __m256i byteTable(const std::uint8_t* table, int h) {
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(table + 16 * h)));
}

// Tables 4g..4g + 3 looked up by the low nibbles, the right one picked by bits 4 and 5
// (at the top of each byte of `bit4` and `bit5`).
ORVIX_TARGET_AVX2 inline __m256i lookupQuarter(const std::uint8_t* table, int g, __m256i low, __m256i bit4,
                                              __m256i bit5) {
    const __m256i even = _mm256_blendv_epi8(_mm256_shuffle_epi8(byteTable(table, 4 * g), low),
                                            _mm256_shuffle_epi8(byteTable(table, 4 * g + 1), low), bit4);
    const __m256i odd = _mm256_blendv_epi8(_mm256_shuffle_epi8(byteTable(table, 4 * g + 2), low),
                                           _mm256_shuffle_epi8(byteTable(table, 4 * g + 3), low), bit4);
    return _mm256_blendv_epi8(even, odd, bit5);
}

ORVIX_TARGET_AVX2 inline __m256i lookupBytes(__m256i x, const std::uint8_t* table) {
    const __m256i low = _mm256_and_si256(x, _mm256_set1_epi8(0x0F));
    const __m256i bit4 = _mm256_slli_epi16(x, 3);
    const __m256i bit5 = _mm256_slli_epi16(x, 2);
    const __m256i bit6 = _mm256_slli_epi16(x, 1);
    const __m256i lower = _mm256_blendv_epi8(lookupQuarter(table, 0, low, bit4, bit5),
                                             lookupQuarter(table, 1, low, bit4, bit5), bit6);
    const __m256i upper = _mm256_blendv_epi8(lookupQuarter(table, 2, low, bit4, bit5),
                                             lookupQuarter(table, 3, low, bit4, bit5), bit6);
    return _mm256_blendv_epi8(lower, upper, x); // bit 7 is the top bit already
}

ORVIX_TARGET_AVX2 inline __m256i load(const std::uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
ORVIX_TARGET_AVX2 inline void store(std::uint8_t* p, __m256i v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}

// Gathers eight 32-bit entries by the eight 16-bit samples of `words` (all <= 1023).
ORVIX_TARGET_AVX2 inline __m256i gather8(const std::int32_t* table, __m128i words) {
    return _mm256_i32gather_epi32(reinterpret_cast<const int*>(table), _mm256_cvtepu16_epi32(words), 4);
}

// Sixteen samples through the table, as 16-bit lanes in order.
ORVIX_TARGET_AVX2 inline __m256i lookupWords(__m256i x, const std::int32_t* table) {
    const __m256i low = gather8(table, _mm256_castsi256_si128(x));
    const __m256i high = gather8(table, _mm256_extracti128_si256(x, 1));
    return _mm256_permute4x64_epi64(_mm256_packus_epi32(low, high), 0xD8);
}

// Whether rows of `bytes` bytes at `a` and `b` share any byte (compared as
// addresses, which is defined for unrelated rows too).
inline bool rangesOverlap(const std::uint8_t* a, const std::uint8_t* b, std::ptrdiff_t bytes) {
    const auto x = reinterpret_cast<std::uintptr_t>(a);
    const auto y = reinterpret_cast<std::uintptr_t>(b);
    const auto n = static_cast<std::uintptr_t>(bytes);
    return x < y + n && y < x + n;
}

// A whole vector of samples one by one (it holds a sample above the table).
template <typename Sample>
void mapVectorOneByOne(const SampleMap& map, const std::uint8_t* in, std::uint8_t* out, int samplesPerPixel,
                       std::size_t firstSample) {
    for (std::size_t i = 0; i < 32 / sizeof(Sample); ++i) {
        const std::size_t at = (firstSample + i) * sizeof(Sample);
        Sample sample;
        std::memcpy(&sample, in + at, sizeof sample);
        if (samplesPerPixel != 4 || (firstSample + i) % 4 != 3) {
            sample = static_cast<Sample>(map(sample));
        }
        std::memcpy(out + at, &sample, sizeof sample);
    }
}

template <bool KeepFourth>
ORVIX_TARGET_AVX2 inline void mapBytesStep(const std::uint8_t* table, const std::uint8_t* in, std::uint8_t* out) {
    const __m256i x = load(in);
    const __m256i mapped = lookupBytes(x, table);
    store(out, KeepFourth ? _mm256_blendv_epi8(mapped, x, _mm256_set1_epi32(static_cast<int>(0xFF000000u))) : mapped);
}

// The bytes of `width` pixels of 1, 3 or 4 samples through the table, 32 at a time
// (KeepFourth: pixels of four bytes whose fourth stays). From a separate row the
// last step ends at the row's end, overlapping the one before; in place that would
// map some samples twice, so the steps stop at a whole number of pixels instead.
// Returns how many pixels are done.
template <bool KeepFourth>
ORVIX_TARGET_AVX2 std::int32_t mapBytes(const std::uint8_t* table, const std::uint8_t* in, std::uint8_t* out,
                                        std::int32_t width, int samplesPerPixel) {
    const std::ptrdiff_t bytes = static_cast<std::ptrdiff_t>(width) * samplesPerPixel;
    const bool separate = !rangesOverlap(in, out, bytes);
    // Steps of 32 bytes are whole pixels of 1 and 4 samples; three of them of 3.
    const std::ptrdiff_t end = separate ? bytes : bytes - bytes % (samplesPerPixel == 3 ? 96 : 32);
    std::ptrdiff_t i = 0;
    for (; i + 32 <= end; i += 32) mapBytesStep<KeepFourth>(table, in + i, out + i);
    if (i < bytes && separate && bytes >= 32) {
        mapBytesStep<KeepFourth>(table, in + bytes - 32, out + bytes - 32);
        i = bytes;
    }
    return static_cast<std::int32_t>(i / samplesPerPixel);
}

} // namespace

ORVIX_TARGET_AVX2 std::int32_t mapRowBytesAvx2(const SampleMap& map, const std::uint8_t* in, std::uint8_t* out,
                                               std::int32_t width, int samplesPerPixel) {
    return samplesPerPixel == 4 ? mapBytes<true>(map.bytes(), in, out, width, samplesPerPixel)
                                : mapBytes<false>(map.bytes(), in, out, width, samplesPerPixel);
}

ORVIX_TARGET_AVX2 std::int32_t mapRowWordsAvx2(const SampleMap& map, const std::uint8_t* in, std::uint8_t* out,
                                               std::int32_t width, int samplesPerPixel) {
    // Whole pixels per step: 16 samples for 1 and 4 samples per pixel, 48 for 3.
    const std::int32_t stepPixels = samplesPerPixel == 3 ? 16 : 16 / samplesPerPixel;
    const std::int32_t stepSamples = stepPixels * samplesPerPixel;
    const __m256i keep =
        samplesPerPixel == 4 ? _mm256_set_epi16(-1, 0, 0, 0, -1, 0, 0, 0, -1, 0, 0, 0, -1, 0, 0, 0) : _mm256_setzero_si256();
    const __m256i tenBits = _mm256_set1_epi16(static_cast<short>(0xFC00));
    std::int32_t k = 0;
    for (; k + stepPixels <= width; k += stepPixels) {
        const std::size_t firstSample = static_cast<std::size_t>(k) * static_cast<std::size_t>(samplesPerPixel);
        for (std::int32_t s = 0; s < stepSamples; s += 16) {
            const std::size_t sample = firstSample + static_cast<std::size_t>(s);
            const __m256i x = load(in + 2 * sample);
            // A fourth sample is kept as it is, whatever it holds.
            if (!_mm256_testz_si256(_mm256_andnot_si256(keep, x), tenBits)) {
                mapVectorOneByOne<std::uint16_t>(map, in, out, samplesPerPixel, sample);
                continue;
            }
            const __m256i mapped = lookupWords(_mm256_andnot_si256(keep, x), map.words());
            store(out + 2 * sample, _mm256_blendv_epi8(mapped, x, keep));
        }
    }
    return k;
}

} // namespace orvix::detail

#endif
