// Gray-mode site gains: the reference rule, the vectorised forms, the measurement
// and its counter.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "imaging/demosaic.h"
#include "imaging/gray_gains.h"
#include "imaging/simd_target.h"
#include "kernel_support/kernel_image.h"

namespace orvix {
namespace {

using test::KernelImage;
using test::runInPlace;

// Site names by phase (a, b): (0,0) G1, (0,1) R, (1,0) B, (1,1) G2.
enum Site { kG1, kR, kB, kG2 };
Site siteAt(std::int32_t mode, int x, int y) {
    const int a = bayerRowPhase(mode) ^ (y & 1);
    const int b = bayerColumnPhase(mode) ^ (x & 1);
    return a == 0 ? (b == 0 ? kG1 : kR) : (b == 0 ? kB : kG2);
}

KernelImage siteFrame(int width, int height, std::int32_t mode, const int values[4]) {
    KernelImage image(width, height, 8);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.set(x, y, 0, values[siteAt(mode, x, y)]);
        }
    }
    return image;
}

TEST(GrayGains, ScaleAndOffsetEachSite) {
    const int values[4] = {100, 10, 70, 200}; // G1, R, B, G2
    KernelImage image = siteFrame(6, 4, 0, values);
    GrayGainParams params{0, 256, 128, 128, 128, 0, 0, 0, 0};
    runInPlace(applyGrayGains8, image, &params);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 6; ++x) {
            const int expected[4] = {100, 20, 70, 200};
            EXPECT_EQ(image.at(x, y), expected[siteAt(0, x, y)]);
        }
    }
    // Doubling limits at 255; offset R -50 takes a sample of 10 to 0.
    const int bright[4] = {100, 200, 70, 200};
    image = siteFrame(6, 4, 0, bright);
    runInPlace(applyGrayGains8, image, &params);
    EXPECT_EQ(image.at(1, 0), 255);
    image = siteFrame(6, 4, 0, values);
    params.offsetR = -50;
    runInPlace(applyGrayGains8, image, &params);
    EXPECT_EQ(image.at(1, 0), 0);
    EXPECT_EQ(image.at(0, 0), 100);

    // Offsets alone never start the step.
    GrayGainParams offsetsOnly{2, 128, 128, 128, 128, 30, -30, 5, 5};
    EXPECT_FALSE(grayGainsActive(offsetsOnly));
    offsetsOnly.gainG2 = 129;
    EXPECT_TRUE(grayGainsActive(offsetsOnly));
}

struct NamedKernel {
    const char* name;
    PixelKernel kernel;
};

TEST(GrayGains, VectorFormsEqualTheReferenceForEveryPixel) {
    std::vector<NamedKernel> kernels = {{"Mmx", applyGrayGains8Mmx}, {"Sse2", applyGrayGains8Sse2}};
#if ORVIX_HAVE_X86_SIMD
    kernels.push_back({"MmxRegisters", detail::applyGrayGains8MmxRegisters});
#endif
    std::mt19937 rng(8);
    std::uniform_int_distribution<int> gain(0, 400);
    std::uniform_int_distribution<int> offset(-255, 255);
    const GrayGainParams extremes[] = {
        {1, 16448, 0, 257, 258, 0, 0, 0, 0},
        {2, 20000, 128, 128, 128, 0, 0, 0, 0}, // beyond the vector range: reference
        {3, -40, 128, 300, 128, 40, 0, 0, 0},
        {0, 400, 400, 400, 400, -70000, 70000, 32767, -32768},
    };
    for (int width : {1, 3, 7, 8, 9, 15, 16, 17, 31, 33, 100}) {
        for (int round = 0; round < 8; ++round) {
            KernelImage original(width, 5, 8);
            original.randomize(rng, 255);
            GrayGainParams params = round < 4 ? extremes[round]
                                              : GrayGainParams{round % 4, gain(rng), gain(rng), gain(rng), gain(rng),
                                                               offset(rng), offset(rng), offset(rng), offset(rng)};
            KernelImage expected = original;
            runInPlace(applyGrayGains8, expected, &params);
            for (const NamedKernel& k : kernels) {
                KernelImage image = original;
                EXPECT_EQ(runInPlace(k.kernel, image, &params), 1);
                ASSERT_EQ(image.bits, expected.bits) << k.name << " width " << width << " round " << round;
            }
        }
    }
}

