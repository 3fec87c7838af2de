// Surface geometry, lifetime, colour tables, clipping and the blit/stretch contracts.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "imaging/surface.h"

namespace orvix {
namespace {

using platform::ColorEntry;
using platform::ColorTable;

// What a kernel was handed, recorded by the spy kernels below.
struct KernelCall {
    int calls = 0;
    const std::uint8_t* dstBits = nullptr;
    const std::uint8_t* srcBits = nullptr;
    KernelRect rect;
    KernelRect srcRect;
    std::int32_t dstX = -1, dstY = -1;
    std::int32_t dstWidth = 0, dstHeight = 0, srcWidth = 0, srcHeight = 0;
    std::uint16_t dstBpp = 0, srcBpp = 0;
    std::uint32_t dstStride = 0, srcStride = 0;
    void* context = nullptr;
    std::int32_t extra = -1;
};

KernelCall lastCall;

std::int32_t spyKernel(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* rect, std::int32_t dstX,
                       std::int32_t dstY, std::uint16_t dstBpp, std::uint16_t srcBpp, std::uint32_t dstStride,
                       std::uint32_t srcStride, void* context, std::int32_t extra) {
    ++lastCall.calls;
    lastCall.dstBits = dstBits;
    lastCall.srcBits = srcBits;
    lastCall.rect = *rect;
    lastCall.dstX = dstX;
    lastCall.dstY = dstY;
    lastCall.dstBpp = dstBpp;
    lastCall.srcBpp = srcBpp;
    lastCall.dstStride = dstStride;
    lastCall.srcStride = srcStride;
    lastCall.context = context;
    lastCall.extra = extra;
    return 77;
}

std::int32_t spyScale(std::uint8_t* dstBits, const std::uint8_t* srcBits, const KernelRect* dstRect,
                      const KernelRect* srcRect, std::int32_t dstWidth, std::int32_t dstHeight, std::int32_t srcWidth,
                      std::int32_t srcHeight, std::uint16_t dstBpp, std::uint16_t srcBpp, std::uint32_t dstStride,
                      std::uint32_t srcStride, std::int32_t, std::int32_t) {
    ++lastCall.calls;
    lastCall.dstBits = dstBits;
    lastCall.srcBits = srcBits;
    lastCall.rect = *dstRect;
    lastCall.srcRect = *srcRect;
    lastCall.dstWidth = dstWidth;
    lastCall.dstHeight = dstHeight;
    lastCall.srcWidth = srcWidth;
    lastCall.srcHeight = srcHeight;
    lastCall.dstBpp = dstBpp;
    lastCall.srcBpp = srcBpp;
    lastCall.dstStride = dstStride;
    lastCall.srcStride = srcStride;
    return 55;
}

class SurfaceTest : public ::testing::Test {
protected:
    void SetUp() override { lastCall = KernelCall{}; }
};

void expectEmpty(const Surface& s) {
    EXPECT_TRUE(s.isEmpty());
    EXPECT_EQ(s.bits(), nullptr);
    EXPECT_EQ(s.width(), 0);
    EXPECT_EQ(s.height(), 0);
    EXPECT_EQ(s.stride(), 0u);
    EXPECT_EQ(s.bitsPerPixel(), 0);
    EXPECT_EQ(s.memoryDc(), 0u);
    Surface::Header expected;
    expected.size = 40;
    EXPECT_EQ(std::memcmp(&s.header(), &expected, sizeof(expected)), 0) << "header is zero except its size";
}

bool isGrayRamp(const ColorTable& table) {
    for (int i = 0; i < 256; ++i) {
        const ColorEntry& e = table[static_cast<std::size_t>(i)];
        if (e.blue != i || e.green != i || e.red != i || e.reserved != 0) return false;
    }
    return true;
}

TEST_F(SurfaceTest, NewSurfaceIsEmptyWithA40ByteHeader) {
    Surface s;
    expectEmpty(s);
    static_assert(sizeof(Surface::Header) == 40, "header keeps the bitmap header layout");
}

TEST_F(SurfaceTest, StrideRoundsRowBytesUpToFour) {
    EXPECT_EQ(Surface::strideFor(5, 24), 16u);
    EXPECT_EQ(Surface::strideFor(1360, 8), 1360u);
    EXPECT_EQ(Surface::strideFor(1, 16), 4u);
    EXPECT_EQ(Surface::strideFor(1001, 8), 1004u);
    EXPECT_EQ(Surface::strideFor(3, 48), 20u);
    EXPECT_EQ(Surface::strideFor(0x7FFFFFFF, 64), 0u) << "a row that does not fit 32 bits";
}

TEST_F(SurfaceTest, CreateSetsHeaderGeometryAndZeroedPixels) {
    Surface s;
    ASSERT_TRUE(s.create(5, 3, 24));
    EXPECT_EQ(s.width(), 5);
    EXPECT_EQ(s.height(), 3);
    EXPECT_EQ(s.stride(), 16u);
    EXPECT_EQ(s.bitsPerPixel(), 24);
    EXPECT_EQ(s.byteCount(), 48u);
    ASSERT_NE(s.bits(), nullptr);
    EXPECT_EQ(std::vector<std::uint8_t>(s.bits(), s.bits() + 48), std::vector<std::uint8_t>(48, 0));

    const Surface::Header& h = s.header();
    EXPECT_EQ(h.size, 40u);
    EXPECT_EQ(h.width, 5);
    EXPECT_EQ(h.height, 3) << "positive: a bottom-up bitmap";
    EXPECT_EQ(h.planes, 1);
    EXPECT_EQ(h.bitCount, 24);
    EXPECT_EQ(h.compression, 0u);
    EXPECT_EQ(h.sizeImage, 0u);
    EXPECT_EQ(h.xPelsPerMeter, 0);
    EXPECT_EQ(h.yPelsPerMeter, 0);
    EXPECT_EQ(h.colorsUsed, 0u);
    EXPECT_EQ(h.colorsImportant, 0u);

    // The whole pixel memory is usable (the sanitizers catch a short allocation).
    std::memset(s.bits(), 0xAB, s.byteCount());
}

TEST_F(SurfaceTest, EveryDepthGetsItsLayout) {
    for (std::uint16_t bpp : {8, 16, 24, 32, 48, 64}) {
        Surface s;
        ASSERT_TRUE(s.create(7, 2, bpp)) << bpp;
        EXPECT_EQ(s.stride(), (7u * bpp / 8 + 3) & ~3u) << bpp;
        EXPECT_EQ(s.bytesPerPixel(), bpp / 8);
        std::memset(s.bits(), 1, s.byteCount());
    }
}

TEST_F(SurfaceTest, InvalidGeometryFailsAndKeepsThePreviousImage) {
    Surface s;
    ASSERT_TRUE(s.create(4, 4, 8));
    std::uint8_t* const before = s.bits();
    s.bits()[0] = 9;
    const struct {
        std::int32_t w, h;
        std::uint16_t bpp;
    } invalid[] = {
        {0, 10, 8}, {10, -1, 8}, {10, 10, 0}, {10, 10, 12}, {10, 10, 72},
        // stride × height overflows 32 bits, or is beyond what a Surface takes
        {0x7FFFFFFF, 1, 64}, {65536, 65536, 32}, {32768, 32769, 8 * 4},
    };
    for (const auto& g : invalid) {
        EXPECT_FALSE(s.create(g.w, g.h, g.bpp)) << g.w << "x" << g.h << "x" << g.bpp;
        EXPECT_EQ(s.bits(), before);
        EXPECT_EQ(s.width(), 4);
        EXPECT_EQ(s.bits()[0], 9);
    }
}

TEST_F(SurfaceTest, ImagesAboveOneGibibyteAreRefused) {
    Surface s;
    // 16384 × 16384 × 4 bytes is exactly the limit; one row more is refused before
    // anything is allocated.
    EXPECT_FALSE(s.create(16384, 16385, 32));
    EXPECT_TRUE(s.isEmpty());
}

TEST_F(SurfaceTest, FailedAllocationReleasesEverything) {
    Surface s;
    ASSERT_TRUE(s.create(4, 4, 8));
    platform::setBitmapFaultsForTesting(platform::kRefuseSection | platform::kFailHeap);
    const bool created = s.create(8, 8, 24);
    platform::setBitmapFaultsForTesting(0);
    EXPECT_FALSE(created);
    expectEmpty(s);
    EXPECT_TRUE(s.create(8, 8, 24)) << "works again once memory is there";
}

TEST_F(SurfaceTest, ReleaseEmptiesAndCreateLikeFromAnEmptySurfaceFails) {
    Surface s;
    ASSERT_TRUE(s.create(10, 10, 24));
    s.release();
    expectEmpty(s);

    Surface t;
    ASSERT_TRUE(t.create(3, 3, 8));
    EXPECT_FALSE(t.createLike(&s));
    EXPECT_FALSE(t.createLike(nullptr));
    EXPECT_FALSE(t.createLike(&t)) << "a Surface cannot be made like itself";
    EXPECT_EQ(t.width(), 3) << "a refused createLike keeps the image";
    s.release(); // releasing twice is harmless
    expectEmpty(s);
}

TEST_F(SurfaceTest, EightBitSurfacesStartWithTheGrayRamp) {
    Surface s;
    ASSERT_TRUE(s.create(3, 2, 8));
    EXPECT_TRUE(isGrayRamp(s.colorTable()));

    Surface rgb;
    ASSERT_TRUE(rgb.create(3, 2, 24));
    EXPECT_EQ(rgb.colorTable()[255].red, 0) << "only 8-bit Surfaces have a table";
}

TEST_F(SurfaceTest, SetColorTableModes) {
    Surface s;
    ASSERT_TRUE(s.create(3, 2, 8));
    ColorEntry entries[3] = {{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}};

    EXPECT_EQ(s.setColorTable(Surface::kColorTableModeEntries, entries, 10, 3), 1);
    ColorTable t = s.colorTable();
    EXPECT_EQ(t[10].blue, 1);
    EXPECT_EQ(t[12].red, 9);
    EXPECT_EQ(t[9].red, 9) << "entries outside the range stay";
    EXPECT_EQ(t[13].red, 13);

    // Ranges reaching outside 0..255 are cut, not written past the table.
    EXPECT_EQ(s.setColorTable(Surface::kColorTableModeEntries, entries, 254, 3), 1);
    t = s.colorTable();
    EXPECT_EQ(t[254].blue, 1);
    EXPECT_EQ(t[255].blue, 4);
    EXPECT_EQ(s.setColorTable(Surface::kColorTableModeEntries, entries, -2, 3), 1);
    EXPECT_EQ(s.colorTable()[0].blue, 7);

    EXPECT_EQ(s.setColorTable(1, entries, 0, 3), 1) << "unknown modes do nothing";
    EXPECT_EQ(s.colorTable()[0].blue, 7);

    EXPECT_EQ(s.setColorTable(Surface::kColorTableModeGrayRamp, nullptr, 99, -5), 1);
    EXPECT_TRUE(isGrayRamp(s.colorTable()));

    Surface empty;
    EXPECT_EQ(empty.setColorTable(Surface::kColorTableModeEntries, entries, 0, 3), 1);
}

TEST_F(SurfaceTest, CreateLikeCopiesHeaderGeometryAndTableButNotPixels) {
    Surface gray;
    ASSERT_TRUE(gray.create(6, 4, 8));
    ColorEntry red{0, 0, 200, 0};
    gray.setColorTable(Surface::kColorTableModeEntries, &red, 17, 1);
    gray.bits()[0] = 42;

    Surface copy;
    ASSERT_TRUE(copy.create(2, 2, 32));
    ASSERT_TRUE(copy.createLike(&gray));
    EXPECT_EQ(std::memcmp(&copy.header(), &gray.header(), 40), 0);
    EXPECT_EQ(copy.stride(), gray.stride());
    EXPECT_EQ(copy.height(), 4);
    EXPECT_EQ(copy.bits()[0], 0) << "pixels are not copied";
    const ColorTable a = gray.colorTable();
    const ColorTable b = copy.colorTable();
    EXPECT_EQ(std::memcmp(a.data(), b.data(), sizeof(a)), 0);
    EXPECT_EQ(b[17].red, 200);

    Surface rgb;
    ASSERT_TRUE(rgb.create(5, 3, 24));
    Surface rgbCopy;
    ASSERT_TRUE(rgbCopy.createLike(&rgb));
    EXPECT_EQ(std::memcmp(&rgbCopy.header(), &rgb.header(), 40), 0);
    EXPECT_EQ(rgbCopy.stride(), 16u);
}

// ---- clip and blit -------------------------------------------------------------------

TEST_F(SurfaceTest, WholeBlitBetweenEqualSizesSeesTheWholeRectangle) {
    Surface dst, src;
    ASSERT_TRUE(dst.create(5, 3, 24));
    ASSERT_TRUE(src.create(5, 3, 16));
    int context = 0;
    EXPECT_EQ(dst.blit(spyKernel, &src, nullptr, 0, 0, &context, 0), 77);
    ASSERT_EQ(lastCall.calls, 1);
    EXPECT_EQ(lastCall.rect.left, 0);
    EXPECT_EQ(lastCall.rect.top, 0);
    EXPECT_EQ(lastCall.rect.right, 5);
    EXPECT_EQ(lastCall.rect.bottom, 3);
    EXPECT_EQ(lastCall.dstX, 0);
    EXPECT_EQ(lastCall.dstY, 0);
    EXPECT_EQ(lastCall.dstBits, dst.bits());
    EXPECT_EQ(lastCall.srcBits, src.bits());
    EXPECT_EQ(lastCall.dstBpp, 3);
    EXPECT_EQ(lastCall.srcBpp, 2);
    EXPECT_EQ(lastCall.dstStride, 16u);
    EXPECT_EQ(lastCall.srcStride, 12u);
    EXPECT_EQ(lastCall.context, &context);
    EXPECT_EQ(lastCall.extra, 0);
}

TEST_F(SurfaceTest, TallerSourceUsesItsLastMemoryRows) {
    Surface dst, src;
    ASSERT_TRUE(dst.create(8, 4, 8));
    ASSERT_TRUE(src.create(8, 10, 8));
    ASSERT_EQ(dst.blit(spyKernel, &src, nullptr, 0, 0, nullptr, 0), 77);
    EXPECT_EQ(lastCall.rect.top, 6);
    EXPECT_EQ(lastCall.rect.bottom, 10);
    EXPECT_EQ(lastCall.dstY, 0);
}

TEST_F(SurfaceTest, TallerDestinationReceivesIntoItsLastMemoryRows) {
    Surface dst, src;
    ASSERT_TRUE(dst.create(8, 10, 8));
    ASSERT_TRUE(src.create(8, 4, 8));
    ASSERT_EQ(dst.blit(spyKernel, &src, nullptr, 0, 0, nullptr, 0), 77);
    EXPECT_EQ(lastCall.rect.top, 0);
    EXPECT_EQ(lastCall.rect.bottom, 4);
    EXPECT_EQ(lastCall.dstY, 6);
}

TEST_F(SurfaceTest, InPlaceRectangleBecomesMemoryRowsCountedFromTheBottom) {
    Surface s;
    ASSERT_TRUE(s.create(20, 12, 8));
    const KernelRect r{3, 2, 9, 7}; // picture rows 2..6
    ASSERT_EQ(s.blit(spyKernel, &s, &r, 3, 2, nullptr, 0), 77);
    EXPECT_EQ(lastCall.rect.left, 3);
    EXPECT_EQ(lastCall.rect.right, 9);
    EXPECT_EQ(lastCall.rect.top, 12 - 7);
    EXPECT_EQ(lastCall.rect.bottom, 12 - 2);
    EXPECT_EQ(lastCall.dstX, 3);
    EXPECT_EQ(lastCall.dstY, 12 - 7);
    EXPECT_EQ(lastCall.dstBits, lastCall.srcBits);
}

TEST_F(SurfaceTest, ClipCutsBothSidesAndShiftsTheSource) {
    Surface dst, src;
    ASSERT_TRUE(dst.create(10, 8, 8));
    ASSERT_TRUE(src.create(6, 6, 8));

    // Negative destination point: the source loses what fell off the left and top.
    KernelRect r{0, 0, 6, 6};
    std::int32_t x = -2, y = -3;
    ASSERT_TRUE(dst.clip(src, r, x, y));
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 8 - 3); // clipped bottom 3
    EXPECT_EQ(r.left, 2);
    EXPECT_EQ(r.right, 6);
    EXPECT_EQ(r.top, 6 - 6); // source rows 3..5 → memory rows 0..2
    EXPECT_EQ(r.bottom, 6 - 3);

