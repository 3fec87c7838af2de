// The reference demosaic kernels on small hand-made frames, and the kernel choice.

#include <gtest/gtest.h>

#include <random>

#include "imaging/demosaic.h"
#include "kernel_support/kernel_image.h"

namespace orvix {
namespace {

using test::KernelImage;
using test::runKernel;

// A raw frame whose green sites hold `green`, blue sites `blue` and red sites `red`
// for the given Bayer mode.
KernelImage bayerFrame(std::int32_t width, std::int32_t height, int bitsPerPixel, std::int32_t mode,
                       std::int32_t green, std::int32_t blue, std::int32_t red) {
    KernelImage raw(width, height, bitsPerPixel);
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            const int a = bayerRowPhase(mode) ^ (y & 1);
            const int b = bayerColumnPhase(mode) ^ (x & 1);
            raw.set(x, y, 0, a == b ? green : (a == 0 ? blue : red));
        }
    }
    return raw;
}

TEST(DemosaicReference, FlatFrameGivesGrayInEveryModeAndLeavesBordersAlone) {
    for (std::int32_t mode = 0; mode < 4; ++mode) {
        const KernelImage raw = bayerFrame(9, 7, 8, mode, 77, 77, 77);
        for (int dstBpp : {24, 32}) {
            KernelImage out(9, 7, dstBpp, 0xA5);
            DemosaicParams params{mode, 100, 100, 100};
            EXPECT_EQ(runKernel(demosaic8To24, out, raw, &params), 1);
            for (std::int32_t y = 0; y < 7; ++y) {
                for (std::int32_t x = 0; x < 9; ++x) {
                    const bool inner = x >= 2 && x <= 6 && y >= 2 && y <= 4;
                    for (int c = 0; c < 3; ++c) {
                        EXPECT_EQ(out.at(x, y, c), inner ? 77 : 0xA5) << "mode " << mode << " at " << x << "," << y;
                    }
                    if (dstBpp == 32) {
                        EXPECT_EQ(out.at(x, y, 3), 0xA5) << "fourth byte written";
                    }
                }
            }
        }
    }
}

TEST(DemosaicReference, GainsScaleRedAndBlueInFixedPoint) {
    const KernelImage raw = bayerFrame(8, 8, 8, 3, 100, 100, 100);
    KernelImage out(8, 8, 24);
    DemosaicParams params{3, 200, 100, 100};
    runKernel(demosaic8To24, out, raw, &params);
    EXPECT_EQ(out.at(3, 3, 2), 200);
    EXPECT_EQ(out.at(3, 3, 1), 100);
    EXPECT_EQ(out.at(3, 3, 0), 100);

    // 201 % is 257 / 128: (16 x 100 x 257) >> 11 = 200 (the vector rounding would differ).
    params.gainRed = 201;
    runKernel(demosaic8To24, out, raw, &params);
    EXPECT_EQ(out.at(3, 3, 2), (16 * 100 * 257) >> 11);

    // Saturation at 255, gain 0 gives black; green is never scaled.
    const KernelImage bright = bayerFrame(8, 8, 8, 0, 200, 200, 200);
    params = DemosaicParams{0, 201, 0, 0};
    runKernel(demosaic8To24, out, bright, &params);
    EXPECT_EQ(out.at(4, 4, 2), 255);
    EXPECT_EQ(out.at(4, 4, 1), 200);
    EXPECT_EQ(out.at(4, 4, 0), 0);

    EXPECT_EQ(fixedPointGain(100), 128);
    EXPECT_EQ(fixedPointGain(201), 257);
    EXPECT_EQ(fixedPointGain(-5), 0);
    EXPECT_GT(fixedPointGain(2000000000), 0);
}

TEST(DemosaicReference, SeparatesTheThreeSiteColours) {
    const KernelImage raw = bayerFrame(10, 10, 8, 0, 100, 50, 200);
    KernelImage out(10, 10, 24);
    DemosaicParams params{0, 100, 100, 100};
    runKernel(demosaic8To24, out, raw, &params);
    for (std::int32_t y = 2; y <= 7; ++y) {
        for (std::int32_t x = 2; x <= 7; ++x) {
            EXPECT_EQ(out.at(x, y, 0), 50);
            EXPECT_EQ(out.at(x, y, 1), 100);
            EXPECT_EQ(out.at(x, y, 2), 200);
        }
    }
}

TEST(DemosaicReference, ModesZeroAndThreeExchangeRedAndBlue) {
    std::mt19937 rng(7);
    KernelImage raw(23, 11, 8);
    raw.randomize(rng, 255);
    KernelImage out0(23, 11, 24);
    KernelImage out3(23, 11, 24);
    DemosaicParams mode0{0, 150, 100, 150};
    DemosaicParams mode3{3, 150, 100, 150};
    runKernel(demosaic8To24, out0, raw, &mode0);
    runKernel(demosaic8To24, out3, raw, &mode3);
    for (std::int32_t y = 0; y < 11; ++y) {
        for (std::int32_t x = 0; x < 23; ++x) {
            EXPECT_EQ(out0.at(x, y, 0), out3.at(x, y, 2));
            EXPECT_EQ(out0.at(x, y, 1), out3.at(x, y, 1));
            EXPECT_EQ(out0.at(x, y, 2), out3.at(x, y, 0));
        }
    }
}

