// Hue and saturation kernels.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "imaging/hue_saturation.h"
#include "kernel_support/kernel_image.h"

namespace orvix {
namespace {

using test::KernelImage;
using test::runInPlace;

KernelImage pixel24(int blue, int green, int red, int bpp = 24) {
    KernelImage image(1, 1, bpp, 0x3C);
    image.set(0, 0, 0, blue);
    image.set(0, 0, 1, green);
    image.set(0, 0, 2, red);
    return image;
}

TEST(HueSaturation, KnownPixels) {
    HlsAdjust hue{120, 0, 0};
    KernelImage red = pixel24(0, 0, 255);
    runInPlace(adjustHueSaturation24, red, &hue);
    EXPECT_EQ(red.at(0, 0, 0), 1);
    EXPECT_EQ(red.at(0, 0, 1), 253);
    EXPECT_EQ(red.at(0, 0, 2), 1);

    HlsAdjust saturation{0, 0, 50};
    KernelImage gray = pixel24(100, 100, 100, 32);
    runInPlace(adjustHueSaturation24, gray, &saturation);
    EXPECT_EQ(gray.at(0, 0, 0), 81);
    EXPECT_EQ(gray.at(0, 0, 1), 81);
    EXPECT_EQ(gray.at(0, 0, 2), 119);
    EXPECT_EQ(gray.at(0, 0, 3), 0x3C) << "fourth byte untouched";

    // Removing all saturation leaves the lightness.
    HlsAdjust desaturate{0, 0, -255};
    KernelImage colour = pixel24(10, 200, 90);
    runInPlace(adjustHueSaturation24, colour, &desaturate);
    EXPECT_EQ(colour.at(0, 0, 0), 105);
    EXPECT_EQ(colour.at(0, 0, 1), 105);
    EXPECT_EQ(colour.at(0, 0, 2), 105);
}

TEST(HueSaturation, HueSectorsRiseBy64PerUnit) {
    // Pure green (hue 120 in this model) shifted by 0 keeps its channels; a half
    // step of red within the red sector gives hue (128 x 64) / 255 = 32.
    int b = 0, g = 255, r = 0;
    adjustHls(b, g, r, HlsAdjust{});
    EXPECT_EQ(g, 253);
    EXPECT_EQ(b, 1);
    b = 0;
    g = 128;
    r = 255;
    adjustHls(b, g, r, HlsAdjust{});
    // m1 = 1, m2 = 253: green = m1 + ((m2 - m1) x 32) >> 6 = 127.
    EXPECT_EQ(g, 127);
    EXPECT_EQ(r, 253);
    EXPECT_EQ(b, 1);
}

TEST(HueSaturation, FortyEightBitWorksOnTheTopEightOfTenBits) {
    KernelImage image(2, 1, 64);
    for (int c = 0; c < 3; ++c) {
        image.set(0, 0, c, 400); // 100 as 8-bit
        image.set(1, 0, c, 0);
    }
    image.set(1, 0, 2, 5000); // beyond 10 bits: counts as 1023 -> 255
    image.set(0, 0, 3, 999);
    HlsAdjust saturation{0, 0, 50};
    runInPlace(adjustHueSaturation48, image, &saturation);
    EXPECT_EQ(image.at(0, 0, 0), 81 * 4);
    EXPECT_EQ(image.at(0, 0, 1), 81 * 4);
    EXPECT_EQ(image.at(0, 0, 2), 119 * 4);
    EXPECT_EQ(image.at(0, 0, 3), 999);
    // Pure red of 255 with saturation +50 stays red (saturation already at most).
    EXPECT_EQ(image.at(1, 0, 2), 253 * 4);
}

// The kernels against the per-pixel rule: all blue and green values over a spread of
// red values for typical adjustments, random colours for extreme ones (offsets far
// outside the dialog's ranges too).
TEST(HueSaturation, KernelsGiveThePerPixelRuleForEveryColour) {
    const HlsAdjust typical[] = {{40, 0, -30}, {-200, 0, 60}};
    KernelImage plane(256, 256, 24);
    for (const HlsAdjust& adjust : typical) {
        for (int red = 0; red < 256; red += (red == 248 ? 7 : 8)) {
            for (int y = 0; y < 256; ++y) {
                std::uint8_t* row = plane.pixel(0, y);
                for (int x = 0; x < 256; ++x) {
                    row[3 * x] = static_cast<std::uint8_t>(x);
                    row[3 * x + 1] = static_cast<std::uint8_t>(y);
                    row[3 * x + 2] = static_cast<std::uint8_t>(red);
                }
            }
            runInPlace(adjustHueSaturation24, plane, &adjust);
            for (int y = 0; y < 256; ++y) {
                const std::uint8_t* row = plane.pixel(0, y);
                for (int x = 0; x < 256; ++x) {
                    int b = x, g = y, r = red;
                    adjustHls(b, g, r, adjust);
                    if (row[3 * x] != b || row[3 * x + 1] != g || row[3 * x + 2] != r) {
                        FAIL() << "colour " << x << "," << y << "," << red << " hue " << adjust.hueShift;
                    }
                }
            }
        }
    }
    std::mt19937 rng(3);
    const HlsAdjust extreme[] = {{360, 0, 255},   {-360, 0, -255},         {719, 37, 5},
                                 {-1, -300, 90},  {INT32_MAX, INT32_MIN, INT32_MAX}, {INT32_MIN, 400, -7}};
    for (const HlsAdjust& adjust : extreme) {
        KernelImage image(211, 97, 48);
        image.randomize(rng, 1100);
        KernelImage result = image;
        runInPlace(adjustHueSaturation48, result, &adjust);
        for (int y = 0; y < image.height; ++y) {
            for (int x = 0; x < image.width; ++x) {
                int bgr[3];
                for (int c = 0; c < 3; ++c) bgr[c] = std::min(image.at(x, y, c), 1023) >> 2;
                adjustHls(bgr[0], bgr[1], bgr[2], adjust);
                for (int c = 0; c < 3; ++c) ASSERT_EQ(result.at(x, y, c), bgr[c] * 4) << x << "," << y;
            }
        }
    }
}

// Every colour through the 32-bit kernel with the adjustment the benchmarks use, and
// random rows of every width up to 40 in both 8-bit layouts with typical and extreme
// adjustments: the per-pixel rule, the fourth byte untouched.
TEST(HueSaturation, EightBitLayoutsGiveThePerPixelRuleAtEveryWidth) {
    const HlsAdjust benchmark{30, 0, 20};
    KernelImage plane(256, 256, 32);
    for (int red = 0; red < 256; ++red) {
        for (int y = 0; y < 256; ++y) {
            for (int x = 0; x < 256; ++x) {
                std::uint8_t* p = plane.pixel(x, y);
                p[0] = static_cast<std::uint8_t>(x);
                p[1] = static_cast<std::uint8_t>(y);
                p[2] = static_cast<std::uint8_t>(red);
                p[3] = static_cast<std::uint8_t>(x ^ y);
            }
        }
        runInPlace(adjustHueSaturation24, plane, &benchmark);
        for (int y = 0; y < 256; ++y) {
            for (int x = 0; x < 256; ++x) {
                int b = x, g = y, r = red;
                adjustHls(b, g, r, benchmark);
                const std::uint8_t* p = plane.pixel(x, y);
                if (p[0] != b || p[1] != g || p[2] != r || p[3] != (x ^ y)) {
                    FAIL() << "colour " << x << "," << y << "," << red;
                }
            }
        }
    }
    std::mt19937 rng(17);
    // Without a lightness offset the AVX2 rows take sixteen pixels per step; the
    // pixels left at a row's end go through a padded copy.
    const HlsAdjust adjustments[] = {{40, 0, -30}, {-200, 0, 60}, {360, 0, 255}, {719, 37, 5}, {-1, -300, 90},
                                     {INT32_MAX, INT32_MIN, INT32_MAX}, {30, 0, 20}, {0, 0, -1000}};
    std::vector<std::int32_t> widths;
    for (std::int32_t width = 1; width <= 64; ++width) widths.push_back(width);
    widths.push_back(1360);
    for (int bits : {24, 32}) {
        for (std::int32_t width : widths) {
            for (const HlsAdjust& adjust : adjustments) {
                KernelImage image(width, 3, bits);
                image.randomize(rng, 255);
                KernelImage result = image;
                runInPlace(adjustHueSaturation24, result, &adjust);
                for (int y = 0; y < image.height; ++y) {
                    for (int x = 0; x < width; ++x) {
                        int bgr[3] = {image.at(x, y, 0), image.at(x, y, 1), image.at(x, y, 2)};
                        adjustHls(bgr[0], bgr[1], bgr[2], adjust);
                        for (int c = 0; c < 3; ++c) ASSERT_EQ(result.at(x, y, c), bgr[c]) << bits << " " << width;
                        if (bits == 32) {
                            ASSERT_EQ(result.at(x, y, 3), image.at(x, y, 3));
                        }
                    }
                }
            }
        }
    }
}

// Both instruction-set forms of the lane code (the kernels run one of them).
TEST(HueSaturation, LaneFormsGiveThePerPixelRule) {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> channel(0, 255);
    const HlsAdjust adjusts[] = {{0, 0, 0}, {120, 0, 0}, {-360, 0, 255}, {359, -20, -255}, {1000, 300, 40}};
    for (const HlsAdjust& adjust : adjusts) {
        for (int round = 0; round < 4000; ++round) {
            std::int32_t b[16], g[16], r[16];
            for (int i = 0; i < 16; ++i) {
                b[i] = channel(rng);
                g[i] = i % 5 == 0 ? b[i] : channel(rng); // ties between channels too
                r[i] = i % 7 == 0 ? g[i] : channel(rng);
            }
            for (const bool allowAvx2 : {false, true}) {
                std::int32_t lb[16], lg[16], lr[16];
                std::copy(b, b + 16, lb);
                std::copy(g, g + 16, lg);
                std::copy(r, r + 16, lr);
                detail::adjustHueSaturationLanes(lb, lg, lr, adjust, allowAvx2);
                for (int i = 0; i < 16; ++i) {
                    int eb = b[i], eg = g[i], er = r[i];
                    adjustHls(eb, eg, er, adjust);
                    ASSERT_TRUE(lb[i] == eb && lg[i] == eg && lr[i] == er)
                        << b[i] << "," << g[i] << "," << r[i] << " hue " << adjust.hueShift << " avx2 " << allowAvx2;
                }
            }
        }
    }
}

} // namespace
} // namespace orvix
