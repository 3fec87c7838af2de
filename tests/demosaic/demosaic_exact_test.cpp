// The vectorised demosaic kernels with the reference arithmetic (8-bit raw to 24- and
// 32-bit, 16-bit raw to 48- and 64-bit) against the reference kernels byte for byte,
// and the row-band form of every demosaic kernel against its whole call.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "imaging/demosaic.h"
#include "imaging/demosaic_internal.h"
#include "imaging/filter_tables.h"
#include "imaging/sample_map.h"
#include "imaging/simd_target.h"
#include "imaging/white_balance.h"
#include "kernel_support/kernel_image.h"

namespace orvix {
namespace {

using test::KernelImage;

struct NamedKernel {
    const char* name;
    PixelKernel kernel;
};

// Every form of the exact kernels this build and processor can run.
std::vector<NamedKernel> exactKernels(bool tenBit) {
    std::vector<NamedKernel> kernels = {{"chosen", tenBit ? demosaic16To48Sse2 : demosaic8To24ExactSse2}};
#if ORVIX_HAVE_X86_SIMD
    kernels.push_back({"Sse2Lanes", detail::demosaicExactWithSse2});
    if (detail::avx2Usable()) kernels.push_back({"Avx2Lanes", detail::demosaicExactWithAvx2});
#endif
    return kernels;
}

std::int32_t callKernel(PixelKernel kernel, KernelImage& out, const KernelImage& raw, const KernelRect& rect,
                        std::int32_t dstX, std::int32_t dstY, const DemosaicParams& params) {
    const DemosaicParams* pointer = &params;
    KernelRect r = rect;
    return kernel(out.bits.data(), raw.bits.data(), &r, dstX, dstY, static_cast<std::uint16_t>(out.bytesPerPixel()),
                  static_cast<std::uint16_t>(raw.bytesPerPixel()), out.stride, raw.stride, &pointer, 0);
}

std::vector<std::int32_t> sweepWidths() {
    std::vector<std::int32_t> widths;
    for (std::int32_t w = 4; w <= 64; ++w) widths.push_back(w);
    for (std::int32_t w : {65, 77, 100, 131, 517, 520, 1029, 1360}) widths.push_back(w);
    return widths;
}

// Destination pre-filled with a pattern, so untouched bytes (borders, fourth
// channels) are checked as well.
KernelImage patterned(std::int32_t width, std::int32_t height, int bitsPerPixel, std::mt19937& rng) {
    KernelImage image(width, height, bitsPerPixel);
    std::uniform_int_distribution<int> byte(0, 255);
    for (std::uint8_t& b : image.bits) b = static_cast<std::uint8_t>(byte(rng));
    return image;
}

// Gain cases: unity, random within the dialog's range, the vector kernels' limit,
// large, beyond what the 16-bit lanes hold, zero and negative.
std::vector<DemosaicParams> gainCases(std::int32_t mode, std::mt19937& rng) {
    std::uniform_int_distribution<std::int32_t> gain(0, 400);
    return {{mode, 100, 100, 100},        {mode, gain(rng), gain(rng), gain(rng)}, {mode, 200, 100, 201},
            {mode, 6399, 100, 3000},      {mode, 25599, 100, 6400},                {mode, 40000, 100, 100},
            {mode, 0, 100, -5}};
}

void expectExactOverWidths(int srcBits, int dstBits, std::uint32_t seed) {
    std::mt19937 rng(seed);
    const bool tenBit = srcBits == 16;
    const PixelKernel reference = tenBit ? demosaic16To48 : demosaic8To24;
    for (std::int32_t width : sweepWidths()) {
        const std::int32_t height = width > 100 ? 6 : 8;
        KernelImage raw(width, height, srcBits);
        raw.randomize(rng, tenBit ? 1023 : 255);
        const KernelImage initial = patterned(width, height, dstBits, rng);
        for (std::int32_t mode = 0; mode < 4; ++mode) {
            for (const DemosaicParams& params : gainCases(mode, rng)) {
                KernelImage expected = initial;
                callKernel(reference, expected, raw, KernelRect{0, 0, width, height}, 0, 0, params);
                for (const NamedKernel& k : exactKernels(tenBit)) {
                    KernelImage out = initial;
                    EXPECT_EQ(callKernel(k.kernel, out, raw, KernelRect{0, 0, width, height}, 0, 0, params), 1);
                    ASSERT_TRUE(out.bits == expected.bits)
                        << k.name << " " << srcBits << " to " << dstBits << " width " << width << " mode " << mode
                        << " gains " << params.gainRed << "/" << params.gainBlue;
                }
            }
        }
    }
}

TEST(DemosaicExact, EightBitIntoTwentyFourBitsMatchesTheReferenceAtEveryWidth) { expectExactOverWidths(8, 24, 1); }
TEST(DemosaicExact, EightBitIntoThirtyTwoBitsMatchesTheReferenceAtEveryWidth) { expectExactOverWidths(8, 32, 2); }
TEST(DemosaicExact, SixteenBitIntoFortyEightBitsMatchesTheReferenceAtEveryWidth) { expectExactOverWidths(16, 48, 3); }
TEST(DemosaicExact, SixteenBitIntoSixtyFourBitsMatchesTheReferenceAtEveryWidth) { expectExactOverWidths(16, 64, 4); }

TEST(DemosaicExact, SamplesAboveTenBitsAndFullScaleAreHandledAsTheReferenceDoes) {
    std::mt19937 rng(8);
    for (int dstBits : {48, 64}) {
        const std::int32_t width = 150;
        const std::int32_t height = 12;
        // All 1023 with gains of 400 %: every channel 1023.
        KernelImage full(width, height, 16);
        for (std::int32_t y = 0; y < height; ++y)
            for (std::int32_t x = 0; x < width; ++x) full.set(x, y, 0, 1023);
        // Random words with stray high bits in a few rows and columns.
        KernelImage stray(width, height, 16);
        stray.randomize(rng, 1023);
        stray.set(40, 3, 0, 0xFFFF);
        stray.set(width - 2, 7, 0, 0x8400);
        stray.set(0, 10, 0, 1024);
        for (const KernelImage* raw : {&full, &stray}) {
            for (std::int32_t mode = 0; mode < 4; ++mode) {
                const DemosaicParams params{mode, 400, 100, 400};
                const KernelImage initial = patterned(width, height, dstBits, rng);
                KernelImage expected = initial;
                callKernel(demosaic16To48, expected, *raw, KernelRect{0, 0, width, height}, 0, 0, params);
                if (raw == &full) {
                    EXPECT_EQ(expected.at(50, 5, 0), 1023);
                }
                for (const NamedKernel& k : exactKernels(true)) {
                    KernelImage out = initial;
                    callKernel(k.kernel, out, *raw, KernelRect{0, 0, width, height}, 0, 0, params);
                    ASSERT_TRUE(out.bits == expected.bits) << k.name << " mode " << mode;
                }
            }
        }
    }
}

TEST(DemosaicExact, HonoursTheRectangleAndDestinationPoint) {
    std::mt19937 rng(12);
    for (int srcBits : {8, 16}) {
        KernelImage raw(120, 24, srcBits);
        raw.randomize(rng, srcBits == 8 ? 255 : 1023);
        const KernelRect rect{7, 3, 7 + 93, 3 + 17};
        for (int dstBits : srcBits == 8 ? std::vector<int>{24, 32} : std::vector<int>{48, 64}) {
            for (std::int32_t mode = 0; mode < 4; ++mode) {
                const DemosaicParams params{mode, 130, 100, 260};
                const KernelImage initial = patterned(110, 22, dstBits, rng);
                KernelImage expected = initial;
                callKernel(srcBits == 8 ? demosaic8To24 : demosaic16To48, expected, raw, rect, 5, 2, params);
                for (const NamedKernel& k : exactKernels(srcBits == 16)) {
                    KernelImage out = initial;
                    callKernel(k.kernel, out, raw, rect, 5, 2, params);
                    ASSERT_TRUE(out.bits == expected.bits) << k.name << " " << dstBits << " mode " << mode;
                }
            }
        }
    }
}

// The mapped exact rows (the 16-bit demosaic with a 10-bit table applied to what it
// writes) this build and processor can run.
struct NamedMappedRows {
    const char* name;
    void (*rows)(const detail::DemosaicCall&, std::int32_t, std::int32_t, const detail::RowMap&, bool);
};

std::vector<NamedMappedRows> mappedRows() {
    std::vector<NamedMappedRows> rows;
#if ORVIX_HAVE_X86_SIMD
    if (detail::avx2Usable()) rows.push_back({"Avx2", detail::demosaicExactRowsAvx2Mapped});
    if (detail::avx512VbmiUsable()) rows.push_back({"Avx512", detail::demosaicExactRowsAvx512Mapped});
#endif
    return rows;
}

// A random 10-bit table whose entries use every bit of the range.
detail::SampleMap randomMap(std::mt19937& rng) {
    std::uniform_int_distribution<int> entry(0, 1023);
    LookupTable table;
    for (std::uint16_t& value : table.values) value = static_cast<std::uint16_t>(entry(rng));
    detail::SampleMap map(SampleDepth::Bits10);
    map.appendTable(table);
    return map;
}

// What the mapped rows write: the reference kernel, then the map on the three
// channels of columns 2..W - 3 of rows 2..H - 3.
KernelImage referenceMapped(const KernelImage& initial, const KernelImage& raw, const DemosaicParams& params,
                            const detail::SampleMap& map) {
    KernelImage expected = initial;
    callKernel(demosaic16To48, expected, raw, KernelRect{0, 0, raw.width, raw.height}, 0, 0, params);
    for (std::int32_t y = 2; y < raw.height - 2; ++y) {
        for (std::int32_t x = 2; x < raw.width - 2; ++x) {
            for (int c = 0; c < 3; ++c) expected.set(x, y, c, map(expected.at(x, y, c)));
        }
    }
    return expected;
}

TEST(DemosaicExactMapped, EveryFormGivesTheReferenceThenTheMapAtEveryWidthPhaseAndGain) {
    std::mt19937 rng(41);
    const std::vector<NamedMappedRows> forms = mappedRows();
    if (forms.empty()) GTEST_SKIP() << "no vector form of the mapped rows runs here";
    for (int dstBits : {48, 64}) {
        for (std::int32_t width : sweepWidths()) {
            const std::int32_t height = 7;
            KernelImage raw(width, height, 16);
            raw.randomize(rng, 1023);
            if (width % 5 == 0) raw.set(width / 2, 4, 0, 0x8400); // that row falls back on the reference
            const detail::SampleMap map = randomMap(rng);
            const detail::RowMap rowMap{map.words(), map.bytePlanes()};
            const KernelImage initial = patterned(width, height, dstBits, rng);
            for (std::int32_t mode = 0; mode < 4; ++mode) {
                for (const DemosaicParams& params : gainCases(mode, rng)) {
                    const KernelImage expected = referenceMapped(initial, raw, params, map);
                    for (const NamedMappedRows& form : forms) {
                        KernelImage out = initial;
                        const detail::DemosaicCall call{out.bits.data(), raw.bits.data(), KernelRect{0, 0, width, height},
                                                        0, 0, static_cast<std::uint16_t>(out.bytesPerPixel()), 2,
                                                        out.stride, raw.stride, params};
                        // In two bands, so that a band starting past row 0 is covered as well.
                        form.rows(call, 0, 4, rowMap, false);
                        form.rows(call, 4, height, rowMap, false);
                        ASSERT_TRUE(out.bits == expected.bits) << form.name << " into " << dstBits << " width " << width
                                                               << " mode " << mode << " gains " << params.gainRed << "/"
                                                               << params.gainBlue;
                    }
                }
            }
        }
    }
}

// With the fourth word free, every form writes the same bytes (the first three words
// as without it).
TEST(DemosaicExactMapped, WithTheFourthWordFreeEveryFormWritesTheSameBytes) {
    std::mt19937 rng(42);
    const std::vector<NamedMappedRows> forms = mappedRows();
    if (forms.empty()) GTEST_SKIP() << "no vector form of the mapped rows runs here";
    for (std::int32_t width : {20, 33, 64, 517, 1360}) {
        KernelImage raw(width, 6, 16);
        raw.randomize(rng, 1023);
        const detail::SampleMap map = randomMap(rng);
        const detail::RowMap rowMap{map.words(), map.bytePlanes()};
        const KernelImage initial = patterned(width, 6, 64, rng);
        const DemosaicParams params{1, 180, 100, 120};
        const KernelImage expected = referenceMapped(initial, raw, params, map);
        std::vector<std::uint8_t> first;
        for (const NamedMappedRows& form : forms) {
            KernelImage out = initial;
            const detail::DemosaicCall call{out.bits.data(), raw.bits.data(), KernelRect{0, 0, width, 6}, 0, 0, 8, 2,
                                            out.stride, raw.stride, params};
            form.rows(call, 0, 6, rowMap, true);
            for (std::int32_t y = 0; y < 6; ++y)
                for (std::int32_t x = 0; x < width; ++x)
                    for (int c = 0; c < 3; ++c) ASSERT_EQ(out.at(x, y, c), expected.at(x, y, c)) << form.name;
            if (first.empty()) first = out.bits;
            EXPECT_TRUE(out.bits == first) << form.name << " width " << width;
        }
    }
}

// Every kernel the frame section may choose, with the layouts it takes.
struct BandCase {
    const char* name;
    PixelKernel kernel;
    int srcBits;
    int dstBits;
};

std::vector<BandCase> bandCases() {
    std::vector<BandCase> cases = {
        {"demosaic8To24", demosaic8To24, 8, 24},          {"demosaic8To24/32", demosaic8To24, 8, 32},
        {"demosaic16To48", demosaic16To48, 16, 48},       {"demosaic16To48/64", demosaic16To48, 16, 64},
        {"demosaic8To24ExactSse2", demosaic8To24ExactSse2, 8, 24},
        {"demosaic8To24ExactSse2/32", demosaic8To24ExactSse2, 8, 32},
        {"demosaic16To48Sse2", demosaic16To48Sse2, 16, 48},
        {"demosaic16To48Sse2/64", demosaic16To48Sse2, 16, 64},
        {"demosaic8To24Mmx", demosaic8To24Mmx, 8, 24},    {"demosaic8To24Sse2", demosaic8To24Sse2, 8, 24},
        {"demosaic8To24Sse3", demosaic8To24Sse3, 8, 24},
    };
#if ORVIX_HAVE_X86_SIMD
    cases.push_back({"WithRowsSse2", detail::demosaic8To24WithRowsSse2, 8, 24});
    cases.push_back({"MmxRegisters", detail::demosaic8To24MmxRegisters, 8, 24});
    cases.push_back({"ExactSse2/64", detail::demosaicExactWithSse2, 16, 64});
    if (detail::avx2Usable()) {
        cases.push_back({"WithRowsAvx2", detail::demosaic8To24WithRowsAvx2, 8, 24});
        cases.push_back({"ExactAvx2/32", detail::demosaicExactWithAvx2, 8, 32});
    }
#endif
    return cases;
}

TEST(DemosaicRows, BandsOfAnySizeGiveTheWholeCallsBytes) {
    std::mt19937 rng(31);
    for (const BandCase& c : bandCases()) {
        for (std::int32_t width : {5, 19, 37, 100}) {
            const std::int32_t height = 23;
            KernelImage raw(width, height, c.srcBits);
            raw.randomize(rng, c.srcBits == 8 ? 255 : 1023);
            const KernelRect rect{0, 1, width, height};
            for (std::int32_t mode = 0; mode < 4; ++mode) {
                for (const DemosaicParams& params : {DemosaicParams{mode, 150, 100, 90}, DemosaicParams{mode, 300, 100, 100}}) {
                    const KernelImage initial = patterned(width, height, c.dstBits, rng);
                    KernelImage whole = initial;
                    callKernel(c.kernel, whole, raw, rect, 0, 0, params);
                    for (std::int32_t bandRows : {1, 2, 3, 7, 22}) {
                        KernelImage banded = initial;
                        detail::DemosaicCall call{banded.bits.data(), raw.bits.data(), rect, 0, 0,
                                                  static_cast<std::uint16_t>(banded.bytesPerPixel()),
                                                  static_cast<std::uint16_t>(raw.bytesPerPixel()), banded.stride,
                                                  raw.stride, params};
                        for (std::int32_t first = 0; first < rect.height(); first += bandRows) {
                            ASSERT_TRUE(detail::demosaicRows(c.kernel, call, first, first + bandRows)) << c.name;
                        }
                        ASSERT_TRUE(banded.bits == whole.bits)
                            << c.name << " width " << width << " mode " << mode << " bands of " << bandRows;
                    }
                }
            }
        }
    }
    // Any other kernel has no band form.
    detail::DemosaicCall call;
    EXPECT_FALSE(detail::demosaicRows(measureWhiteBalance8, call, 0, 1));
}

} // namespace
} // namespace orvix