TEST(DemosaicReference, InterpolatesWithNineThreeThreeOneWeights) {
    // A single bright blue site in mode 0 spreads to its four neighbouring quads.
    KernelImage raw = bayerFrame(12, 12, 8, 0, 0, 0, 0);
    raw.set(5, 4, 0, 160); // row 4 (phase 0), column 5 (phase 1): blue
    KernelImage out(12, 12, 24);
    DemosaicParams params{0, 100, 100, 100};
    runKernel(demosaic8To24, out, raw, &params);
    // Quads whose lower-right corner is (x, y) contain the sample's area with weights
    // 9 (own quads), 3 (one step away) and 1 (diagonal).
    EXPECT_EQ(out.at(5, 4, 0), 9 * 160 / 16);
    EXPECT_EQ(out.at(6, 4, 0), 9 * 160 / 16);
    EXPECT_EQ(out.at(5, 5, 0), 9 * 160 / 16);
    EXPECT_EQ(out.at(7, 4, 0), 3 * 160 / 16);
    EXPECT_EQ(out.at(5, 6, 0), 3 * 160 / 16);
    EXPECT_EQ(out.at(7, 6, 0), 160 / 16);
    EXPECT_EQ(out.at(4, 4, 0), 3 * 160 / 16);
    EXPECT_EQ(out.at(5, 4, 2), 0);
}

TEST(DemosaicReference, RectanglesUnderFivePixelsInterpolateNothing) {
    const KernelImage raw = bayerFrame(4, 9, 8, 1, 90, 90, 90);
    KernelImage out(4, 9, 24, 0x33);
    DemosaicParams params{1, 100, 100, 100};
    runKernel(demosaic8To24, out, raw, &params);
    for (std::uint8_t byte : out.bits) {
        EXPECT_EQ(byte, 0x33);
    }
}

TEST(DemosaicReference, TenBitSamplesAreLimitedTo1023) {
    const KernelImage raw = bayerFrame(8, 8, 16, 2, 1023, 1023, 1023);
    for (int dstBpp : {48, 64}) {
        KernelImage out(8, 8, dstBpp, 0x11);
        DemosaicParams params{2, 400, 400, 400};
        runKernel(demosaic16To48, out, raw, &params);
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(out.at(4, 3, c), 1023);
        }
        if (dstBpp == 64) {
            EXPECT_EQ(out.at(4, 3, 3), 0x1111) << "fourth word written";
        }
        EXPECT_EQ(out.at(1, 3, 0), 0x1111);
    }
    // Gain 100 keeps a mid-level frame as it is; samples beyond 10 bits saturate.
    const KernelImage mid = bayerFrame(8, 8, 16, 0, 600, 300, 900);
    const KernelImage wide = bayerFrame(8, 8, 16, 0, 60000, 60000, 60000);
    KernelImage out(8, 8, 48);
    DemosaicParams params{0, 100, 100, 100};
    runKernel(demosaic16To48, out, mid, &params);
    EXPECT_EQ(out.at(3, 3, 0), 300);
    EXPECT_EQ(out.at(3, 3, 1), 600);
    EXPECT_EQ(out.at(3, 3, 2), 900);
    runKernel(demosaic16To48, out, wide, &params);
    EXPECT_EQ(out.at(3, 3, 1), 1023);
    EXPECT_EQ(out.at(3, 3, 2), 1023);
}

ProcessorInfo processorWith(std::int32_t declared, std::int32_t usable) {
    ProcessorInfo info{};
    info.declaredFeatures = declared;
    info.usableFeatures = usable;
    return info;
}

TEST(DemosaicChoice, FollowsDepthGainsAndProcessorFeatures) {
    const DemosaicParams unity{3, 100, 100, 100};
    const ProcessorInfo all = processorWith(0x1F, 0x1F);
    // With SSE2 the reference's cases take its vectorised forms (the same bytes).
    EXPECT_EQ(chooseDemosaicKernel(all, 16, 48, unity), &demosaic16To48Sse2);
    EXPECT_EQ(chooseDemosaicKernel(all, 16, 64, unity), &demosaic16To48Sse2);
    EXPECT_EQ(chooseDemosaicKernel(all, 8, 32, unity), &demosaic8To24ExactSse2);
    EXPECT_EQ(chooseDemosaicKernel(all, 8, 24, unity), &demosaic8To24Sse3);
    EXPECT_EQ(chooseDemosaicKernel(all, 8, 24, DemosaicParams{3, 200, 200, 200}), &demosaic8To24Sse3);
    EXPECT_EQ(chooseDemosaicKernel(all, 8, 24, DemosaicParams{3, 201, 100, 100}), &demosaic8To24ExactSse2);
    EXPECT_EQ(chooseDemosaicKernel(all, 8, 24, DemosaicParams{3, 100, 201, 100}), &demosaic8To24ExactSse2);
    EXPECT_EQ(chooseDemosaicKernel(all, 8, 24, DemosaicParams{3, 100, 100, -1}), &demosaic8To24ExactSse2);
    EXPECT_EQ(chooseDemosaicKernel(processorWith(0x1F, 0x0F), 8, 24, unity), &demosaic8To24Sse2);
    // SSE2 reported but not executable (the operating system does not enable it).
    EXPECT_EQ(chooseDemosaicKernel(processorWith(0x05, 0x01), 8, 24, unity), &demosaic8To24Mmx);
    EXPECT_EQ(chooseDemosaicKernel(processorWith(0x05, 0x01), 16, 48, unity), &demosaic16To48);
    EXPECT_EQ(chooseDemosaicKernel(processorWith(0x05, 0x01), 8, 32, unity), &demosaic8To24);
    EXPECT_EQ(chooseDemosaicKernel(processorWith(0x01, 0x00), 8, 24, unity), &demosaic8To24);
    EXPECT_EQ(chooseDemosaicKernel(processorWith(0, 0), 8, 24, unity), &demosaic8To24);
}

} // namespace
} // namespace orvix