    // Running over the destination's right and bottom edges.
    r = KernelRect{0, 0, 6, 6};
    x = 7;
    y = 5;
    ASSERT_TRUE(dst.clip(src, r, x, y));
    EXPECT_EQ(x, 7);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(r.width(), 3);
    EXPECT_EQ(r.height(), 3);
    EXPECT_EQ(r.top, 3); // source picture rows 0..2 are memory rows 3..5
    EXPECT_EQ(r.bottom, 6);

    // A source rectangle running over the source: cut to the source.
    r = KernelRect{4, 4, 10, 10};
    x = 0;
    y = 0;
    ASSERT_TRUE(dst.clip(src, r, x, y));
    EXPECT_EQ(r.left, 4);
    EXPECT_EQ(r.right, 6);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.bottom, 2);
    EXPECT_EQ(y, 8 - 6); // destination bottom stays where the uncut rectangle put it

    // Sizes whose sums pass the 32-bit range are clipped, not wrapped.
    r = KernelRect{0, 0, 0x7FFFFFFF, 6};
    x = 5;
    y = 0;
    ASSERT_TRUE(dst.clip(src, r, x, y));
    EXPECT_EQ(x, 5);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.right, 5);
}

TEST_F(SurfaceTest, ClipThatLeavesNothingZeroesEverythingAndSkipsTheKernel) {
    Surface dst, src;
    ASSERT_TRUE(dst.create(10, 8, 8));
    ASSERT_TRUE(src.create(6, 6, 8));
    const struct {
        KernelRect rect;
        std::int32_t x, y;
    } nothing[] = {
        {{0, 0, 6, 6}, 10, 0},   // at the destination's width
        {{0, 0, 6, 6}, 0, 8},    // at its height
        {{0, 0, 6, 6}, 40, 40},  // beyond both
        {{0, 0, 6, 6}, -6, 0},   // entirely left of it
        {{0, 0, 6, 6}, 0, -6},   // entirely above it
        {{6, 0, 9, 6}, 0, 0},    // source rectangle right of the source
        {{0, 6, 6, 9}, 0, 0},    // below the source
        {{3, 3, 3, 5}, 1, 1},    // no columns
        {{3, 3, 5, 3}, 1, 1},    // no rows
        {{5, 0, 2, 6}, 1, 1},    // reversed
        {{0, 0, 6, 6}, 0x7FFFFFF0, 0x7FFFFFF0}, // offsets near the int32 limit
        {{0, 0, 0x7FFFFFFF, 6}, -0x7FFFFFFF, 0},
    };
    for (const auto& c : nothing) {
        KernelRect r = c.rect;
        std::int32_t x = c.x, y = c.y;
        EXPECT_FALSE(dst.clip(src, r, x, y)) << c.x << "," << c.y;
        EXPECT_EQ(r.left | r.top | r.right | r.bottom | x | y, 0);
        EXPECT_EQ(dst.blit(spyKernel, &src, &c.rect, c.x, c.y, nullptr, 0), 0);
    }
    EXPECT_EQ(lastCall.calls, 0);

    Surface empty;
    EXPECT_EQ(dst.blit(spyKernel, &empty, nullptr, 0, 0, nullptr, 0), 0);
    EXPECT_EQ(empty.blit(spyKernel, &src, nullptr, 0, 0, nullptr, 0), 0);
    EXPECT_EQ(dst.blit(spyKernel, nullptr, nullptr, 0, 0, nullptr, 0), 0);
    EXPECT_EQ(dst.blit(nullptr, &src, nullptr, 0, 0, nullptr, 0), 0);
    EXPECT_EQ(lastCall.calls, 0);
}

