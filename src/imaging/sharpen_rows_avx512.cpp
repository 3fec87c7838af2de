// Sharpen rows of 16-bit samples with AVX-512: the steps of the AVX2 rows (column
// sums of the four source rows, the sum of four neighbouring column sums of the same
// channel, blur = sum >> 4, s + (k x (s - blur)) / 10 limited to the sample range,
// then the folded brightness step when active) on thirty-two lanes, streamed: the
// column sums of a block of 32 samples stay in a register, and the neighbours' sums
// (2 and 1 pixels back, 1 ahead) are word permutes of the blocks before and after,
// so every source sample is loaded once. Masked loads and stores take the ends of the
// row and keep the fourth sample of 4-sample pixels; nothing outside the rows is read
// or written.

#include "imaging/simd_target.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "imaging/avx512_lanes.h"
#include "imaging/sharpen_rows.h"

#if ORVIX_HAVE_AVX512_KERNELS

#include <immintrin.h>

namespace orvix::detail {
namespace {

constexpr std::int32_t kMaxValue = 1023;
constexpr std::int32_t kLanes = 32;

#define T ORVIX_TARGET_AVX512VBMI __attribute__((always_inline)) inline

// Signed 16-bit x / 10, truncating toward zero (exact for every 16-bit value).
T __m512i divideBy10(__m512i x) {
    const __m512i quotient = _mm512_srai_epi16(_mm512_mulhi_epi16(x, _mm512_set1_epi16(26215)), 2);
    return _mm512_sub_epi16(quotient, _mm512_srai_epi16(x, 15));
}

// The samples of `valid` of the 32 at p (0 in the other lanes), limited to the sample
// range unless they are known to be within it.
template <bool InRange>
T __m512i loadSamples(const std::uint8_t* p, __mmask32 valid, __m512i maxValue) {
    const __m512i samples = _mm512_maskz_loadu_epi16(valid, p);
    if constexpr (InRange) {
        (void)maxValue;
        return samples;
    } else {
        return _mm512_min_epu16(samples, maxValue);
    }
}

// What a row's blocks need, in registers.
struct RowConstants {
    __m512i maxValue;
    __m512i gain;
    __m512i whole;
    __m512i fraction;
    __m512i back2; // word permute: lane l takes lane l - 2 spp of (previous, current)
    __m512i back1; // lane l - spp of (previous, current)
    __m512i ahead; // lane l + spp of (current, next)
};

// The lane-shifting indices of two-vector word permutes for a shift by `by` lanes
// (negative: back), with the first vector's lanes at 0..31 and the second's at 32..63.
T __m512i shiftIndex(std::int32_t by) {
    const __m512i lanes = _mm512_set_epi16(31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15, 14, 13,
                                           12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
    return _mm512_add_epi16(lanes, _mm512_set1_epi16(static_cast<short>(by < 0 ? 32 + by : by)));
}

// One block of 32 samples of the four rows: their column sums, and the samples of the
// row being sharpened.
struct Block {
    __m512i sums;
    __m512i own;
};

template <bool InRange>
T Block loadBlock(const std::uint8_t* const rows[4], std::int32_t position, std::int32_t rowSamples,
                  __m512i maxValue) {
    if (position >= rowSamples) return Block{_mm512_setzero_si512(), _mm512_setzero_si512()};
    const std::ptrdiff_t at = 2 * static_cast<std::ptrdiff_t>(position);
    const __mmask32 valid = firstLanes(rowSamples - position);
    const __m512i own = loadSamples<InRange>(rows[2] + at, valid, maxValue);
    const __m512i sums = _mm512_add_epi16(_mm512_add_epi16(loadSamples<InRange>(rows[0] + at, valid, maxValue),
                                                           loadSamples<InRange>(rows[1] + at, valid, maxValue)),
                                          _mm512_add_epi16(own, loadSamples<InRange>(rows[3] + at, valid, maxValue)));
    return Block{sums, own};
}

// The brightness step after sharpen: none, a factor from 1 to 2 (whole part 1), or any.
enum class Brighten { None, FactorOneToTwo, Any };

// The 32 results of the current block, limited, then brightened.
template <Brighten Step>
T __m512i sharpenBlock(__m512i previousSums, const Block& current, __m512i nextSums, const RowConstants& c) {
    const __m512i back2 = _mm512_permutex2var_epi16(previousSums, c.back2, current.sums);
    const __m512i back1 = _mm512_permutex2var_epi16(previousSums, c.back1, current.sums);
    const __m512i ahead = _mm512_permutex2var_epi16(current.sums, c.ahead, nextSums);
    const __m512i box = _mm512_add_epi16(_mm512_add_epi16(back2, back1), _mm512_add_epi16(current.sums, ahead));
    const __m512i blur = _mm512_srli_epi16(box, 4);
    const __m512i s = current.own;
    const __m512i correction = divideBy10(_mm512_mullo_epi16(c.gain, _mm512_sub_epi16(s, blur)));
    const __m512i sharpened = _mm512_max_epi16(_mm512_add_epi16(s, correction), _mm512_setzero_si512());
    if constexpr (Step == Brighten::FactorOneToTwo) {
        // v + ((v x fraction) >> 16) never falls as v grows and is at least M at M, so
        // limiting v to M first changes nothing once the result is limited; v is at
        // most 1023 + 3276 here, so the sum stays below 2^15.
        return _mm512_min_epi16(_mm512_add_epi16(sharpened, _mm512_mulhi_epu16(sharpened, c.fraction)), c.maxValue);
    }
    const __m512i result = _mm512_min_epi16(sharpened, c.maxValue);
    if constexpr (Step == Brighten::None) return result;
    const __m512i bright =
        _mm512_add_epi16(_mm512_mullo_epi16(result, c.whole), _mm512_mulhi_epu16(result, c.fraction));
    return _mm512_min_epi16(bright, c.maxValue);
}

#undef T

// Blocks start at sample 0 of the row; the results of samples 2 spp..(W - 2) spp - 1
// are stored (a sample before 2 spp reads no sum before the row: its results are
// dropped, and the block before the first is zeros).
template <bool InRange, Brighten Step>
ORVIX_TARGET_AVX512VBMI void sharpenRow(const std::uint8_t* const rows[4], std::uint8_t* out, std::int32_t width,
                                        int samplesPerPixel, int channels, std::int32_t k,
                                        const FoldedBrightness& bright) {
    const std::int32_t spp = samplesPerPixel;
    const std::int32_t first = 2 * spp;
    const std::int32_t end = (width - 2) * spp;
    const std::int32_t rowSamples = width * spp;
    const RowConstants c{_mm512_set1_epi16(kMaxValue),
                         _mm512_set1_epi16(static_cast<short>(k)),
                         _mm512_set1_epi16(static_cast<short>(bright.whole)),
                         _mm512_set1_epi16(static_cast<short>(bright.fraction)),
                         shiftIndex(-2 * spp),
                         shiftIndex(-spp),
                         shiftIndex(spp)};
    // A block starts on a pixel boundary (32 is a multiple of 4), so the lanes of a
    // fourth sample are the same in every block.
    const __mmask32 channelLanes = spp == 4 && channels == 3 ? __mmask32{0x77777777u} : ~__mmask32{0};

    __m512i previousSums = _mm512_setzero_si512();
    Block current = loadBlock<InRange>(rows, 0, rowSamples, c.maxValue);
    for (std::int32_t q = 0; q < end; q += kLanes) {
        const Block next = loadBlock<InRange>(rows, q + kLanes, rowSamples, c.maxValue);
        const __m512i result = sharpenBlock<Step>(previousSums, current, next.sums, c);
        const __mmask32 stored = firstLanes(end - q) & ~firstLanes(first - q) & channelLanes;
        _mm512_mask_storeu_epi16(out + 2 * static_cast<std::ptrdiff_t>(q), stored, result);
        previousSums = current.sums;
        current = next;
    }
}

} // namespace

ORVIX_TARGET_AVX512VBMI void sharpenRowAvx512(const std::uint8_t* const rows[4], std::uint8_t* out,
                                              std::int32_t width, int samplesPerPixel, int channels,
                                              std::int32_t sharpness, const FoldedBrightness& brightness,
                                              bool samplesInRange) {
    using Row = void (*)(const std::uint8_t* const*, std::uint8_t*, std::int32_t, int, int, std::int32_t,
                         const FoldedBrightness&);
    const Brighten step = !brightness.active ? Brighten::None
                          : brightness.whole == 1 ? Brighten::FactorOneToTwo
                                                   : Brighten::Any;
    const Row inRange[] = {sharpenRow<true, Brighten::None>, sharpenRow<true, Brighten::FactorOneToTwo>,
                           sharpenRow<true, Brighten::Any>};
    const Row limited[] = {sharpenRow<false, Brighten::None>, sharpenRow<false, Brighten::FactorOneToTwo>,
                           sharpenRow<false, Brighten::Any>};
    (samplesInRange ? inRange : limited)[static_cast<int>(step)](rows, out, width, samplesPerPixel, channels, sharpness,
                                                                 brightness);
    _mm256_zeroupper();
}

} // namespace orvix::detail

#else

namespace orvix::detail {

void sharpenRowAvx512(const std::uint8_t* const*, std::uint8_t*, std::int32_t, int, int, std::int32_t,
                      const FoldedBrightness&, bool) {}

} // namespace orvix::detail

#endif