TEST(GrayGains, MeasurementMatchesSitesToG1AndSkipsBlackAndSaturated) {
    const int values[4] = {100, 50, 200, 80};
    KernelImage image = siteFrame(8, 6, 0, values);
    GrayGainParams params{0, 128, 128, 128, 128, 0, 0, 0, 0};
    runInPlace(measureGrayGains8, image, &params);
    EXPECT_EQ(params.gainG1, 128);
    EXPECT_EQ(params.gainR, 256);
    EXPECT_EQ(params.gainB, 64);
    EXPECT_EQ(params.gainG2, 160);

    // Half the R sites saturated: they do not count, so the gain is still 256.
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 8; ++x) {
            if (siteAt(0, x, y) == kR && x % 4 == 1) {
                image.set(x, y, 0, 255);
            }
            if (siteAt(0, x, y) == kG1 && y % 4 == 0) {
                image.set(x, y, 0, 0);
            }
        }
    }
    GrayGainParams again{0, 128, 128, 128, 128, 0, 0, 0, 0};
    runInPlace(measureGrayGains8, image, &again);
    EXPECT_EQ(again.gainR, 256);
}

TEST(GrayGains, ClassesWithoutCountedSamplesKeepTheirGains) {
    const int values[4] = {100, 255, 0, 50}; // R all saturated, B all black
    KernelImage image = siteFrame(8, 6, 1, values);
    GrayGainParams params{1, 300, 120, 128, 90, 0, 0, 0, 0};
    runInPlace(measureGrayGains8, image, &params);
    EXPECT_EQ(params.gainR, 300);
    EXPECT_EQ(params.gainB, 90);
    EXPECT_EQ(params.gainG2, 256);
    EXPECT_EQ(params.gainG1, 128);

    // No usable G1 sample: nothing changes.
    const int noGreen[4] = {0, 60, 60, 60};
    image = siteFrame(8, 6, 1, noGreen);
    GrayGainParams unchanged{1, 300, 120, 128, 90, 0, 0, 0, 0};
    runInPlace(measureGrayGains8, image, &unchanged);
    EXPECT_EQ(unchanged.gainG1, 120);
    EXPECT_EQ(unchanged.gainR, 300);
}

TEST(GrayGains, OnceMeasuresOneFrameAndCorrectsIt) {
    FilterSettings settings{};
    settings.bayerMode = 0;
    settings.grayGainR = settings.grayGainG1 = settings.grayGainG2 = settings.grayGainB = 128;
    settings.grayGainAuto = 1;
    const int values[4] = {100, 50, 100, 100};
    KernelImage image = siteFrame(10, 6, 0, values);

    // As the filter section does it for one frame.
    GrayGainParams params = grayGainParams(settings);
    if (settings.grayGainAuto != 0) {
        runInPlace(measureGrayGains8, image, &params);
        storeMeasuredGrayGains(settings, params);
    }
    ASSERT_TRUE(grayGainsActive(params));
    runInPlace(chooseGrayGainKernel(ProcessorInfo{}), image, &params);

    EXPECT_EQ(settings.grayGainR, 256);
    EXPECT_EQ(settings.grayGainAuto, 0);
    EXPECT_EQ(image.at(1, 0), 100);
    EXPECT_EQ(image.at(0, 0), 100);

    // Every frame: the counter keeps going down from -1.
    settings.grayGainAuto = -1;
    storeMeasuredGrayGains(settings, params);
    storeMeasuredGrayGains(settings, params);
    EXPECT_EQ(settings.grayGainAuto, -3);
}

TEST(GrayGains, KernelChoiceFollowsTheProcessorMasks) {
    ProcessorInfo cpu{};
    EXPECT_EQ(chooseGrayGainKernel(cpu), &applyGrayGains8);
    cpu.declaredFeatures = cpu.usableFeatures = kFeatureMmx;
    EXPECT_EQ(chooseGrayGainKernel(cpu), &applyGrayGains8Mmx);
    cpu.declaredFeatures = kFeatureMmx | kFeatureSse2;
    EXPECT_EQ(chooseGrayGainKernel(cpu), &applyGrayGains8Mmx);
    cpu.usableFeatures = kFeatureMmx | kFeatureSse2;
    EXPECT_EQ(chooseGrayGainKernel(cpu), &applyGrayGains8Sse2);
}

} // namespace
} // namespace orvix