TEST_F(SurfaceTest, BlitLeavesTheCallersRectangleAlone) {
    Surface s;
    ASSERT_TRUE(s.create(10, 10, 8));
    const KernelRect r{1, 1, 4, 4};
    KernelRect copy = r;
    ASSERT_EQ(s.blit(spyKernel, &s, &copy, 1, 1, nullptr, 0), 77);
    EXPECT_EQ(copy.left, r.left);
    EXPECT_EQ(copy.bottom, r.bottom);
}

// ---- stretch -------------------------------------------------------------------------

TEST_F(SurfaceTest, StretchHandsOverBothWholeSurfaces) {
    Surface dst, src;
    ASSERT_TRUE(dst.create(8, 4, 24));
    ASSERT_TRUE(src.create(5, 3, 8));
    EXPECT_EQ(dst.stretch(spyScale, &src, nullptr, nullptr, 0, 0), 55);
    ASSERT_EQ(lastCall.calls, 1);
    EXPECT_EQ(lastCall.rect.right, 8);
    EXPECT_EQ(lastCall.rect.bottom, 4);
    EXPECT_EQ(lastCall.srcRect.right, 5);
    EXPECT_EQ(lastCall.srcRect.bottom, 3);
    EXPECT_EQ(lastCall.dstWidth, 8);
    EXPECT_EQ(lastCall.dstHeight, 4);
    EXPECT_EQ(lastCall.srcWidth, 5);
    EXPECT_EQ(lastCall.srcHeight, 3);
    EXPECT_EQ(lastCall.dstBpp, 3);
    EXPECT_EQ(lastCall.srcBpp, 1);
    EXPECT_EQ(lastCall.dstStride, 24u);
    EXPECT_EQ(lastCall.srcStride, 8u);

    const KernelRect part{1, 1, 3, 2};
    EXPECT_EQ(dst.stretch(spyScale, &src, &part, &part, 0, 0), 55);
    EXPECT_EQ(lastCall.rect.left, 1);
    EXPECT_EQ(lastCall.srcRect.right, 3);
}

