// White-balance measurement, the stored gains and the one-shot flags.

#include <gtest/gtest.h>

#include "imaging/demosaic.h"
#include "imaging/filter_settings.h"
#include "imaging/white_balance.h"
#include "kernel_support/kernel_image.h"

namespace orvix {
namespace {

using test::KernelImage;
using test::runInPlace;
using test::runKernel;

KernelImage sites(std::int32_t width, std::int32_t height, int bpp, std::int32_t mode, std::int32_t green,
                  std::int32_t blue, std::int32_t red) {
    KernelImage raw(width, height, bpp);
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            const int a = bayerRowPhase(mode) ^ (y & 1);
            const int b = bayerColumnPhase(mode) ^ (x & 1);
            raw.set(x, y, 0, a == b ? green : (a == 0 ? blue : red));
        }
    }
    return raw;
}

FilterSettings defaultSettings() {
    FilterSettings s;
    s.bayerGainRed = s.bayerGainGreen = s.bayerGainBlue = 100;
    s.bayerMode = 0;
    return s;
}

// What the demosaic step does with automatic white balance on: measure, store, then
// interpolate the same frame with the new gains.
void measureAndStore(KernelImage& raw, FilterSettings& settings) {
    WhiteBalanceParams measured{};
    measured.bayerMode = settings.bayerMode;
    runInPlace(raw.bitsPerPixel == 8 ? measureWhiteBalance8 : measureWhiteBalance16, raw, &measured);
    settings.storeWhiteBalance(measured);
}

TEST(WhiteBalance, BalancesTheExampleFrameBeforeItIsInterpolated) {
    KernelImage raw = sites(12, 10, 8, 0, 100, 50, 200);
    FilterSettings settings = defaultSettings();
    settings.bayerGainAuto = 1;
    measureAndStore(raw, settings);
    EXPECT_EQ(settings.bayerGainBlue, 200);
    EXPECT_EQ(settings.bayerGainGreen, 100);
    EXPECT_EQ(settings.bayerGainRed, 50);
    EXPECT_EQ(settings.bayerGainAuto, 1) << "every-frame measurement keeps running";

    DemosaicParams params{settings.bayerMode, settings.bayerGainRed, settings.bayerGainGreen, settings.bayerGainBlue};
    KernelImage out(12, 10, 24);
    runKernel(chooseDemosaicKernel(ProcessorInfo{}, 8, 24, params), out, raw, &params);
    EXPECT_EQ(out.at(5, 5, 0), 100);
    EXPECT_EQ(out.at(5, 5, 1), 100);
    EXPECT_EQ(out.at(5, 5, 2), 100);
}

TEST(WhiteBalance, ClampsMeasuredGainsAt400AndWorksOn16BitFrames) {
    KernelImage raw = sites(8, 8, 16, 3, 100, 20, 200);
    FilterSettings settings = defaultSettings();
    settings.bayerMode = 3;
    measureAndStore(raw, settings);
    EXPECT_EQ(settings.bayerGainBlue, 400) << "ratio 5 stored as 400";
    EXPECT_EQ(settings.bayerGainRed, 50);

    WhiteBalanceParams measured{};
    measured.bayerMode = 3;
    runInPlace(measureWhiteBalance16, raw, &measured);
    EXPECT_EQ(measured.gainBlue, 500) << "the kernel itself reports the ratio";
}

TEST(WhiteBalance, OneShotMeasurementEndsAfterOneFrame) {
    KernelImage raw = sites(8, 8, 8, 0, 120, 60, 240);
    FilterSettings settings = defaultSettings();
    settings.bayerGainAuto = settings.bayerGainOnce1 = settings.bayerGainOnce2 = 1;
    measureAndStore(raw, settings);
    EXPECT_EQ(settings.bayerGainAuto, 0);
    EXPECT_EQ(settings.bayerGainOnce1, 0);
    EXPECT_EQ(settings.bayerGainOnce2, 0);
    EXPECT_EQ(settings.bayerGainBlue, 200);
    EXPECT_EQ(settings.bayerGainRed, 50);

    // Only one of the one-shot flags: not a one-shot measurement, nothing cleared.
    settings.bayerGainAuto = 1;
    settings.bayerGainOnce1 = 1;
    measureAndStore(raw, settings);
    EXPECT_EQ(settings.bayerGainAuto, 1);
    EXPECT_EQ(settings.bayerGainOnce1, 1);
}

TEST(WhiteBalance, ClassesWithoutAFiniteRatioLeaveTheirGainsUnchanged) {
    FilterSettings settings = defaultSettings();
    settings.bayerGainRed = 130;
    settings.bayerGainGreen = 90;
    settings.bayerGainBlue = 170;

    // All black: no gain can be measured.
    KernelImage black(10, 10, 8, 0);
    measureAndStore(black, settings);
    EXPECT_EQ(settings.bayerGainRed, 130);
    EXPECT_EQ(settings.bayerGainGreen, 90);
    EXPECT_EQ(settings.bayerGainBlue, 170);

    // Blue sites black: red is measured, blue stays.
    KernelImage noBlue = sites(10, 10, 8, 0, 100, 0, 50);
    measureAndStore(noBlue, settings);
    EXPECT_EQ(settings.bayerGainRed, 200);
    EXPECT_EQ(settings.bayerGainGreen, 100);
    EXPECT_EQ(settings.bayerGainBlue, 170);

    // A single row has no red sites at all (mode 0: green and blue only).
    KernelImage oneRow = sites(10, 1, 8, 0, 100, 25, 0);
    measureAndStore(oneRow, settings);
    EXPECT_EQ(settings.bayerGainBlue, 400);
    EXPECT_EQ(settings.bayerGainRed, 200);

    // A tiny mean against a bright green saturates instead of overflowing.
    KernelImage dim = sites(1000, 1000, 16, 0, 65535, 0, 0);
    dim.set(1, 0, 0, 1); // one blue sample of 1 among 250000
    WhiteBalanceParams measured{};
    runInPlace(measureWhiteBalance16, dim, &measured);
    EXPECT_GT(measured.gainBlue, 400);
    EXPECT_EQ(measured.gainRed, kGainNotMeasured);
}

} // namespace
} // namespace orvix
