// The display conversions and stretches take whole rows at a time (16 bytes per
// step with SSE2) for their usual layouts: they must give exactly the bytes of their
// plain pixel-by-pixel versions, for every width from 1 to 64 and the full frame,
// with rectangles away from the origin, pixels of other sizes, rows read flipped,
// passes in place, and bytes they must not touch (row padding, a fourth byte).

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "imaging/pixel_kernels.h"

namespace orvix {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t strideOf(int width, int bytesPerPixel) {
    return (static_cast<std::uint32_t>(width * bytesPerPixel) + 3u) & ~3u;
}

Bytes randomBytes(std::size_t count, unsigned seed) {
    std::mt19937 generator(seed);
    Bytes bytes(count);
    for (std::size_t i = 0; i < count; i += 4) {
        const std::uint32_t r = generator();
        for (std::size_t k = 0; k < 4 && i + k < count; ++k) bytes[i + k] = static_cast<std::uint8_t>(r >> (8 * k));
    }
    return bytes;
}

struct Layout {
    int srcBytesPerPixel;
    int dstBytesPerPixel;
};

struct PixelCase {
    const char* name;
    PixelKernel fast;
    PixelKernel plain;
    std::vector<Layout> layouts;
};

std::vector<PixelCase> pixelCases() {
    const std::vector<Layout> mono = {{2, 1}, {2, 2}, {4, 1}};
    const std::vector<Layout> colour16 = {{6, 3}, {8, 3}, {8, 4}, {6, 4}};
    const std::vector<Layout> bgr = {{4, 3}, {3, 3}, {4, 4}, {3, 4}};
    return {{"convertMono16To8", convertMono16To8, convertMono16To8Plain, mono},
            {"convertMono16To8Flip", convertMono16To8Flip, convertMono16To8FlipPlain, mono},
            {"convertColor16To8", convertColor16To8, convertColor16To8Plain, colour16},
            {"convertColor16To8Flip", convertColor16To8Flip, convertColor16To8FlipPlain, colour16},
            {"copyBgr", copyBgr, copyBgrPlain, bgr},
            {"copyBgrFlip", copyBgrFlip, copyBgrFlipPlain, bgr}};
}

std::vector<int> widths() {
    std::vector<int> w;
    for (int i = 1; i <= 64; ++i) w.push_back(i);
    w.push_back(1360);
    return w;
}

// Runs one kernel over a width x height rectangle at (1, 1) of a random source into
// (2, 1) of a destination whose every byte starts as a pattern; returns the
// destination.
Bytes convertOnce(PixelKernel kernel, const Layout& layout, int width, int height, unsigned seed) {
    const int srcWidth = width + 3, srcHeight = height + 2;
    const int dstWidth = width + 4, dstHeight = height + 3;
    const std::uint32_t srcStride = strideOf(srcWidth, layout.srcBytesPerPixel);
    const std::uint32_t dstStride = strideOf(dstWidth, layout.dstBytesPerPixel);
    const Bytes source = randomBytes(srcStride * srcHeight, seed);
    Bytes destination = randomBytes(dstStride * dstHeight, seed + 1);
    const KernelRect rect{1, 1, 1 + width, 1 + height};
    EXPECT_EQ(kernel(destination.data(), source.data(), &rect, 2, 1, static_cast<std::uint16_t>(layout.dstBytesPerPixel),
                     static_cast<std::uint16_t>(layout.srcBytesPerPixel), dstStride, srcStride, nullptr, 0),
              1);
    return destination;
}

TEST(DisplayKernelsFast, ConversionsGiveTheBytesOfThePlainVersions) {
    for (const PixelCase& c : pixelCases()) {
        for (const Layout& layout : c.layouts) {
            for (int width : widths()) {
                for (int height : {1, 3}) {
                    const unsigned seed = static_cast<unsigned>(width * 131 + height);
                    const Bytes fast = convertOnce(c.fast, layout, width, height, seed);
                    const Bytes plain = convertOnce(c.plain, layout, width, height, seed);
                    ASSERT_EQ(fast, plain) << c.name << " " << layout.srcBytesPerPixel << " -> "
                                           << layout.dstBytesPerPixel << " bytes per pixel, " << width << " x "
                                           << height;
                }
            }
        }
    }
}

TEST(DisplayKernelsFast, ConversionsInPlaceGiveTheBytesOfThePlainVersions) {
    // One image as source and destination: the 16-bit samples become bytes at the
    // start of each row, written behind the samples still to be read.
    for (const PixelCase& c : pixelCases()) {
        for (const Layout& layout : c.layouts) {
            for (int width : {5, 16, 33, 1360}) {
                const std::uint32_t stride = strideOf(width, std::max(layout.srcBytesPerPixel, layout.dstBytesPerPixel));
                const Bytes start = randomBytes(stride * 4, static_cast<unsigned>(width));
                Bytes fast = start, plain = start;
                const KernelRect rect{0, 0, width, 4};
                const auto src = static_cast<std::uint16_t>(layout.srcBytesPerPixel);
                const auto dst = static_cast<std::uint16_t>(layout.dstBytesPerPixel);
                c.fast(fast.data(), fast.data(), &rect, 0, 0, dst, src, stride, stride, nullptr, 0);
                c.plain(plain.data(), plain.data(), &rect, 0, 0, dst, src, stride, stride, nullptr, 0);
                ASSERT_EQ(fast, plain) << c.name << " in place, " << src << " -> " << dst << ", width " << width;
            }
        }
    }
}

TEST(DisplayKernelsFast, AnEmptyRectangleWritesNothing) {
    for (const PixelCase& c : pixelCases()) {
        Bytes destination(64, 0x5A);
        const Bytes source = randomBytes(64, 1);
        for (const KernelRect rect : {KernelRect{3, 0, 3, 2}, KernelRect{0, 2, 4, 2}, KernelRect{4, 0, 1, 2}}) {
            c.fast(destination.data(), source.data(), &rect, 0, 0, 3, 8, 16, 32, nullptr, 0);
            EXPECT_EQ(destination, Bytes(64, 0x5A)) << c.name;
        }
    }
}

struct StretchCase {
    int srcWidth, srcHeight, dstWidth, dstHeight;
};

// Stretches a random source into a destination whose bytes start as a pattern, with
// optional partial rectangles; returns the destination.
Bytes stretchOnce(ScaleKernel kernel, int pixelBytes, int dstBytesPerPixel, const StretchCase& c,
                  const KernelRect& from, const KernelRect& to, unsigned seed) {
    const std::uint32_t srcStride = strideOf(c.srcWidth, pixelBytes);
    const std::uint32_t dstStride = strideOf(c.dstWidth, dstBytesPerPixel);
    const Bytes source = randomBytes(srcStride * static_cast<std::uint32_t>(c.srcHeight), seed);
    Bytes destination = randomBytes(dstStride * static_cast<std::uint32_t>(c.dstHeight), seed + 7);
    EXPECT_EQ(kernel(destination.data(), source.data(), &to, &from, c.dstWidth, c.dstHeight, c.srcWidth, c.srcHeight,
                     static_cast<std::uint16_t>(dstBytesPerPixel), static_cast<std::uint16_t>(pixelBytes), dstStride,
                     srcStride, 0, 0),
              1);
    return destination;
}

TEST(DisplayKernelsFast, StretchesGiveTheBytesOfThePlainVersions) {
    std::vector<StretchCase> cases = {{1360, 1024, 1360, 1024}, {1360, 1024, 680, 512}, {1360, 48, 2000, 100},
                                      {1360, 1024, 1, 1},       {7, 5, 14, 10},         {14, 20, 20, 14}};
    for (int sw : {1, 2, 3, 7, 64})
        for (int dw : {1, 2, 5, 13, 64, 100}) cases.push_back({sw, sw + 1, dw, (dw * 3) / 2 + 1});
    struct Kernel {
        ScaleKernel fast, plain;
        int pixelBytes;
        int dstBytesPerPixel;
    };
    const Kernel kernels[] = {{stretchFlip8, stretchFlip8Plain, 1, 1},
                              {stretchFlip24, stretchFlip24Plain, 3, 3},
                              {stretchFlip24, stretchFlip24Plain, 3, 4}, // the fourth byte stays
                              {stretchFlip8, stretchFlip8Plain, 1, 3}};
    for (const Kernel& k : kernels) {
        for (const StretchCase& c : cases) {
            const std::string what = std::to_string(c.srcWidth) + "x" + std::to_string(c.srcHeight) + " -> " +
                                     std::to_string(c.dstWidth) + "x" + std::to_string(c.dstHeight) + ", " +
                                     std::to_string(k.pixelBytes) + " into " + std::to_string(k.dstBytesPerPixel);
            const KernelRect wholeSource{0, 0, c.srcWidth, c.srcHeight};
            const KernelRect wholeDestination{0, 0, c.dstWidth, c.dstHeight};
            const unsigned seed = static_cast<unsigned>(c.srcWidth * 7 + c.dstWidth);
            ASSERT_EQ(stretchOnce(k.fast, k.pixelBytes, k.dstBytesPerPixel, c, wholeSource, wholeDestination, seed),
                      stretchOnce(k.plain, k.pixelBytes, k.dstBytesPerPixel, c, wholeSource, wholeDestination, seed))
                << what;
            // Parts of both images.
            const KernelRect partSource{c.srcWidth / 3, c.srcHeight / 4, c.srcWidth, c.srcHeight - c.srcHeight / 5};
            const KernelRect partDestination{c.dstWidth / 4, c.dstHeight / 3, c.dstWidth - c.dstWidth / 6, c.dstHeight};
            ASSERT_EQ(stretchOnce(k.fast, k.pixelBytes, k.dstBytesPerPixel, c, partSource, partDestination, seed),
                      stretchOnce(k.plain, k.pixelBytes, k.dstBytesPerPixel, c, partSource, partDestination, seed))
                << what << ", partial rectangles";
        }
    }
}

TEST(DisplayKernelsFast, AStretchOfAnImageIntoItselfGivesThePlainResult) {
    for (int pixelBytes : {1, 3}) {
        const ScaleKernel fast = pixelBytes == 1 ? stretchFlip8 : stretchFlip24;
        const ScaleKernel plain = pixelBytes == 1 ? stretchFlip8Plain : stretchFlip24Plain;
        const int width = 40, height = 30;
        const std::uint32_t stride = strideOf(width, pixelBytes);
        const Bytes start = randomBytes(stride * height, 3);
        Bytes a = start, b = start;
        const KernelRect from{0, 0, 20, 15};
        const KernelRect to{0, 0, width, height};
        const auto bpp = static_cast<std::uint16_t>(pixelBytes);
        fast(a.data(), a.data(), &to, &from, width, height, width, height, bpp, bpp, stride, stride, 0, 0);
        plain(b.data(), b.data(), &to, &from, width, height, width, height, bpp, bpp, stride, stride, 0, 0);
        EXPECT_EQ(a, b) << pixelBytes << " bytes per pixel";
    }
}

} // namespace
} // namespace orvix
