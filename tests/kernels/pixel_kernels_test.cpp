// The per-pixel rules of the conversion kernels, run through Surface::blit on small
// hand-made images with odd widths, so rows carry stride padding.

#include <gtest/gtest.h>

#include <vector>

#include "imaging/pixel_kernels.h"
#include "kernel_test_support.h"

namespace orvix {
namespace {

using test::makeFilled;
using test::padding;
using test::pixel;
using test::setWord;
using test::word;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kUntouched = 0xEE;

std::int32_t blitWhole(Surface& dst, PixelKernel kernel, const Surface& src) {
    return dst.blit(kernel, &src, nullptr, 0, 0, nullptr, 0);
}

TEST(MonoKernels, SixteenToEightKeepsBitsTwoToNine) {
    Surface src, dst;
    makeFilled(src, 5, 1, 16, 0);
    makeFilled(dst, 5, 1, 8, kUntouched);
    const std::uint16_t in[5] = {1023, 4, 3, 1024, 0x2AC};
    for (int c = 0; c < 5; ++c) setWord(src, c, 0, 0, in[c]);
    ASSERT_EQ(blitWhole(dst, convertMono16To8, src), 1);
    EXPECT_EQ(Bytes(dst.bits(), dst.bits() + 5), (Bytes{255, 1, 0, 0, 0xAB}));
    EXPECT_EQ(padding(dst), Bytes(3, kUntouched));
}

TEST(MonoKernels, FlipReadsSourceRowsFromTheBottomOfTheRectangle) {
    Surface src, dst;
    makeFilled(src, 3, 3, 16, 0);
    makeFilled(dst, 3, 3, 8, kUntouched);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) setWord(src, c, r, 0, static_cast<std::uint16_t>((10 * r + c) << 2));
    ASSERT_EQ(blitWhole(dst, convertMono16To8Flip, src), 1);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(*pixel(dst, c, r), 10 * (2 - r) + c) << c << "," << r;
}

TEST(MonoKernels, TenToSixteenShiftsByFour) {
    Surface src, dst;
    makeFilled(src, 3, 2, 16, 0);
    makeFilled(dst, 3, 2, 16, kUntouched);
    setWord(src, 0, 0, 0, 1023);
    setWord(src, 1, 0, 0, 1);
    setWord(src, 2, 0, 0, 0xFFFF); // bits above 16 are dropped
    setWord(src, 0, 1, 0, 0);
    ASSERT_EQ(blitWhole(dst, scaleMono10To16, src), 1);
    EXPECT_EQ(word(dst, 0, 0), 16368);
    EXPECT_EQ(word(dst, 1, 0), 16);
    EXPECT_EQ(word(dst, 2, 0), 0xFFF0);
    EXPECT_EQ(word(dst, 0, 1), 0);
    EXPECT_EQ(padding(dst), Bytes(4, kUntouched));
}

// ---- colour, 16-bit channels -----------------------------------------------------------

void fillColorWords(Surface& s, std::uint16_t b, std::uint16_t g, std::uint16_t r, std::uint16_t fourth) {
    for (int y = 0; y < s.height(); ++y) {
        for (int x = 0; x < s.width(); ++x) {
            setWord(s, x, y, 0, b);
            setWord(s, x, y, 1, g);
            setWord(s, x, y, 2, r);
            if (s.bytesPerPixel() == 8) setWord(s, x, y, 3, fourth);
        }
    }
}

TEST(ColorKernels, SixteenToEightFromBothWideLayouts) {
    for (std::uint16_t bpp : {48, 64}) {
        Surface src, dst;
        makeFilled(src, 3, 2, bpp, 0);
        makeFilled(dst, 3, 2, 24, kUntouched);
        fillColorWords(src, 1023, 4, 0x155, 1023);
        ASSERT_EQ(blitWhole(dst, convertColor16To8, src), 1);
        EXPECT_EQ(Bytes(pixel(dst, 2, 1), pixel(dst, 2, 1) + 3), (Bytes{255, 1, 0x55})) << bpp;
        EXPECT_EQ(padding(dst), Bytes(6, kUntouched)) << bpp;
    }
}

TEST(ColorKernels, SixteenToEightFlip) {
    Surface src, dst;
    makeFilled(src, 1, 3, 48, 0);
    makeFilled(dst, 1, 3, 24, 0);
    for (int r = 0; r < 3; ++r) setWord(src, 0, r, 1, static_cast<std::uint16_t>((r + 1) << 2));
    ASSERT_EQ(blitWhole(dst, convertColor16To8Flip, src), 1);
    EXPECT_EQ(pixel(dst, 0, 0)[1], 3);
    EXPECT_EQ(pixel(dst, 0, 1)[1], 2);
    EXPECT_EQ(pixel(dst, 0, 2)[1], 1);
}

TEST(ColorKernels, TenToSixteenKeepsOrSwapsChannelsAndAddsOpaqueAlpha) {
    struct Case {
        PixelKernel kernel;
        std::uint16_t dstBpp;
        std::uint16_t expected[4]; // fourth word only for 64-bit destinations
    };
    // Source words B = 1023, G = 2, R = 0x3FF >> 1 = 511.
    const Case cases[] = {
        {scaleColor10To16, 48, {65472, 128, 32704, 0}},
        {scaleColor10To16Alpha, 64, {65472, 128, 32704, 0xFFFF}},
        {scaleColor10To16Swap, 48, {32704, 128, 65472, 0}},
        {scaleColor10To16SwapAlpha, 64, {32704, 128, 65472, 0xFFFF}},
    };
    for (const Case& c : cases) {
        for (std::uint16_t srcBpp : {48, 64}) {
            Surface src, dst;
            makeFilled(src, 3, 2, srcBpp, 0);
            makeFilled(dst, 3, 2, c.dstBpp, kUntouched);
            fillColorWords(src, 1023, 2, 511, 0x1234);
            ASSERT_EQ(blitWhole(dst, c.kernel, src), 1);
            for (int i = 0; i < c.dstBpp / 16; ++i) {
                EXPECT_EQ(word(dst, 1, 1, i), c.expected[i])
                    << "dst " << c.dstBpp << " src " << srcBpp << " word " << i;
            }
            EXPECT_EQ(padding(dst), Bytes(c.dstBpp == 48 ? 4 : 0, kUntouched));
        }
    }
}

TEST(ColorKernels, SwappedLayoutKeepsAFourthSourceWordOutOfAThreeWordDestination) {
    Surface src, dst;
    makeFilled(src, 1, 1, 64, 0);
    makeFilled(dst, 1, 1, 64, kUntouched);
    fillColorWords(src, 1, 2, 3, 999);
    ASSERT_EQ(blitWhole(dst, scaleColor10To16Swap, src), 1);
    EXPECT_EQ(word(dst, 0, 0, 0), 3 << 6);
    EXPECT_EQ(word(dst, 0, 0, 2), 1 << 6);
    EXPECT_EQ(word(dst, 0, 0, 3), 0xEEEE) << "the fourth destination word is not written";
}

// ---- colour, bytes -------------------------------------------------------------------------

TEST(ByteKernels, CopyBgrTakesTheFirstThreeBytes) {
    Surface src, dst;
    makeFilled(src, 3, 1, 32, 0);
    makeFilled(dst, 3, 1, 24, kUntouched);
    for (int c = 0; c < 3; ++c) {
        std::uint8_t* p = pixel(src, c, 0);
        p[0] = static_cast<std::uint8_t>(c);
        p[1] = 100;
        p[2] = 200;
        p[3] = 77;
    }
    ASSERT_EQ(blitWhole(dst, copyBgr, src), 1);
    EXPECT_EQ(Bytes(dst.bits(), dst.bits() + 9), (Bytes{0, 100, 200, 1, 100, 200, 2, 100, 200}));
    EXPECT_EQ(padding(dst), Bytes(3, kUntouched));
}

TEST(ByteKernels, SwapRedBlueLeavesAFourthByteAlone) {
    for (std::uint16_t bpp : {24, 32}) {
        Surface src, dst;
        makeFilled(src, 3, 2, bpp, 0);
        makeFilled(dst, 3, 2, bpp, kUntouched);
        std::uint8_t* p = pixel(src, 2, 1);
        p[0] = 1;
        p[1] = 2;
        p[2] = 3;
        if (bpp == 32) p[3] = 4;
        ASSERT_EQ(blitWhole(dst, swapRedBlue24, src), 1);
        const std::uint8_t* q = pixel(dst, 2, 1);
        EXPECT_EQ(Bytes(q, q + 3), (Bytes{3, 2, 1})) << bpp;
        if (bpp == 32) {
            EXPECT_EQ(q[3], kUntouched);
        }
    }
}

TEST(ByteKernels, SwapRedBlueInPlace) {
    Surface s;
    makeFilled(s, 1, 1, 24, 0);
    s.bits()[0] = 10;
    s.bits()[2] = 30;
    ASSERT_EQ(s.blit(swapRedBlue24, &s, nullptr, 0, 0, nullptr, 0), 1);
    EXPECT_EQ(s.bits()[0], 30);
    EXPECT_EQ(s.bits()[2], 10);
}

TEST(ByteKernels, InvertAlphaOfTheFourthByte) {
    Surface src, dst;
    makeFilled(src, 3, 1, 32, 0);
    makeFilled(dst, 3, 1, 32, kUntouched);
    const std::uint8_t alphas[3] = {0, 255, 10};
    for (int c = 0; c < 3; ++c) {
        std::uint8_t* p = pixel(src, c, 0);
        p[0] = 1;
        p[1] = 2;
        p[2] = 3;
        p[3] = alphas[c];
    }
    ASSERT_EQ(blitWhole(dst, copyBgraInvertAlpha, src), 1);
    EXPECT_EQ(Bytes(dst.bits(), dst.bits() + 12), (Bytes{1, 2, 3, 255, 1, 2, 3, 0, 1, 2, 3, 245}));
}

TEST(ByteKernels, GrayWeightsGreenRedBlue) {
    Surface src, dst;
    makeFilled(src, 5, 1, 24, 0);
    makeFilled(dst, 5, 1, 8, kUntouched);
    const Bytes bgr[5] = {{255, 0, 0}, {255, 255, 255}, {0, 1, 0}, {0, 0, 255}, {0, 255, 0}};
    for (int c = 0; c < 5; ++c) std::copy(bgr[c].begin(), bgr[c].end(), pixel(src, c, 0));
    ASSERT_EQ(blitWhole(dst, convertBgrToGray8, src), 1);
    EXPECT_EQ(Bytes(dst.bits(), dst.bits() + 5), (Bytes{28, 255, 0, 76, 150}));
    EXPECT_EQ(padding(dst), Bytes(3, kUntouched));
}

// ---- whole rows --------------------------------------------------------------------------

TEST(RowKernels, CopyFlipRowsCopiesWholeRowsBottomUpPaddingIncluded) {
    Surface src, dst;
    makeFilled(src, 5, 3, 8, 0);
    makeFilled(dst, 5, 3, 8, kUntouched);
    for (std::size_t i = 0; i < src.byteCount(); ++i) src.bits()[i] = static_cast<std::uint8_t>(i);
    ASSERT_EQ(blitWhole(dst, copyFlipRows, src), 1);
    for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(Bytes(pixel(dst, 0, r), pixel(dst, 0, r) + 8), Bytes(pixel(src, 0, 2 - r), pixel(src, 0, 2 - r) + 8));
    }
}

