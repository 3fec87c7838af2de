// Bitmap rows turned into the pixels of X11 images: the vector row routines give the
// bytes of their plain versions at every length, and the image rows hold the right
// pixel values for the usual 32-bit layout, a 32-bit layout with red and blue the
// other way round, and a 16-bit (5-6-5) visual, through a gray and a coloured table.
// No server is needed: the images are described by hand.

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdint>
#include <random>
#include <vector>

#include "platform/posix/x11_pixel_rows.h"

namespace orvix::platform::x11 {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes randomBytes(std::size_t count, unsigned seed) {
    std::mt19937 generator(seed);
    Bytes bytes(count);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(generator());
    return bytes;
}

TEST(X11PixelRows, VectorRowsGiveTheBytesOfThePlainRows) {
    for (int count = 0; count <= 70; ++count) {
        const Bytes bgr = randomBytes(static_cast<std::size_t>(count) * 3, static_cast<unsigned>(count));
        const Bytes gray = randomBytes(static_cast<std::size_t>(count), static_cast<unsigned>(count) + 100);
        // One pixel more than needed: nothing may be written past the row.
        Bytes plain(static_cast<std::size_t>(count + 1) * 4, 0xEE), vector = plain;
        bgrToBgrxPlain(bgr.data(), plain.data(), count);
        bgrToBgrxSsse3(bgr.data(), vector.data(), count);
        ASSERT_EQ(vector, plain) << "24-bit row of " << count;
        bgrToBgrx(bgr.data(), vector.data(), count);
        ASSERT_EQ(vector, plain) << "24-bit row of " << count << ", chosen variant";

        grayToBgrxPlain(gray.data(), plain.data(), count);
        grayToBgrxSse2(gray.data(), vector.data(), count);
        ASSERT_EQ(vector, plain) << "gray row of " << count;
        grayToBgrx(gray.data(), vector.data(), count);
        ASSERT_EQ(vector, plain) << "gray row of " << count << ", chosen variant";
        ASSERT_EQ(plain.back(), 0xEE);
    }
    const std::uint8_t pixel[3] = {1, 2, 3};
    Bytes out(4);
    bgrToBgrxPlain(pixel, out.data(), 1);
    EXPECT_EQ(out, (Bytes{1, 2, 3, 0}));
}

// An image of `width` x 2 pixels in memory, described as a server would describe it.
struct HandMadeImage {
    HandMadeImage(int width, int depth, int bitsPerPixel, unsigned long red, unsigned long green, unsigned long blue) {
        image.width = width;
        image.height = 2;
        image.format = ZPixmap;
        image.byte_order = LSBFirst;
        image.bitmap_unit = 32;
        image.bitmap_bit_order = LSBFirst;
        image.bitmap_pad = 32;
        image.depth = depth;
        image.bits_per_pixel = bitsPerPixel;
        image.bytes_per_line = 0; // rows padded to 32 bits
        image.red_mask = red;
        image.green_mask = green;
        image.blue_mask = blue;
        EXPECT_NE(XInitImage(&image), 0);
        memory.assign(static_cast<std::size_t>(image.bytes_per_line) * 2, 0);
        image.data = reinterpret_cast<char*>(memory.data());
        visual.c_class = TrueColor;
        visual.red_mask = red;
        visual.green_mask = green;
        visual.blue_mask = blue;
    }
    unsigned long at(int x, int y) { return XGetPixel(&image, x, y); }

    Bytes memory;
    XImage image{};
    Visual visual{};
};

ColorTable colouredTable() {
    ColorTable table = grayRamp();
    table[7] = ColorEntry{0x10, 0x20, 0x30, 0}; // blue, green, red
    return table;
}

TEST(X11PixelRows, UsualLayoutHoldsBlueGreenRedInTheLowBytes) {
    HandMadeImage made(20, 24, 32, 0xFF0000, 0xFF00, 0xFF);
    PixelRows rows;
    ASSERT_TRUE(rows.load(&made.visual));
    Bytes bgr(60);
    for (int x = 0; x < 20; ++x) bgr[3 * x] = 1, bgr[3 * x + 1] = 2, bgr[3 * x + 2] = static_cast<std::uint8_t>(x);
    rows.row24(made.image, 1, bgr.data(), 20);
    EXPECT_EQ(made.at(19, 1), 0x130201u);
    EXPECT_EQ(made.at(0, 0), 0u) << "row 0 untouched";

    const Bytes levels = {0, 7, 255};
    rows.setColors(grayRamp());
    rows.row8(made.image, 0, levels.data(), 3);
    EXPECT_EQ(made.at(1, 0), 0x070707u);
    EXPECT_EQ(made.at(2, 0), 0xFFFFFFu);
    rows.setColors(colouredTable());
    rows.row8(made.image, 0, levels.data(), 3);
    EXPECT_EQ(made.at(1, 0), 0x302010u) << "entry 7 through the table, not as a gray level";
    EXPECT_EQ(made.at(2, 0), 0xFFFFFFu);
}

TEST(X11PixelRows, RedAndBlueTheOtherWayRound) {
    HandMadeImage made(4, 24, 32, 0xFF, 0xFF00, 0xFF0000);
    PixelRows rows;
    ASSERT_TRUE(rows.load(&made.visual));
    const Bytes bgr = {0x11, 0x22, 0x33, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    rows.row24(made.image, 0, bgr.data(), 4);
    EXPECT_EQ(made.at(0, 0), 0x112233u);
    rows.setColors(colouredTable());
    const Bytes level = {7};
    rows.row8(made.image, 1, level.data(), 1);
    EXPECT_EQ(made.at(0, 1), 0x102030u);
}

TEST(X11PixelRows, SixteenBitVisualScalesEachChannelToItsBits) {
    HandMadeImage made(3, 16, 16, 0xF800, 0x07E0, 0x001F);
    PixelRows rows;
    ASSERT_TRUE(rows.load(&made.visual));
    const Bytes bgr = {255, 255, 255, 0, 0, 255, 0, 128, 0};
    rows.row24(made.image, 0, bgr.data(), 3);
    EXPECT_EQ(made.at(0, 0), 0xFFFFu);
    EXPECT_EQ(made.at(1, 0), 0xF800u);
    EXPECT_EQ(made.at(2, 0), static_cast<unsigned long>(((128 * 63 + 127) / 255) << 5));
}

TEST(X11PixelRows, VisualsThatAreNotTrueColorOrHaveBrokenMasksAreRefused) {
    PixelRows rows;
    Visual visual{};
    visual.c_class = PseudoColor;
    visual.red_mask = 0xFF0000;
    visual.green_mask = 0xFF00;
    visual.blue_mask = 0xFF;
    EXPECT_FALSE(rows.load(&visual));
    visual.c_class = TrueColor;
    EXPECT_TRUE(rows.load(&visual));
    visual.green_mask = 0xF0F0; // two runs of bits
    EXPECT_FALSE(rows.load(&visual));
    visual.green_mask = 0;
    EXPECT_FALSE(rows.load(&visual));
    EXPECT_FALSE(rows.load(nullptr));
}

} // namespace
} // namespace orvix::platform::x11