TEST_F(SurfaceTest, StretchRefusesRectanglesOutsideTheSurfacesAndEmptySurfaces) {
    Surface dst, src, empty;
    ASSERT_TRUE(dst.create(8, 4, 8));
    ASSERT_TRUE(src.create(5, 3, 8));
    const KernelRect tooWide{0, 0, 9, 4};
    const KernelRect negative{-1, 0, 4, 3};
    const KernelRect flat{0, 2, 5, 2};
    EXPECT_EQ(dst.stretch(spyScale, &src, nullptr, &tooWide, 0, 0), 0);
    EXPECT_EQ(dst.stretch(spyScale, &src, &tooWide, nullptr, 0, 0), 0);
    EXPECT_EQ(dst.stretch(spyScale, &src, &negative, nullptr, 0, 0), 0);
    EXPECT_EQ(dst.stretch(spyScale, &src, &flat, nullptr, 0, 0), 0);
    EXPECT_EQ(dst.stretch(spyScale, &empty, nullptr, nullptr, 0, 0), 0);
    EXPECT_EQ(empty.stretch(spyScale, &src, nullptr, nullptr, 0, 0), 0);
    EXPECT_EQ(dst.stretch(nullptr, &src, nullptr, nullptr, 0, 0), 0);
    EXPECT_EQ(dst.stretch(spyScale, nullptr, nullptr, nullptr, 0, 0), 0);
    EXPECT_EQ(lastCall.calls, 0);
}

} // namespace
} // namespace orvix