TEST(RowKernels, CopyFlipRowsCopiesTheShorterRow) {
    Surface narrow, wide;
    makeFilled(narrow, 2, 2, 24, 1); // stride 8
    makeFilled(wide, 4, 2, 24, kUntouched); // stride 12
    ASSERT_EQ(blitWhole(wide, copyFlipRows, narrow), 1);
    const std::uint8_t u = kUntouched;
    EXPECT_EQ(Bytes(pixel(wide, 0, 0), pixel(wide, 0, 0) + 12), (Bytes{1, 1, 1, 1, 1, 1, 1, 1, u, u, u, u}));

    makeFilled(wide, 4, 2, 24, 2);
    makeFilled(narrow, 2, 2, 24, kUntouched);
    ASSERT_EQ(blitWhole(narrow, copyFlipRows, wide), 1);
    EXPECT_EQ(Bytes(narrow.bits(), narrow.bits() + narrow.byteCount()), Bytes(16, 2));
}

TEST(RowKernels, CopyFlipRowsFromAnInnerColumnStaysInsideTheRows) {
    Surface src, dst;
    makeFilled(src, 4, 2, 8, 0);
    makeFilled(dst, 4, 2, 8, kUntouched);
    for (std::size_t i = 0; i < src.byteCount(); ++i) src.bits()[i] = static_cast<std::uint8_t>(i + 1);
    // Picture rectangle columns 2..3, rows 0..1, placed at column 1 of the destination.
    const KernelRect r{2, 0, 4, 2};
    ASSERT_EQ(dst.blit(copyFlipRows, &src, &r, 1, 0, nullptr, 0), 1);
    // Each row copy runs from the first column to the end of the shorter remainder
    // (source: 2 bytes from column 2, destination: 3 bytes from column 1).
    EXPECT_EQ(Bytes(pixel(dst, 0, 0), pixel(dst, 0, 0) + 4), (Bytes{kUntouched, 7, 8, kUntouched}));
    EXPECT_EQ(Bytes(pixel(dst, 0, 1), pixel(dst, 0, 1) + 4), (Bytes{kUntouched, 3, 4, kUntouched}));
}

