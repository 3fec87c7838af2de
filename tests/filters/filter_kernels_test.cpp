// Gamma, contrast, brightness and sharpen kernels on hand-made buffers of the four
// layouts.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "imaging/filter_kernels.h"
#include "kernel_support/kernel_image.h"

namespace orvix {
namespace {

using test::KernelImage;
using test::runInPlace;
using test::runKernel;

struct Layout {
    int bitsPerPixel;
    int channels;   // channels the kernels change
    int maxValue;   // largest sample
};
const Layout kLayouts[] = {{8, 1, 255}, {16, 1, 1023}, {24, 3, 255}, {32, 3, 255}, {48, 3, 1023}, {64, 3, 1023}};

struct StepKernels {
    PixelKernel k8, k16, k24, k48;
    PixelKernel forLayout(int bpp) const {
        switch (bpp) {
        case 8: return k8;
        case 16: return k16;
        case 24: case 32: return k24;
        default: return k48;
        }
    }
};
const StepKernels kGamma{applyGamma8, applyGamma16, applyGamma24, applyGamma48};
const StepKernels kContrast{applyContrast8, applyContrast16, applyContrast24, applyContrast48};
const StepKernels kBrightness{applyBrightness8, applyBrightness16, applyBrightness24, applyBrightness48};
const StepKernels kSharpen{sharpen8, sharpen16, sharpen24, sharpen48};

int channelsStored(int bpp) { return bpp == 8 || bpp == 16 ? 1 : (bpp == 24 || bpp == 48) ? 3 : 4; }

TEST(TableKernels, MapEveryChannelThroughTheTableAndLeaveAFourthAlone) {
    std::mt19937 rng(3);
    for (const Layout& layout : kLayouts) {
        const SampleDepth depth = layout.maxValue == 255 ? SampleDepth::Bits8 : SampleDepth::Bits10;
        using Builder = void (*)(std::int32_t, SampleDepth, LookupTable&);
        struct Step {
            StepKernels kernels;
            Builder build;
            int setting;
        };
        for (const Step& step : {Step{kGamma, buildGammaTable, 70}, Step{kContrast, buildContrastTable, -33}}) {
            const StepKernels& kernels = step.kernels;
            const Builder build = step.build;
            const int setting = step.setting;
            KernelImage original(13, 4, layout.bitsPerPixel);
            original.randomize(rng, layout.maxValue);
            LookupTable table;
            build(setting, depth, table);
            FilterTableCache cache;
            for (FilterTableCache* tables : {static_cast<FilterTableCache*>(nullptr), &cache}) {
                KernelImage image = original;
                FilterStepParams params{setting, tables};
                EXPECT_EQ(runInPlace(kernels.forLayout(layout.bitsPerPixel), image, &params), 1);
                for (int y = 0; y < 4; ++y) {
                    for (int x = 0; x < 13; ++x) {
                        for (int c = 0; c < channelsStored(layout.bitsPerPixel); ++c) {
                            const int before = original.at(x, y, c);
                            const int expected = c < layout.channels ? table.values[static_cast<std::size_t>(before)] : before;
                            ASSERT_EQ(image.at(x, y, c), expected) << layout.bitsPerPixel << " bpp";
                        }
                    }
                }
            }
        }
    }
}

TEST(TableKernels, TenBitSamplesAboveRangeReadTheLastEntry) {
    KernelImage image(4, 1, 16);
    image.set(0, 0, 0, 1024);
    image.set(1, 0, 0, 65535);
    image.set(2, 0, 0, 1023);
    FilterStepParams params{50, nullptr};
    runInPlace(applyGamma16, image, &params);
    LookupTable table;
    buildGammaTable(50, SampleDepth::Bits10, table);
    EXPECT_EQ(image.at(0, 0), table.values[1023]);
    EXPECT_EQ(image.at(1, 0), table.values[1023]);
    EXPECT_EQ(image.at(2, 0), table.values[1023]);

    KernelImage colour(2, 1, 48);
    colour.set(0, 0, 2, 40000);
    params.setting = 30;
    runInPlace(applyContrast48, colour, &params);
    EXPECT_EQ(colour.at(0, 0, 2), 1023);
}

TEST(BrightnessKernels, ApplyTheFactorWithTruncationAndLimits) {
    struct Case { int brightness, sample, expected; };
    for (const Case& c : {Case{255, 100, 255}, Case{-255, 100, 0}, Case{25, 100, 198}, Case{-128, 200, 99},
                          Case{-1, 255, 254}}) {
        KernelImage mono(1, 1, 8, static_cast<std::uint8_t>(c.sample));
        FilterStepParams params{c.brightness, nullptr};
        runInPlace(applyBrightness8, mono, &params);
        EXPECT_EQ(mono.at(0, 0), c.expected) << c.brightness;

        KernelImage colour(1, 1, 32, static_cast<std::uint8_t>(c.sample));
        runInPlace(applyBrightness24, colour, &params);
        EXPECT_EQ(colour.at(0, 0, 2), c.expected);
        EXPECT_EQ(colour.at(0, 0, 3), c.sample) << "fourth byte untouched";
    }
    // 10-bit: limited to 1023; a word above the range gets the factor as it is.
    KernelImage wide(3, 1, 16);
    wide.set(0, 0, 0, 600);
    wide.set(1, 0, 0, 2000);
    wide.set(2, 0, 0, 1023);
    FilterStepParams params{-128, nullptr};
    runInPlace(applyBrightness16, wide, &params);
    EXPECT_EQ(wide.at(0, 0), static_cast<int>(600 * (1 - 128 * 0.00392156862745098)));
    EXPECT_EQ(wide.at(1, 0), static_cast<int>(2000 * (1 - 128 * 0.00392156862745098)));
    EXPECT_EQ(wide.at(2, 0), 509);
    KernelImage colour(2, 1, 64);
    colour.set(0, 0, 0, 1000);
    colour.set(0, 0, 3, 777);
    params.setting = 10;
    runInPlace(applyBrightness48, colour, &params);
    EXPECT_EQ(colour.at(0, 0, 0), 1023);
    EXPECT_EQ(colour.at(0, 0, 3), 777);
}

// Sharpen as written: pass 1 stores the 4 x 4 blur in the destination, pass 2 reads
// it back with the unchanged source sample.
void sharpenTranscription(const KernelImage& src, KernelImage& dst, int k, int channels, int M) {
    std::vector<int> D(static_cast<std::size_t>(2 * (M + 1)));
    for (int x = 0; x < 2 * (M + 1); ++x) {
        D[static_cast<std::size_t>(x)] = (k * (x - M)) / 10;
    }
    auto s = [&](int x, int y, int c) { return std::min(src.at(x, y, c), M); };
    for (int y = 2; y <= src.height - 3; ++y) {
        for (int x = 2; x <= src.width - 3; ++x) {
            for (int c = 0; c < channels; ++c) {
                int sum = 0;
                for (int dy = -2; dy <= 1; ++dy) {
                    for (int dx = -2; dx <= 1; ++dx) {
                        sum += s(x + dx, y + dy, c);
                    }
                }
                dst.set(x, y, c, sum >> 4);
            }
        }
    }
    for (int y = 2; y <= src.height - 3; ++y) {
        for (int x = 2; x <= src.width - 3; ++x) {
            for (int c = 0; c < channels; ++c) {
                const int u = dst.at(x, y, c);
                const int v = s(x, y, c);
                dst.set(x, y, c, std::clamp(v + D[static_cast<std::size_t>(v - u + M)], 0, M));
            }
        }
    }
}

TEST(SharpenKernels, EqualTheTwoPassTranscriptionForAllLayouts) {
    std::mt19937 rng(17);
    for (const Layout& layout : kLayouts) {
        for (int width : {1, 4, 5, 6, 7, 9, 17, 40, 401}) {
            for (int k : {1, 5, 10, 30, 33, 127, 200, -7}) {
                KernelImage source(width, 7, layout.bitsPerPixel);
                source.randomize(rng, layout.bitsPerPixel == 16 || layout.bitsPerPixel >= 48 ? 1100 : 255);
                KernelImage expected = source;
                sharpenTranscription(source, expected, k, layout.channels, layout.maxValue);
                KernelImage output = source;
                FilterTableCache cache;
                FilterStepParams params{k, &cache};
                EXPECT_EQ(runKernel(kSharpen.forLayout(layout.bitsPerPixel), output, source, &params), 1);
                ASSERT_EQ(output.bits, expected.bits)
                    << layout.bitsPerPixel << " bpp, width " << width << ", sharpness " << k;
            }
        }
    }
}

TEST(SharpenKernels, FlatAreasStayAndEdgesGetTwiceTheSampleLessTheBlur) {
    KernelImage flat(12, 12, 8, 90);
    KernelImage out = flat;
    FilterStepParams params{10, nullptr};
    runKernel(sharpen8, out, flat, &params);
    EXPECT_EQ(out.bits, flat.bits);

    // A vertical edge: columns 0..5 hold 40, columns 6.. hold 200.
    KernelImage edge(12, 8, 24);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 12; ++x) {
            for (int c = 0; c < 3; ++c) {
                edge.set(x, y, c, x < 6 ? 40 : 200);
            }
        }
    }
    out = edge;
    runKernel(sharpen24, out, edge, &params);
    // Column 5: blur over columns 3..6 = (3 x 40 + 200) / 4 = 80 -> 2 x 40 - 80 = 0.
    EXPECT_EQ(out.at(5, 4, 0), 0);
    // Column 6: blur over columns 4..7 = (2 x 40 + 2 x 200) / 4 = 120 -> 400 - 120, limited.
    EXPECT_EQ(out.at(6, 4, 1), 255);
    // Column 7: blur (40 + 3 x 200) / 4 = 160 -> 240.
    EXPECT_EQ(out.at(7, 4, 2), 240);
    EXPECT_EQ(out.at(1, 4, 0), 40) << "outer columns keep their values";
    EXPECT_EQ(out.at(6, 1, 0), 200) << "outer rows keep their values";

    // 10-bit samples are limited to 1023 (the 2048-entry table).
    KernelImage bright(10, 10, 16);
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 10; ++x) {
            bright.set(x, y, 0, x < 5 ? 100 : 1000);
        }
    }
    KernelImage result = bright;
    params.setting = 5;
    runKernel(sharpen16, result, bright, &params);
    EXPECT_EQ(result.at(5, 5), std::min(1023, 1000 + (5 * (1000 - (2 * 100 + 2 * 1000) / 4)) / 10));
}

} // namespace
} // namespace orvix
