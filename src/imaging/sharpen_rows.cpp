// Sharpen rows with SSE2, compiled where the baseline instruction set has it.
//
// Per row: column sums of the four source rows (V), the sum of four neighbouring
// column sums of the same channel (columns x - 2..x + 1), blur = sum >> 4, then
// s + (k x (s - blur)) / 10 limited to the sample range. Work is done in runs of
// samples that fit a fixed buffer.

#include "imaging/sharpen_rows.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orvix::detail {

#if defined(__SSE2__)

namespace {

constexpr std::int32_t kRunSamples = 1024;

// Signed 16-bit x / 10, truncating toward zero (exact for every 16-bit value).
inline __m128i divideBy10(__m128i x) {
    const __m128i quotient = _mm_srai_epi16(_mm_mulhi_epi16(x, _mm_set1_epi16(26215)), 2);
    return _mm_sub_epi16(quotient, _mm_srai_epi16(x, 15));
}

inline std::int32_t divideBy10(std::int32_t x) { return x / 10; }

// The samples of a run as 16-bit lanes, limited to maxValue.
template <typename Sample>
inline __m128i load8Samples(const std::uint8_t* p, __m128i maxValue);

template <>
inline __m128i load8Samples<std::uint8_t>(const std::uint8_t* p, __m128i) {
    return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), _mm_setzero_si128());
}

template <>
inline __m128i load8Samples<std::uint16_t>(const std::uint8_t* p, __m128i maxValue) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return _mm_sub_epi16(x, _mm_subs_epu16(x, maxValue)); // unsigned min
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

// Stores eight results (already limited), keeping lanes whose `keep` mask is set.
template <typename Sample>
inline void store8Results(std::uint8_t* p, __m128i results, __m128i keep);

template <>
inline void store8Results<std::uint8_t>(std::uint8_t* p, __m128i results, __m128i keep) {
    __m128i bytes = _mm_packus_epi16(results, results);
    const __m128i old = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    const __m128i keepBytes = _mm_packs_epi16(keep, keep);
    bytes = _mm_or_si128(_mm_and_si128(keepBytes, old), _mm_andnot_si128(keepBytes, bytes));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), bytes);
}

template <>
inline void store8Results<std::uint16_t>(std::uint8_t* p, __m128i results, __m128i keep) {
    const __m128i old = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p),
                     _mm_or_si128(_mm_and_si128(keep, old), _mm_andnot_si128(keep, results)));
}

template <typename Sample, std::int32_t MaxValue>
void sharpenRow(const std::uint8_t* const rows[4], std::uint8_t* out, std::int32_t width, int samplesPerPixel,
                int channels, std::int32_t k) {
    constexpr std::ptrdiff_t size = sizeof(Sample);
    const std::int32_t spp = samplesPerPixel;
    const std::int32_t first = 2 * spp;            // first output sample
    const std::int32_t end = (width - 2) * spp;    // one past the last
    const __m128i maxValue = _mm_set1_epi16(MaxValue);
    const __m128i gain = _mm_set1_epi16(static_cast<short>(k));
    // Lanes of a fourth sample per pixel stay as they are (8 lanes = 2 or 8 pixels).
    const __m128i keep = spp == 4 && channels == 3 ? _mm_setr_epi16(0, 0, 0, -1, 0, 0, 0, -1) : _mm_setzero_si128();

    std::uint16_t columnSums[kRunSamples + 16];
    for (std::int32_t q0 = first; q0 < end; q0 += kRunSamples) {
        const std::int32_t q1 = std::min(q0 + kRunSamples, end);
        const std::int32_t v0 = q0 - 2 * spp;     // first column sum needed
        const std::int32_t count = q1 + spp - v0; // column sums needed
        std::int32_t i = 0;
        for (; i + 8 <= count; i += 8) {
            const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(v0 + i) * size;
            const __m128i sum = _mm_add_epi16(
                _mm_add_epi16(load8Samples<Sample>(rows[0] + at, maxValue), load8Samples<Sample>(rows[1] + at, maxValue)),
                _mm_add_epi16(load8Samples<Sample>(rows[2] + at, maxValue), load8Samples<Sample>(rows[3] + at, maxValue)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(columnSums + i), sum);
        }
        for (; i < count; ++i) {
            const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(v0 + i) * size;
            columnSums[i] = static_cast<std::uint16_t>(loadOne<Sample>(rows[0] + at, MaxValue) +
                                                       loadOne<Sample>(rows[1] + at, MaxValue) +
                                                       loadOne<Sample>(rows[2] + at, MaxValue) +
                                                       loadOne<Sample>(rows[3] + at, MaxValue));
        }

        // Output samples q0..q1 - 1; the column sum of sample q is columnSums[q - v0].
        std::int32_t q = q0;
        // Vector steps start on a pixel boundary so the fourth-sample mask lines up.
        for (; q + 8 <= q1; q += 8) {
            const std::uint16_t* v = columnSums + (q - v0);
            auto sumsAt = [&](std::int32_t offset) {
                return _mm_loadu_si128(reinterpret_cast<const __m128i*>(v + offset));
            };
            const __m128i box = _mm_add_epi16(_mm_add_epi16(sumsAt(-2 * spp), sumsAt(-spp)),
                                              _mm_add_epi16(sumsAt(0), sumsAt(spp)));
            const __m128i blur = _mm_srli_epi16(box, 4);
            const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(q) * size;
            const __m128i s = load8Samples<Sample>(rows[2] + at, maxValue);
            const __m128i correction = divideBy10(_mm_mullo_epi16(gain, _mm_sub_epi16(s, blur)));
            const __m128i result = _mm_min_epi16(_mm_max_epi16(_mm_add_epi16(s, correction), _mm_setzero_si128()),
                                                 maxValue);
            store8Results<Sample>(out + at, result, keep);
        }
        for (; q < q1; ++q) {
            if (q % spp >= channels) {
                continue;
            }
            const std::uint16_t* v = columnSums + (q - v0);
            const std::int32_t blur = (v[-2 * spp] + v[-spp] + v[0] + v[spp]) >> 4;
            const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(q) * size;
            const std::int32_t s = loadOne<Sample>(rows[2] + at, MaxValue);
            storeOne<Sample>(out + at, std::clamp(s + divideBy10(k * (s - blur)), 0, MaxValue));
        }
    }
}

} // namespace

bool sharpenRowsVectorised(std::int32_t sharpness, std::int32_t maxValue) {
    return std::abs(static_cast<long long>(sharpness)) * maxValue <= 32767;
}

void sharpenRowVector8(const std::uint8_t* const rows[4], std::uint8_t* out, std::int32_t width,
                       int samplesPerPixel, int channels, std::int32_t sharpness) {
    sharpenRow<std::uint8_t, 255>(rows, out, width, samplesPerPixel, channels, sharpness);
}

void sharpenRowVector16(const std::uint8_t* const rows[4], std::uint8_t* out, std::int32_t width,
                        int samplesPerPixel, int channels, std::int32_t sharpness) {
    sharpenRow<std::uint16_t, 1023>(rows, out, width, samplesPerPixel, channels, sharpness);
}

#else

bool sharpenRowsVectorised(std::int32_t, std::int32_t) { return false; }
void sharpenRowVector8(const std::uint8_t* const*, std::uint8_t*, std::int32_t, int, int, std::int32_t) {}
void sharpenRowVector16(const std::uint8_t* const*, std::uint8_t*, std::int32_t, int, int, std::int32_t) {}

#endif

} // namespace orvix::detail