TEST(RowKernels, UnpackRows8SpreadsPackedRowsToTheStride) {
    Surface s;
    makeFilled(s, 5, 3, 8, 0xFF);
    for (int i = 0; i < 15; ++i) s.bits()[i] = static_cast<std::uint8_t>(i);
    ASSERT_EQ(s.blit(unpackRows8, &s, nullptr, 0, 0, nullptr, 0), 1);
    EXPECT_EQ(Bytes(s.bits() + 0, s.bits() + 5), (Bytes{0, 1, 2, 3, 4}));
    EXPECT_EQ(Bytes(s.bits() + 8, s.bits() + 13), (Bytes{5, 6, 7, 8, 9}));
    EXPECT_EQ(Bytes(s.bits() + 16, s.bits() + 21), (Bytes{10, 11, 12, 13, 14}));
}

TEST(RowKernels, UnpackRows16MovesWholeWords) {
    Surface s;
    makeFilled(s, 3, 4, 16, 0);
    for (int i = 0; i < 12; ++i) { // 12 packed words, 3 per row
        s.bits()[2 * i] = static_cast<std::uint8_t>(i);
        s.bits()[2 * i + 1] = static_cast<std::uint8_t>(0x80 | i);
    }
    ASSERT_EQ(s.blit(unpackRows16, &s, nullptr, 0, 0, nullptr, 0), 1);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(word(s, c, r), ((0x80 | (3 * r + c)) << 8) | (3 * r + c)) << c << "," << r;
        }
}

