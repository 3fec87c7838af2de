// The AVX2 rows of the filter section against plain per-sample rules: the byte
// sample map (every byte value, in place and between separate rows) and the sharpen
// rows with and without a folded brightness, over every width from 4 to 64 and the
// full frame width, every layout and both sample sizes; the AVX-512 byte map and
// sharpen rows of 16-bit samples likewise, where they run.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "imaging/demosaic_internal.h"
#include "imaging/filter_tables.h"
#include "imaging/sample_map.h"
#include "imaging/sharpen_rows.h"
#include "imaging/simd_target.h"

namespace orvix {
namespace {

constexpr std::int32_t kFullWidth = 1360;

std::vector<std::int32_t> widths() {
    std::vector<std::int32_t> all;
    for (std::int32_t w = 4; w <= 64; ++w) all.push_back(w);
    all.push_back(kFullWidth);
    return all;
}

bool avx2Here() {
#if ORVIX_HAVE_X86_SIMD
    return detail::avx2Usable();
#else
    return false;
#endif
}

// Gamma and contrast in one 8-bit map, with brightness when asked.
detail::SampleMap byteMap(std::int32_t gamma, std::int32_t contrast, std::int32_t brightness) {
    detail::SampleMap map(SampleDepth::Bits8);
    LookupTable table;
    buildGammaTable(gamma, SampleDepth::Bits8, table);
    map.appendTable(table);
    buildContrastTable(contrast, SampleDepth::Bits8, table);
    map.appendTable(table);
    if (brightness != 0) map.appendBrightness(brightness);
    return map;
}

TEST(ByteMapRows, EveryWidthAndLayoutMapsEachSampleOnceInPlaceAndBetweenRows) {
    if (!avx2Here()) GTEST_SKIP() << "no AVX2 on this processor";
    std::mt19937 rng(41);
    std::uniform_int_distribution<int> byte(0, 255);
    const detail::SampleMap maps[] = {byteMap(120, 20, 0), byteMap(50, -50, -128), byteMap(200, 127, 255)};
    for (const detail::SampleMap& map : maps) {
        for (int samplesPerPixel : {1, 3, 4}) {
            const int channels = std::min(samplesPerPixel, 3);
            for (std::int32_t width : widths()) {
                const auto count = static_cast<std::size_t>(width * samplesPerPixel);
                std::vector<std::uint8_t> row(count);
                // Every byte value appears in the rows long enough to hold them all.
                for (std::size_t i = 0; i < count; ++i) row[i] = static_cast<std::uint8_t>(count >= 256 ? i : byte(rng));
                std::vector<std::uint8_t> expected(count);
                for (std::size_t i = 0; i < count; ++i) {
                    const bool fourth = samplesPerPixel == 4 && i % 4 == 3;
                    expected[i] = fourth ? row[i] : static_cast<std::uint8_t>(map(row[i]));
                }
                // The AVX2 form, and the AVX-512 one where it runs.
                for (bool wide : {false, true}) {
                    std::vector<std::uint8_t> inPlace = row;
                    detail::mapRow(map, inPlace.data(), inPlace.data(), width, samplesPerPixel, channels, true, wide);
                    ASSERT_EQ(inPlace, expected)
                        << "in place, " << samplesPerPixel << " samples, width " << width << ", wide " << wide;
                    // A separate row, its bytes around the row's end left alone.
                    std::vector<std::uint8_t> separate(count + 8, 0xA5);
                    detail::mapRow(map, row.data(), separate.data(), width, samplesPerPixel, channels, true, wide);
                    ASSERT_TRUE(std::equal(expected.begin(), expected.end(), separate.begin()))
                        << "separate, " << samplesPerPixel << " samples, width " << width << ", wide " << wide;
                    ASSERT_TRUE(std::all_of(separate.begin() + static_cast<std::ptrdiff_t>(count), separate.end(),
                                            [](std::uint8_t b) { return b == 0xA5; }));
                }
            }
        }
    }
}

// One sharpened sample by the rule: blur = (sum of the 4 x 4 window) >> 4, then
// s + (k x (s - blur)) / 10 limited to 0..M (samples read as at most M).
std::int32_t sharpenedSample(const std::vector<std::vector<std::uint16_t>>& rows, std::int32_t x, int c, int spp,
                             std::int32_t k, std::int32_t maxValue) {
    auto at = [&](std::size_t r, std::int32_t column) {
        return std::min<std::int32_t>(rows[r][static_cast<std::size_t>(column * spp + c)], maxValue);
    };
    std::int32_t sum = 0;
    for (std::size_t r = 0; r < 4; ++r) {
        for (std::int32_t column = x - 2; column <= x + 1; ++column) sum += at(r, column);
    }
    const std::int32_t s = at(2, x);
    return std::clamp(s + (k * (s - (sum >> 4))) / 10, 0, maxValue);
}

// Which rows run: the AVX2 ones, or the AVX-512 ones (16-bit samples) limiting the
// samples they read or told that the samples are within the range.
enum class SharpenForm { Avx2, Avx512, Avx512InRange };

struct SharpenCase {
    int sampleBytes;
    int samplesPerPixel;
    std::int32_t sharpness;
    std::int32_t brightness; // 0: none folded
    SharpenForm form = SharpenForm::Avx2;
};

void checkSharpenRows(const SharpenCase& t, std::mt19937& rng) {
    const std::int32_t maxValue = t.sampleBytes == 1 ? 255 : 1023;
    const int channels = std::min(t.samplesPerPixel, 3);
    // The brightness folded in where a fixed-point factor gives its table (as the
    // filter section folds it); the rows alone otherwise.
    detail::FoldedBrightness folded;
    LookupTable brightness;
    if (t.brightness != 0) {
        const SampleDepth depth = t.sampleBytes == 1 ? SampleDepth::Bits8 : SampleDepth::Bits10;
        buildBrightnessTable(t.brightness, depth, brightness);
        (void)detail::foldBrightness([&](std::int32_t v) { return brightness.values[static_cast<std::size_t>(v)]; },
                                     brightnessFactor(t.brightness), maxValue, folded);
    }
    // Now and then a 16-bit word above the range, which reads as M (unless the rows are
    // told that there is none).
    const int largestSample = t.sampleBytes == 1 ? 255 : t.form == SharpenForm::Avx512InRange ? 1023 : 1100;
    std::uniform_int_distribution<int> value(0, largestSample);
    for (std::int32_t width : widths()) {
        const auto count = static_cast<std::size_t>(width * t.samplesPerPixel);
        std::vector<std::vector<std::uint16_t>> rows(4, std::vector<std::uint16_t>(count));
        std::vector<std::vector<std::uint8_t>> bytes(4, std::vector<std::uint8_t>(count * static_cast<std::size_t>(t.sampleBytes)));
        for (std::size_t r = 0; r < 4; ++r) {
            for (std::size_t i = 0; i < count; ++i) {
                rows[r][i] = static_cast<std::uint16_t>(value(rng));
                if (t.sampleBytes == 1) {
                    bytes[r][i] = static_cast<std::uint8_t>(rows[r][i]);
                } else {
                    std::memcpy(&bytes[r][2 * i], &rows[r][i], 2);
                }
            }
        }
        std::vector<std::uint8_t> out(bytes[0].size());
        for (std::size_t i = 0; i < out.size(); ++i) out[i] = static_cast<std::uint8_t>(i * 13 + 1);
        std::vector<std::uint8_t> expected = out;
        for (std::int32_t x = 2; x <= width - 3; ++x) {
            for (int c = 0; c < channels; ++c) {
                std::int32_t v = sharpenedSample(rows, x, c, t.samplesPerPixel, t.sharpness, maxValue);
                if (folded.active) v = brightness.values[static_cast<std::size_t>(v)];
                const std::size_t i = static_cast<std::size_t>(x * t.samplesPerPixel + c);
                if (t.sampleBytes == 1) {
                    expected[i] = static_cast<std::uint8_t>(v);
                } else {
                    const auto word = static_cast<std::uint16_t>(v);
                    std::memcpy(&expected[2 * i], &word, 2);
                }
            }
        }
        const std::uint8_t* const pointers[4] = {bytes[0].data(), bytes[1].data(), bytes[2].data(), bytes[3].data()};
        if (t.form == SharpenForm::Avx2) {
            detail::sharpenRowAvx2(pointers, out.data(), width, t.samplesPerPixel, channels, t.sharpness,
                                   t.sampleBytes, folded);
        } else {
            detail::sharpenRowAvx512(pointers, out.data(), width, t.samplesPerPixel, channels, t.sharpness, folded,
                                     t.form == SharpenForm::Avx512InRange);
        }
        ASSERT_EQ(out, expected) << "form " << static_cast<int>(t.form) << ", " << t.sampleBytes << "-byte samples, " << t.samplesPerPixel << " per pixel, sharpness "
                                 << t.sharpness << ", brightness " << t.brightness << (folded.active ? " folded" : "")
                                 << ", width " << width;
    }
}

TEST(SharpenRowsAvx2, EveryWidthLayoutAndSampleSizeFollowsTheRuleWithAndWithoutBrightness) {
    if (!avx2Here()) GTEST_SKIP() << "no AVX2 on this processor";
    std::mt19937 rng(97);
    for (int sampleBytes : {1, 2}) {
        // The largest sharpness the 16-bit lanes take exactly: |k| x M <= 32767.
        const std::int32_t largest = sampleBytes == 1 ? 128 : 32;
        for (int samplesPerPixel : {1, 3, 4}) {
            for (std::int32_t sharpness : {5, -7, largest, -largest}) {
                for (std::int32_t brightness : {0, 10, -100, 200, -1}) {
                    checkSharpenRows(SharpenCase{sampleBytes, samplesPerPixel, sharpness, brightness}, rng);
                    if (HasFatalFailure()) return;
                }
            }
        }
    }
}

TEST(SharpenRowsAvx512, EveryWidthAndLayoutOfSixteenBitSamplesFollowsTheRule) {
    if (!detail::avx512VbmiUsable()) GTEST_SKIP() << "the AVX-512 rows do not run here";
    std::mt19937 rng(98);
    for (SharpenForm form : {SharpenForm::Avx512, SharpenForm::Avx512InRange}) {
        for (int samplesPerPixel : {1, 3, 4}) {
            for (std::int32_t sharpness : {5, -7, 32, -32}) {
                for (std::int32_t brightness : {0, 10, -100, 200}) {
                    checkSharpenRows(SharpenCase{2, samplesPerPixel, sharpness, brightness, form}, rng);
                    if (HasFatalFailure()) return;
                }
            }
        }
    }
}

} // namespace
} // namespace orvix
