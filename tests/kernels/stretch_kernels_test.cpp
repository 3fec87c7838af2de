// Nearest-neighbour scaling with a vertical flip, and its single-precision ratios.

#include <gtest/gtest.h>

#include "imaging/pixel_kernels.h"
#include "kernel_test_support.h"

namespace orvix {
namespace {

using test::makeFilled;
using test::pixel;

TEST(StretchKernels, DoublingRepeatsPixelsAndFeedsTheTopFromTheLastSourceRow) {
    Surface src, dst;
    makeFilled(src, 4, 2, 8, 0);
    makeFilled(dst, 8, 4, 8, 0xEE);
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 4; ++c) *pixel(src, c, r) = static_cast<std::uint8_t>(10 * r + c);
    ASSERT_EQ(dst.stretch(stretchFlip8, &src, nullptr, nullptr, 0, 0), 1);
    for (int i = 0; i < 4; ++i) {
        const int sourceRow = 1 - i / 2; // rows 0 and 1 from the last source row
        for (int j = 0; j < 8; ++j) EXPECT_EQ(*pixel(dst, j, i), 10 * sourceRow + j / 2) << j << "," << i;
    }
}

TEST(StretchKernels, HalvingFullFrameTakesEverySecondColumnAndRow) {
    Surface src, dst;
    makeFilled(src, 1360, 1024, 8, 0);
    makeFilled(dst, 680, 512, 8, 0);
    for (int r = 0; r < 1024; ++r)
        for (int c = 0; c < 1360; ++c) *pixel(src, c, r) = static_cast<std::uint8_t>(r * 7 + c * 3);
    ASSERT_EQ(dst.stretch(stretchFlip8, &src, nullptr, nullptr, 0, 0), 1);
    int wrong = 0;
    for (int i = 0; i < 512; ++i) {
        for (int j = 0; j < 680; ++j) {
            const int r = 1024 - 2 * i - 1;
            if (*pixel(dst, j, i) != static_cast<std::uint8_t>(r * 7 + 2 * j * 3)) ++wrong;
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST(StretchKernels, ThreeBytePixelsMoveTogetherAndLeaveRowPaddingAlone) {
    Surface src, dst;
    makeFilled(src, 2, 1, 24, 0);
    makeFilled(dst, 3, 2, 24, 0xEE);
    const std::uint8_t a[3] = {1, 2, 3}, b[3] = {4, 5, 6};
    std::copy(a, a + 3, pixel(src, 0, 0));
    std::copy(b, b + 3, pixel(src, 1, 0));
    ASSERT_EQ(dst.stretch(stretchFlip24, &src, nullptr, nullptr, 0, 0), 1);
    // xRatio = 2 / 3: columns 0, 0, 1.
    for (int row = 0; row < 2; ++row) {
        const std::uint8_t* p = pixel(dst, 0, row);
        EXPECT_EQ(std::vector<std::uint8_t>(p, p + 12),
                  (std::vector<std::uint8_t>{1, 2, 3, 1, 2, 3, 4, 5, 6, 0xEE, 0xEE, 0xEE}));
    }
}

TEST(StretchKernels, RatioIsRoundedToSinglePrecisionBeforeTruncating) {
    EXPECT_EQ(stretchRatio(1360, 680), 2.0f);
    EXPECT_EQ(stretchRatio(2, 3), static_cast<float>(2.0L / 3.0L));
    EXPECT_EQ(stretchRatio(14, 20), 0.7f);
    EXPECT_LT(static_cast<double>(0.7f), 0.7) << "0.7 rounds down in single precision";

    // 14 rows onto 20: destination row 10 is at 10 × 0.7f = 6.99999988, so it
    // truncates to source index 6 (the exact ratio would give 7).
    Surface src, dst;
    makeFilled(src, 1, 14, 8, 0);
    makeFilled(dst, 1, 20, 8, 0);
    for (int r = 0; r < 14; ++r) *pixel(src, 0, r) = static_cast<std::uint8_t>(r);
    ASSERT_EQ(dst.stretch(stretchFlip8, &src, nullptr, nullptr, 0, 0), 1);
    EXPECT_EQ(*pixel(dst, 0, 0), 13);
    EXPECT_EQ(*pixel(dst, 0, 10), 14 - 6 - 1);
    EXPECT_EQ(*pixel(dst, 0, 19), 0) << "19 × 0.7 = 13.3";
}

TEST(StretchKernels, PartialRectanglesUseSourceColumnsFromZero) {
    Surface src, dst;
    makeFilled(src, 4, 4, 8, 0);
    makeFilled(dst, 4, 4, 8, 0xEE);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) *pixel(src, c, r) = static_cast<std::uint8_t>(10 * r + c);
    // Source rectangle columns 2..3, rows 1..2 onto destination (1, 1)-(3, 3): the
    // source column is the scaled index itself (the rectangle's left is not added),
    // the row counts up from the rectangle's bottom.
    const KernelRect from{2, 1, 4, 3};
    const KernelRect to{1, 1, 3, 3};
    ASSERT_EQ(dst.stretch(stretchFlip8, &src, &from, &to, 0, 0), 1);
    EXPECT_EQ(*pixel(dst, 1, 1), 20);
    EXPECT_EQ(*pixel(dst, 2, 1), 21);
    EXPECT_EQ(*pixel(dst, 1, 2), 10);
    EXPECT_EQ(*pixel(dst, 0, 0), 0xEE);
    EXPECT_EQ(*pixel(dst, 3, 3), 0xEE);
}

} // namespace
} // namespace orvix