// ---- metering ------------------------------------------------------------------------------

TEST(MeterKernels, MeanOfAlternatingLevelsRoundsDown) {
    Surface s;
    makeFilled(s, 7, 3, 8, 0);
    for (std::size_t i = 0; i < s.byteCount(); ++i) s.bits()[i] = (i % 2) ? 11 : 10;
    EXPECT_EQ(s.blit(meanLevel8, &s, nullptr, 0, 0, nullptr, 0), 10);
}

TEST(MeterKernels, MeanCoversOnlyTheRectangle) {
    Surface s;
    makeFilled(s, 9, 8, 8, 0);
    // Picture rows 2..3, columns 4..6 are 90; everything else 0.
    for (int r = 2; r < 4; ++r)
        for (int c = 4; c < 7; ++c) *pixel(s, c, 8 - 1 - r) = 90;
    const KernelRect bright{4, 2, 7, 4};
    EXPECT_EQ(s.blit(meanLevel8, &s, &bright, 4, 2, nullptr, 0), 90);
    const KernelRect wider{3, 2, 7, 4};
    EXPECT_EQ(s.blit(meanLevel8, &s, &wider, 3, 2, nullptr, 0), 67) << "540 / 8";
}

TEST(MeterKernels, SixteenBitMeanUsesBitsTwoToNine) {
    Surface s;
    makeFilled(s, 3, 1, 16, 0);
    setWord(s, 0, 0, 0, 1023);  // 255
    setWord(s, 1, 0, 0, 1024);  // 0
    setWord(s, 2, 0, 0, 0x1F8); // 126
    EXPECT_EQ(s.blit(meanLevel16, &s, nullptr, 0, 0, nullptr, 0), 127);
}

TEST(MeterKernels, EmptyRectangleMeasuresZero) {
    std::uint8_t bits[4] = {200, 200, 200, 200};
    const KernelRect none{0, 0, 0, 1};
    EXPECT_EQ(meanLevel8(bits, bits, &none, 0, 0, 1, 1, 4, 4, nullptr, 0), 0);
    const KernelRect flat{0, 0, 4, 0};
    EXPECT_EQ(meanLevel8(bits, bits, &flat, 0, 0, 1, 1, 4, 4, nullptr, 0), 0);
}

} // namespace
} // namespace orvix
