// Windows backing of Surfaces: real DIB sections in memory device contexts, the heap
// fallback when the section is refused, and clean failure of the DC steps.

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>

#include "imaging/surface.h"

namespace orvix {
namespace {

HDC dcOf(const Surface& s) { return reinterpret_cast<HDC>(s.memoryDc()); }

class SurfaceWin32Test : public ::testing::Test {
protected:
    void TearDown() override { platform::setBitmapFaultsForTesting(0); }
};

TEST_F(SurfaceWin32Test, EightBitSurfaceIsADibSectionWithTheGrayRamp) {
    Surface s;
    ASSERT_TRUE(s.create(5, 3, 8));
    HDC dc = dcOf(s);
    ASSERT_NE(dc, nullptr);

    // The selected bitmap is a DIB section whose pixels are the Surface's memory.
    HGDIOBJ selected = GetCurrentObject(dc, OBJ_BITMAP);
    DIBSECTION section{};
    ASSERT_EQ(GetObjectA(selected, sizeof(section), &section), static_cast<int>(sizeof(section)));
    EXPECT_EQ(section.dsBm.bmBits, s.bits());
    EXPECT_EQ(section.dsBmih.biWidth, 5);
    EXPECT_EQ(section.dsBmih.biHeight, 3);
    EXPECT_EQ(section.dsBmih.biBitCount, 8);
    EXPECT_EQ(section.dsBm.bmWidthBytes, 8);

    RGBQUAD table[256];
    ASSERT_EQ(GetDIBColorTable(dc, 0, 256, table), 256u);
    EXPECT_EQ(table[0].rgbRed, 0);
    EXPECT_EQ(table[128].rgbGreen, 128);
    EXPECT_EQ(table[255].rgbBlue, 255);
    EXPECT_EQ(table[255].rgbReserved, 0);
}

TEST_F(SurfaceWin32Test, ColourTableChangesReachTheSectionAndCreateLikeCopiesThem) {
    Surface s;
    ASSERT_TRUE(s.create(4, 4, 8));
    const platform::ColorEntry red{0, 0, 255, 0};
    s.setColorTable(Surface::kColorTableModeEntries, &red, 7, 1);
    RGBQUAD entry{};
    ASSERT_EQ(GetDIBColorTable(dcOf(s), 7, 1, &entry), 1u);
    EXPECT_EQ(entry.rgbRed, 255);
    EXPECT_EQ(entry.rgbGreen, 0);

    Surface copy;
    ASSERT_TRUE(copy.createLike(&s));
    ASSERT_NE(dcOf(copy), nullptr);
    ASSERT_EQ(GetDIBColorTable(dcOf(copy), 7, 1, &entry), 1u);
    EXPECT_EQ(entry.rgbRed, 255);
}

TEST_F(SurfaceWin32Test, GdiSeesThePixelsBottomUp) {
    Surface s;
    ASSERT_TRUE(s.create(2, 2, 24));
    // Memory row 0 (the top of the picture as the library shows it) is blue.
    s.bits()[0] = 255;
    GdiFlush();
    // A bottom-up DIB puts memory row 0 at the bottom: device row 1.
    EXPECT_EQ(GetPixel(dcOf(s), 0, 1), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(dcOf(s), 0, 0), RGB(0, 0, 0));
}

TEST_F(SurfaceWin32Test, RefusedSectionFallsBackToZeroedHeapMemory) {
    platform::setBitmapFaultsForTesting(platform::kRefuseSection);
    Surface s;
    ASSERT_TRUE(s.create(5, 3, 8));
    EXPECT_EQ(s.memoryDc(), 0u);
    ASSERT_NE(s.bits(), nullptr);
    for (std::size_t i = 0; i < s.byteCount(); ++i) ASSERT_EQ(s.bits()[i], 0);
    // The table lives with the Surface: gray ramp, changeable, copied by createLike.
    EXPECT_EQ(s.colorTable()[200].red, 200);
    const platform::ColorEntry green{0, 255, 0, 0};
    s.setColorTable(Surface::kColorTableModeEntries, &green, 1, 1);
    EXPECT_EQ(s.colorTable()[1].green, 255);
    EXPECT_EQ(s.colorTable()[1].red, 0);

    platform::setBitmapFaultsForTesting(0);
    Surface copy;
    ASSERT_TRUE(copy.createLike(&s));
    EXPECT_NE(copy.memoryDc(), 0u) << "the copy gets a real section";
    EXPECT_EQ(copy.colorTable()[1].green, 255);
    EXPECT_EQ(copy.colorTable()[1].red, 0);
}

TEST_F(SurfaceWin32Test, DeviceContextFailuresReleaseEverything) {
    for (unsigned fault : {platform::kFailMemoryDc, platform::kFailSelect}) {
        Surface s;
        ASSERT_TRUE(s.create(3, 3, 8));
        platform::setBitmapFaultsForTesting(fault);
        EXPECT_FALSE(s.create(6, 6, 24)) << fault;
        platform::setBitmapFaultsForTesting(0);
        EXPECT_TRUE(s.isEmpty());
        EXPECT_EQ(s.width(), 0);
        EXPECT_EQ(s.header().size, 40u);
        EXPECT_EQ(s.header().bitCount, 0);
    }
}

TEST_F(SurfaceWin32Test, ReleaseDeletesTheSectionAndTheDeviceContext) {
    Surface s;
    ASSERT_TRUE(s.create(16, 16, 8));
    HDC dc = dcOf(s);
    HGDIOBJ section = GetCurrentObject(dc, OBJ_BITMAP);
    ASSERT_EQ(GetObjectType(dc), static_cast<DWORD>(OBJ_MEMDC));
    ASSERT_EQ(GetObjectType(section), static_cast<DWORD>(OBJ_BITMAP));
    s.release();
    EXPECT_EQ(GetObjectType(section), 0u);
    EXPECT_EQ(GetObjectType(dc), 0u);
}

TEST_F(SurfaceWin32Test, EveryDepthIsUsableWhateverItsBacking) {
    // GDI has no 48- and 64-bit DIB sections; those Surfaces live on the heap.
    for (std::uint16_t bpp : {8, 16, 24, 32, 48, 64}) {
        Surface s;
        ASSERT_TRUE(s.create(7, 3, bpp)) << bpp;
        std::memset(s.bits(), 0x5A, s.byteCount());
    }
}

} // namespace
} // namespace orvix
