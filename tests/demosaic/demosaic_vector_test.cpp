// The vectorised demosaic kernels against a plain transcription of their arithmetic
// (bit for bit) and against the reference kernel (within the stated difference).

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "imaging/demosaic.h"
#include "imaging/demosaic_internal.h"
#include "imaging/simd_target.h"
#include "kernel_support/kernel_image.h"

namespace orvix {
namespace {

using test::KernelImage;

struct NamedKernel {
    const char* name;
    PixelKernel kernel;
};

std::vector<NamedKernel> vectorKernels() {
    std::vector<NamedKernel> kernels = {
        {"Mmx", demosaic8To24Mmx},
        {"Sse2", demosaic8To24Sse2},
        {"Sse3", demosaic8To24Sse3},
    };
#if ORVIX_HAVE_X86_SIMD
    kernels.push_back({"MmxRegisters", detail::demosaic8To24MmxRegisters});
    kernels.push_back({"Sse2Rows", detail::demosaic8To24WithRowsSse2});
    kernels.push_back({"Sse3Rows", detail::demosaic8To24WithRowsSse3});
    if (detail::avx2Usable()) {
        kernels.push_back({"Avx2Rows", detail::demosaic8To24WithRowsAvx2});
    }
#endif
    return kernels;
}

// The 9/3/3/1 sums of one pixel (rectangle coordinates), as the reference defines them.
void quadSums(const KernelImage& raw, const KernelRect& rect, std::int32_t mode, std::int32_t k, std::int32_t j,
              std::int32_t& sumBlue, std::int32_t& sumRed, std::int32_t& green) {
    auto P = [&](int dx, int dy) { return raw.at(rect.left + k + dx, rect.top + j + dy); };
    const int a = bayerRowPhase(mode) ^ (j & 1);
    const int b = bayerColumnPhase(mode) ^ (k & 1);
    if (a == 0 && b == 0) {
        sumBlue = 9 * P(-1, 0) + 3 * P(1, 0) + 3 * P(-1, -2) + P(1, -2);
        sumRed = 9 * P(0, -1) + 3 * P(-2, -1) + 3 * P(0, 1) + P(-2, 1);
        green = (P(-1, -1) + P(0, 0)) >> 1;
    } else if (a == 0 && b == 1) {
        sumBlue = 9 * P(0, 0) + 3 * P(-2, 0) + 3 * P(0, -2) + P(-2, -2);
        sumRed = 9 * P(-1, -1) + 3 * P(-1, 1) + 3 * P(1, -1) + P(1, 1);
        green = (P(-1, 0) + P(0, -1)) >> 1;
    } else if (a == 1 && b == 0) {
        sumBlue = 9 * P(-1, -1) + 3 * P(-1, 1) + 3 * P(1, -1) + P(1, 1);
        sumRed = 9 * P(0, 0) + 3 * P(-2, 0) + 3 * P(0, -2) + P(-2, -2);
        green = (P(-1, 0) + P(0, -1)) >> 1;
    } else {
        sumBlue = 9 * P(0, -1) + 3 * P(-2, -1) + 3 * P(0, 1) + P(-2, 1);
        sumRed = 9 * P(-1, 0) + 3 * P(1, 0) + 3 * P(-1, -2) + P(1, -2);
        green = (P(-1, -1) + P(0, 0)) >> 1;
    }
}

// Straightforward transcription of the vectorised kernels: vector steps of 16 pixels
// from column 2 (3 when the column phase is 1) with ((S >> 4) x k) >> 7, then columns
// 2..13 and m + 2..W - 3 with the reference kernel, then columns 0, 1, W - 1 zeroed.
void vectorModel(const KernelImage& raw, const KernelRect& rect, std::int32_t dstX, std::int32_t dstY,
                 const DemosaicParams& params, KernelImage& out) {
    const std::int32_t W = rect.width();
    const std::int32_t H = rect.height();
    const std::int32_t kB = fixedPointGain(params.gainBlue);
    const std::int32_t kR = fixedPointGain(params.gainRed);
    const std::int32_t start = bayerColumnPhase(params.bayerMode) ? 3 : 2;
    const std::int32_t steps = W >= 4 ? (W - 4) / 16 : 0;
    for (std::int32_t j = 2; j <= H - 3; ++j) {
        for (std::int32_t k = start; k < start + 16 * steps; ++k) {
            std::int32_t sb, sr, g;
            quadSums(raw, rect, params.bayerMode, k, j, sb, sr, g);
            out.set(dstX + k, dstY + j, 0, std::min(255, (((sb >> 4) * kB) & 0xFFFF) >> 7));
            out.set(dstX + k, dstY + j, 1, g);
            out.set(dstX + k, dstY + j, 2, std::min(255, (((sr >> 4) * kR) & 0xFFFF) >> 7));
        }
    }
    const DemosaicParams* pointer = &params;
    KernelRect left = rect;
    left.right = rect.left + std::min(W, 16);
    demosaic8To24(out.bits.data(), raw.bits.data(), &left, dstX, dstY, 3, 1, out.stride, raw.stride, &pointer, 0);
    const std::int32_t m = W >= 4 ? 16 * ((W - 4) / 16) : 0;
    KernelRect right = rect;
    right.left = rect.left + m;
    demosaic8To24(out.bits.data(), raw.bits.data(), &right, dstX + m, dstY, 3, 1, out.stride, raw.stride, &pointer,
                  0);
    for (std::int32_t j = 0; j < H; ++j) {
        for (std::int32_t k : {0, 1, W - 1}) {
            if (k >= 0 && k < W) {
                for (int c = 0; c < 3; ++c) {
                    out.set(dstX + k, dstY + j, c, 0);
                }
            }
        }
    }
}

std::int32_t callKernel(PixelKernel kernel, KernelImage& out, const KernelImage& raw, const KernelRect& rect,
                        std::int32_t dstX, std::int32_t dstY, const DemosaicParams& params) {
    const DemosaicParams* pointer = &params;
    KernelRect r = rect;
    return kernel(out.bits.data(), raw.bits.data(), &r, dstX, dstY, 3, 1, out.stride, raw.stride, &pointer, 0);
}

TEST(DemosaicVector, MatchesTheTranscriptionBitForBitOverManyWidths) {
    std::mt19937 rng(2024);
    std::uniform_int_distribution<std::int32_t> gain(0, 200);
    const std::int32_t widths[] = {1, 2, 3, 4, 5, 6, 7, 13, 16, 17, 18, 19, 20, 21, 22, 31, 35, 36, 37, 51, 52, 53,
                                   67, 100, 131, 160, 1360 / 8 + 3};
    for (std::int32_t width : widths) {
        for (std::int32_t height : {1, 5, 6, 9}) {
            for (std::int32_t mode = 0; mode < 4; ++mode) {
                KernelImage raw(width, height, 8);
                raw.randomize(rng, 255);
                const DemosaicParams params{mode, gain(rng), gain(rng), gain(rng)};
                KernelImage expected(width, height, 24, 0x6B);
                vectorModel(raw, KernelRect{0, 0, width, height}, 0, 0, params, expected);
                for (const NamedKernel& k : vectorKernels()) {
                    KernelImage out(width, height, 24, 0x6B);
                    EXPECT_EQ(callKernel(k.kernel, out, raw, KernelRect{0, 0, width, height}, 0, 0, params), 1);
                    // Column W - 2 may hold an interpolated value or its old content.
                    for (std::int32_t y = 0; y < height; ++y) {
                        for (std::int32_t x = 0; x < width; ++x) {
                            if (x == width - 2 && x >= 2) {
                                continue;
                            }
                            for (int c = 0; c < 3; ++c) {
                                ASSERT_EQ(out.at(x, y, c), expected.at(x, y, c))
                                    << k.name << " width " << width << " height " << height << " mode " << mode
                                    << " pixel " << x << "," << y << " channel " << c;
                            }
                        }
                    }
                }
            }
        }
    }
}

// Every width from 4 to 64 and some wide ones up to the full sensor width, every
// Bayer mode and every gain case: gains of 100 % (where the lane arithmetic is
// exactly the reference's, so the interior must equal demosaic8To24), any gains up
// to 200 % (the transcription), and gains beyond 200 % (handed to the reference).
// Nothing is left out of the comparison, column W - 2 included.
TEST(DemosaicVector, EveryWidthEveryModeEveryGainCaseMatchesByteForByte) {
    std::mt19937 rng(417);
    std::vector<std::int32_t> widths;
    for (std::int32_t w = 4; w <= 64; ++w) widths.push_back(w);
    for (std::int32_t w : {65, 66, 67, 68, 99, 100, 131, 257, 683, 1024, 1359, 1360}) widths.push_back(w);
    std::uniform_int_distribution<std::int32_t> gain(0, 200);
    for (std::int32_t width : widths) {
        const std::int32_t height = width > 100 ? 6 : 7;
        KernelImage raw(width, height, 8);
        raw.randomize(rng, 255);
        for (std::int32_t mode = 0; mode < 4; ++mode) {
            const DemosaicParams cases[] = {{mode, 100, 100, 100},
                                            {mode, gain(rng), gain(rng), gain(rng)},
                                            {mode, 200, 100, 0},
                                            {mode, 201 + gain(rng), 100, gain(rng)}};
            for (const DemosaicParams& params : cases) {
                const bool vectorArithmetic = params.gainRed <= 200 && params.gainBlue <= 200;
                KernelImage expected(width, height, 24, 0x6B);
                if (vectorArithmetic) {
                    vectorModel(raw, KernelRect{0, 0, width, height}, 0, 0, params, expected);
                } else {
                    callKernel(demosaic8To24, expected, raw, KernelRect{0, 0, width, height}, 0, 0, params);
                }
                KernelImage reference(width, height, 24, 0x6B);
                callKernel(demosaic8To24, reference, raw, KernelRect{0, 0, width, height}, 0, 0, params);
                for (const NamedKernel& k : vectorKernels()) {
                    KernelImage out(width, height, 24, 0x6B);
                    callKernel(k.kernel, out, raw, KernelRect{0, 0, width, height}, 0, 0, params);
                    ASSERT_TRUE(out.bits == expected.bits) << k.name << " width " << width << " mode " << mode
                                                           << " gains " << params.gainRed << "/" << params.gainBlue;
                    if (params.gainRed != 100 || params.gainBlue != 100) continue;
                    for (std::int32_t y = 2; y <= height - 3; ++y) {
                        for (std::int32_t x = 2; x <= width - 3; ++x) {
                            for (int c = 0; c < 3; ++c) {
                                ASSERT_EQ(out.at(x, y, c), reference.at(x, y, c))
                                    << k.name << " width " << width << " mode " << mode << " at " << x << "," << y;
                            }
                        }
                    }
                }
            }
        }
    }
}

TEST(DemosaicVector, StaysWithinTwoOfTheReferenceAndBitIdenticalAtTheEdges) {
    std::mt19937 rng(99);
    for (std::int32_t width : {29, 40, 64, 75, 200}) {
        for (std::int32_t mode = 0; mode < 4; ++mode) {
            const std::int32_t height = 12;
            KernelImage raw(width, height, 8);
            raw.randomize(rng, 255);
            const DemosaicParams params{mode, 200, 100, 37 + mode * 40};
            KernelImage reference(width, height, 24);
            callKernel(demosaic8To24, reference, raw, KernelRect{0, 0, width, height}, 0, 0, params);
            const std::int32_t m = 16 * ((width - 4) / 16);
            for (const NamedKernel& k : vectorKernels()) {
                KernelImage out(width, height, 24);
                callKernel(k.kernel, out, raw, KernelRect{0, 0, width, height}, 0, 0, params);
                for (std::int32_t y = 2; y <= height - 3; ++y) {
                    for (std::int32_t x = 2; x <= width - 3; ++x) {
                        const bool edge = x <= 13 || x >= m + 2;
                        ASSERT_EQ(out.at(x, y, 1), reference.at(x, y, 1)) << k.name;
                        for (int c : {0, 2}) {
                            const std::int32_t difference = reference.at(x, y, c) - out.at(x, y, c);
                            if (edge) {
                                ASSERT_EQ(difference, 0) << k.name << " column " << x;
                            } else {
                                ASSERT_GE(difference, 0) << k.name << " column " << x;
                                ASSERT_LE(difference, 2) << k.name << " column " << x;
                            }
                        }
                    }
                }
            }
        }
    }
}

TEST(DemosaicVector, HonoursTheRectangleAndDestinationPoint) {
    // A sub-rectangle of a larger raw frame written at an offset of the destination.
    std::mt19937 rng(5);
    KernelImage raw(90, 20, 8);
    raw.randomize(rng, 255);
    const KernelRect rect{7, 3, 7 + 53, 3 + 11};
    for (std::int32_t mode = 0; mode < 4; ++mode) {
        const DemosaicParams params{mode, 120, 100, 180};
        KernelImage expected(70, 16, 24, 0x21);
        vectorModel(raw, rect, 5, 2, params, expected);
        for (const NamedKernel& k : vectorKernels()) {
            KernelImage out(70, 16, 24, 0x21);
            callKernel(k.kernel, out, raw, rect, 5, 2, params);
            for (std::int32_t y = 0; y < 16; ++y) {
                for (std::int32_t x = 0; x < 70; ++x) {
                    if (x == 5 + 53 - 2) {
                        continue;
                    }
                    for (int c = 0; c < 3; ++c) {
                        ASSERT_EQ(out.at(x, y, c), expected.at(x, y, c)) << k.name << " " << x << "," << y;
                    }
                }
            }
        }
    }
}

TEST(DemosaicVector, FlatFramesAndGain200MatchTheReferenceExactly) {
    for (std::int32_t v : {0, 1, 77, 128, 255}) {
        KernelImage raw(40, 8, 8, static_cast<std::uint8_t>(v));
        KernelImage reference(40, 8, 24);
        const DemosaicParams params{1, 200, 100, 100};
        callKernel(demosaic8To24, reference, raw, KernelRect{0, 0, 40, 8}, 0, 0, params);
        for (const NamedKernel& k : vectorKernels()) {
            KernelImage out(40, 8, 24, 0x5A);
            callKernel(k.kernel, out, raw, KernelRect{0, 0, 40, 8}, 0, 0, params);
            for (std::int32_t y = 2; y <= 5; ++y) {
                for (std::int32_t x = 2; x <= 36; ++x) {
                    EXPECT_EQ(out.at(x, y, 2), std::min(255, 2 * v)) << k.name;
                    EXPECT_EQ(out.at(x, y, 1), v) << k.name;
                    EXPECT_EQ(out.at(x, y, 0), v) << k.name;
                }
            }
            // Black columns 0, 1 and W - 1 in every row, the top rows otherwise kept.
            for (std::int32_t y = 0; y < 8; ++y) {
                for (std::int32_t x : {0, 1, 39}) {
                    EXPECT_EQ(out.at(x, y, 0), 0) << k.name;
                }
            }
            EXPECT_EQ(out.at(5, 0, 0), 0x5A);
            EXPECT_EQ(out.at(5, 7, 2), 0x5A);
        }
    }
}

TEST(DemosaicVector, HandsUnsuitableCallsToTheReference) {
    std::mt19937 rng(11);
    KernelImage raw(48, 8, 8);
    raw.randomize(rng, 255);
    const DemosaicParams strong{2, 300, 100, 250};
    KernelImage reference(48, 8, 24, 0x44);
    callKernel(demosaic8To24, reference, raw, KernelRect{0, 0, 48, 8}, 0, 0, strong);
    for (const NamedKernel& k : vectorKernels()) {
        KernelImage out(48, 8, 24, 0x44);
        callKernel(k.kernel, out, raw, KernelRect{0, 0, 48, 8}, 0, 0, strong);
        EXPECT_EQ(out.bits, reference.bits) << k.name;
    }
}

} // namespace
} // namespace orvix
