// Sharpen rows with AVX2: sixteen 16-bit lanes, the same steps as the SSE2 rows
// (column sums of the four source rows, the sum of four neighbouring column sums of
// the same channel, blur = sum >> 4, s + (k x (s - blur)) / 10 limited to the sample
// range), optionally followed by a folded brightness step.

#include "imaging/simd_target.h"

#if ORVIX_HAVE_X86_SIMD

#include <immintrin.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "imaging/sharpen_rows.h"

namespace orvix::detail {
namespace {

// Samples per run of column sums: a whole row of the usual 8- and 24-bit frames, and
// for 16-bit samples a run whose four source rows and sums stay in the first-level
// cache.
constexpr std::int32_t kRunSamples = 4096;
template <typename Sample>
constexpr std::int32_t runSamples() {
    return sizeof(Sample) == 1 ? kRunSamples : kRunSamples / 4;
}

// Signed 16-bit x / 10, truncating toward zero (exact for every 16-bit value).
ORVIX_TARGET_AVX2 inline __m256i divideBy10(__m256i x) {
    const __m256i quotient = _mm256_srai_epi16(_mm256_mulhi_epi16(x, _mm256_set1_epi16(26215)), 2);
    return _mm256_sub_epi16(quotient, _mm256_srai_epi16(x, 15));
}

template <typename Sample>
ORVIX_TARGET_AVX2 inline __m256i load16Samples(const std::uint8_t* p, __m256i maxValue) {
    if constexpr (sizeof(Sample) == 1) {
        (void)maxValue;
        return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    } else {
        return _mm256_min_epu16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), maxValue);
    }
}

// Stores sixteen results (16-bit samples already limited; 8-bit ones limited by the
// packing into bytes), keeping lanes whose `keep` mask is set
// (only when KeepFourth: pixels of four samples).
template <typename Sample, bool KeepFourth>
ORVIX_TARGET_AVX2 inline void store16Results(std::uint8_t* p, __m256i results, __m256i keep) {
    if constexpr (!KeepFourth) {
        if constexpr (sizeof(Sample) == 1) {
            const __m128i bytes =
                _mm256_castsi256_si128(_mm256_permute4x64_epi64(_mm256_packus_epi16(results, results), 0x08));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p), bytes);
        } else {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), results);
        }
        (void)keep;
    } else if constexpr (sizeof(Sample) == 1) {
        const __m128i bytes = _mm256_castsi256_si128(_mm256_permute4x64_epi64(_mm256_packus_epi16(results, results), 0x08));
        const __m128i keepBytes =
            _mm256_castsi256_si128(_mm256_permute4x64_epi64(_mm256_packs_epi16(keep, keep), 0x08));
        const __m128i old = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_blendv_epi8(bytes, old, keepBytes));
    } else {
        const __m256i old = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), _mm256_blendv_epi8(results, old, keep));
    }
}

ORVIX_TARGET_AVX2 inline __m256i loadSums(const std::uint16_t* v) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(v));
}

template <typename Sample>
inline std::int32_t loadOne(const std::uint8_t* p, std::int32_t maxValue) {
    Sample value;
    std::memcpy(&value, p, sizeof value);
    return std::min<std::int32_t>(value, maxValue);
}

template <typename Sample>
inline void storeOne(std::uint8_t* p, std::int32_t value) {
    const Sample sample = static_cast<Sample>(value);
    std::memcpy(p, &sample, sizeof sample);
}

inline std::int32_t brightenOne(std::int32_t v, const FoldedBrightness& b, std::int32_t maxValue) {
    if (!b.active) return v;
    return std::min(v * b.whole + static_cast<std::int32_t>((std::int64_t{v} * b.fraction) >> 16), maxValue);
}

// What one row's vector steps need, in registers.
struct RowConstants {
    __m256i maxValue;
    __m256i gain;
    __m256i whole;
    __m256i fraction;
};

