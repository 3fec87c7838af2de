// Sample maps over rows with AVX2.
//
// Bytes: a 256-entry table is sixteen 16-entry tables, one per high nibble; each is
// looked up for all 32 bytes with one byte shuffle by the low nibble, and the four
// high bits pick the right result in a tree of fifteen byte blends.
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

struct ByteTables {
    __m256i part[16];
};

ORVIX_TARGET_AVX2 inline ByteTables byteTables(const std::uint8_t* table) {
    ByteTables tables;
    for (int h = 0; h < 16; ++h) {
        tables.part[h] = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(table + 16 * h)));
    }
    return tables;
}

ORVIX_TARGET_AVX2 inline __m256i lookupBytes(__m256i x, const ByteTables& tables) {
    const __m256i low = _mm256_and_si256(x, _mm256_set1_epi8(0x0F));
    __m256i level[16];
    for (int h = 0; h < 16; ++h) {
        level[h] = _mm256_shuffle_epi8(tables.part[h], low);
    }
    // Bit 4 + b of every byte moved to its top bit, for the blends.
    const __m256i bits[4] = {_mm256_slli_epi16(x, 3), _mm256_slli_epi16(x, 2), _mm256_slli_epi16(x, 1), x};
    for (int b = 0, count = 16; b < 4; ++b, count /= 2) {
        for (int i = 0; i < count / 2; ++i) {
            level[i] = _mm256_blendv_epi8(level[2 * i], level[2 * i + 1], bits[b]);
        }
    }
    return level[0];
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

} // namespace

ORVIX_TARGET_AVX2 std::int32_t mapRowBytesAvx2(const SampleMap& map, const std::uint8_t* in, std::uint8_t* out,
                                               std::int32_t width, int samplesPerPixel) {
    // Whole pixels per step: 32 bytes for 1 and 4 samples per pixel, 96 for 3.
    const std::int32_t stepPixels = samplesPerPixel == 3 ? 32 : 32 / samplesPerPixel;
    const std::int32_t stepBytes = stepPixels * samplesPerPixel;
    const ByteTables tables = byteTables(map.bytes());
    const __m256i keep = _mm256_set1_epi32(samplesPerPixel == 4 ? static_cast<int>(0xFF000000u) : 0);
    std::int32_t k = 0;
    for (; k + stepPixels <= width; k += stepPixels) {
        const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(k) * samplesPerPixel;
        for (std::int32_t b = 0; b < stepBytes; b += 32) {
            const __m256i x = load(in + at + b);
            store(out + at + b, _mm256_blendv_epi8(lookupBytes(x, tables), x, keep));
        }
    }
    return k;
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