// Sixteen results from the column sums v (of the first of them) and the source
// samples at `s`, limited to the sample range, then brightened when Brighten. For
// 8-bit samples the last limit to 0..255 is left to the store, whose packing of
// signed 16-bit lanes into bytes makes it (a folded factor below 32 keeps
// 255 x factor in range).
template <typename Sample, bool Brighten>
ORVIX_TARGET_AVX2 inline __m256i sharpen16(const std::uint16_t* v, std::int32_t spp, const std::uint8_t* source,
                                           const RowConstants& c) {
    const __m256i box = _mm256_add_epi16(_mm256_add_epi16(loadSums(v - 2 * spp), loadSums(v - spp)),
                                         _mm256_add_epi16(loadSums(v), loadSums(v + spp)));
    const __m256i blur = _mm256_srli_epi16(box, 4);
    const __m256i s = load16Samples<Sample>(source, c.maxValue);
    const __m256i correction = divideBy10(_mm256_mullo_epi16(c.gain, _mm256_sub_epi16(s, blur)));
    constexpr bool packed = sizeof(Sample) == 1;
    const __m256i sharpened = _mm256_add_epi16(s, correction);
    if constexpr (packed && !Brighten) return sharpened;
    const __m256i result = _mm256_min_epi16(_mm256_max_epi16(sharpened, _mm256_setzero_si256()), c.maxValue);
    if constexpr (!Brighten) return result;
    const __m256i bright =
        _mm256_add_epi16(_mm256_mullo_epi16(result, c.whole), _mm256_mulhi_epu16(result, c.fraction));
    if constexpr (packed) return bright;
    return _mm256_min_epi16(bright, c.maxValue);
}

// The column sums of sixteen samples at byte offset `at` of the four rows.
template <typename Sample>
ORVIX_TARGET_AVX2 inline void sum16(const std::uint8_t* const rows[4], std::ptrdiff_t at, __m256i maxValue,
                                    std::uint16_t* sums) {
    const __m256i sum = _mm256_add_epi16(
        _mm256_add_epi16(load16Samples<Sample>(rows[0] + at, maxValue), load16Samples<Sample>(rows[1] + at, maxValue)),
        _mm256_add_epi16(load16Samples<Sample>(rows[2] + at, maxValue), load16Samples<Sample>(rows[3] + at, maxValue)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums), sum);
}

// Column sums [0, count) of the four rows from sample v0 on. A count of 16 or more
// ends with a step over the last sixteen, overlapping the step before.
template <typename Sample, std::int32_t MaxValue>
ORVIX_TARGET_AVX2 void sumColumns(const std::uint8_t* const rows[4], std::int32_t v0, std::int32_t count,
                                  std::uint16_t* sums) {
    constexpr std::ptrdiff_t size = sizeof(Sample);
    const __m256i maxValue = _mm256_set1_epi16(MaxValue);
    const std::uint8_t* const local[4] = {rows[0], rows[1], rows[2], rows[3]};
    std::int32_t i = 0;
    for (; i + 32 <= count; i += 32) {
        sum16<Sample>(local, static_cast<std::ptrdiff_t>(v0 + i) * size, maxValue, sums + i);
        sum16<Sample>(local, static_cast<std::ptrdiff_t>(v0 + i + 16) * size, maxValue, sums + i + 16);
    }
    for (; i + 16 <= count; i += 16) sum16<Sample>(local, static_cast<std::ptrdiff_t>(v0 + i) * size, maxValue, sums + i);
    if (i == count) return;
    if (count >= 16) {
        sum16<Sample>(local, static_cast<std::ptrdiff_t>(v0 + count - 16) * size, maxValue, sums + count - 16);
        return;
    }
    for (; i < count; ++i) {
        const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(v0 + i) * size;
        sums[i] = static_cast<std::uint16_t>(loadOne<Sample>(local[0] + at, MaxValue) + loadOne<Sample>(local[1] + at, MaxValue) +
                                             loadOne<Sample>(local[2] + at, MaxValue) + loadOne<Sample>(local[3] + at, MaxValue));
    }
}

template <typename Sample, std::int32_t MaxValue, bool KeepFourth, bool Brighten>
ORVIX_TARGET_AVX2 void sharpenRow(const std::uint8_t* const rows[4], std::uint8_t* out, std::int32_t width,
                                  int samplesPerPixel, int channels, std::int32_t k, const FoldedBrightness& bright) {
    constexpr std::ptrdiff_t size = sizeof(Sample);
    const std::int32_t spp = samplesPerPixel;
    const std::int32_t first = 2 * spp;
    const std::int32_t end = (width - 2) * spp;
    const RowConstants c{_mm256_set1_epi16(MaxValue), _mm256_set1_epi16(static_cast<short>(k)),
                         _mm256_set1_epi16(static_cast<short>(bright.whole)),
                         _mm256_set1_epi16(static_cast<short>(bright.fraction))};
    // Lanes of a fourth sample per pixel stay as they are (16 lanes = 4 pixels).
    const __m256i keep = _mm256_setr_epi16(0, 0, 0, -1, 0, 0, 0, -1, 0, 0, 0, -1, 0, 0, 0, -1);
    const __m256i keepBytes = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    const std::uint8_t* source = rows[2];

    alignas(32) std::uint16_t columnSums[kRunSamples + 32];
    for (std::int32_t q0 = first; q0 < end; q0 += runSamples<Sample>()) {
        const std::int32_t q1 = std::min(q0 + runSamples<Sample>(), end);
        const std::int32_t v0 = q0 - 2 * spp;
        sumColumns<Sample, MaxValue>(rows, v0, q1 + spp - v0, columnSums);

        // Steps start on a pixel boundary so the fourth-sample masks line up.
        std::int32_t q = q0;
        if constexpr (sizeof(Sample) == 1) {
            // Thirty-two 8-bit results per step, packed into one store.
            for (; q + 32 <= q1; q += 32) {
                const std::uint16_t* v = columnSums + (q - v0);
                const __m256i low = sharpen16<Sample, Brighten>(v, spp, source + q, c);
                const __m256i high = sharpen16<Sample, Brighten>(v + 16, spp, source + q + 16, c);
                __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(low, high), 0xD8);
                if constexpr (KeepFourth) {
                    const __m256i old = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(out + q));
                    bytes = _mm256_blendv_epi8(bytes, old, keepBytes);
                }
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + q), bytes);
            }
        }
        for (; q + 16 <= q1; q += 16) {
            const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(q) * size;
            const __m256i result = sharpen16<Sample, Brighten>(columnSums + (q - v0), spp, source + at, c);
            store16Results<Sample, KeepFourth>(out + at, result, keep);
        }
        for (; q < q1; ++q) {
            if (q % spp >= channels) continue;
            const std::uint16_t* v = columnSums + (q - v0);
            const std::int32_t blur = (v[-2 * spp] + v[-spp] + v[0] + v[spp]) >> 4;
            const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(q) * size;
            const std::int32_t s = loadOne<Sample>(source + at, MaxValue);
            const std::int32_t sharpened = std::clamp(s + (k * (s - blur)) / 10, 0, MaxValue);
            storeOne<Sample>(out + at, brightenOne(sharpened, bright, MaxValue));
        }
    }
    (void)keepBytes;
}

template <typename Sample, std::int32_t MaxValue, bool KeepFourth>
ORVIX_TARGET_AVX2 void sharpenRowOf(const std::uint8_t* const rows[4], std::uint8_t* out, std::int32_t width,
                                    int samplesPerPixel, int channels, std::int32_t k, const FoldedBrightness& bright) {
    (bright.active ? sharpenRow<Sample, MaxValue, KeepFourth, true> : sharpenRow<Sample, MaxValue, KeepFourth, false>)(
        rows, out, width, samplesPerPixel, channels, k, bright);
}

} // namespace

ORVIX_TARGET_AVX2 void sharpenRowAvx2(const std::uint8_t* const rows[4], std::uint8_t* out, std::int32_t width,
                                      int samplesPerPixel, int channels, std::int32_t sharpness, int sampleBytes,
                                      const FoldedBrightness& brightness) {
    const bool keepFourth = samplesPerPixel == 4 && channels == 3;
    if (sampleBytes == 1) {
        (keepFourth ? sharpenRowOf<std::uint8_t, 255, true> : sharpenRowOf<std::uint8_t, 255, false>)(
            rows, out, width, samplesPerPixel, channels, sharpness, brightness);
    } else {
        (keepFourth ? sharpenRowOf<std::uint16_t, 1023, true> : sharpenRowOf<std::uint16_t, 1023, false>)(
            rows, out, width, samplesPerPixel, channels, sharpness, brightness);
    }
}

} // namespace orvix::detail

#endif
