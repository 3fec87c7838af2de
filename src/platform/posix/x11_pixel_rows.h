#pragma once
// Turning rows of bitmap pixels (8-bit through a colour table, 24-bit blue-green-red)
// into the pixels of an X11 TrueColor image.
//
// The common case, a 32-bit image in the host's byte order whose red, green and blue
// masks are 0xFF0000, 0xFF00 and 0xFF (every 24-bit TrueColor server on a
// little-endian host), is a byte shuffle: each pixel becomes the bytes blue, green,
// red, 0. Those row routines have a plain reference version and a vector version
// that gives the same bytes; the one without suffix picks the vector version where
// the processor runs it. Other layouts go pixel by pixel through lookup tables.

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdint>

#include "platform/bitmap.h"

namespace orvix::platform::x11 {

// 24-bit pixels (blue, green, red) → 4 bytes each: blue, green, red, 0.
void bgrToBgrx(const std::uint8_t* source, std::uint8_t* destination, int count);
void bgrToBgrxPlain(const std::uint8_t* source, std::uint8_t* destination, int count);
void bgrToBgrxSsse3(const std::uint8_t* source, std::uint8_t* destination, int count);

// 8-bit gray levels v → 4 bytes each: v, v, v, 0.
void grayToBgrx(const std::uint8_t* source, std::uint8_t* destination, int count);
void grayToBgrxPlain(const std::uint8_t* source, std::uint8_t* destination, int count);
void grayToBgrxSse2(const std::uint8_t* source, std::uint8_t* destination, int count);

// LSBFirst on little-endian hosts, MSBFirst on big-endian ones.
int hostByteOrder();

// True where the vector versions run on this processor.
bool ssse3Usable();
bool sse2Usable();

// Writes rows of an XImage from bitmap rows.
class PixelRows {
public:
    // False for visuals that are not TrueColor with one contiguous mask per channel.
    bool load(const Visual* visual);
    // The colour table 8-bit rows are shown through.
    void setColors(const ColorTable& colors);

    // Pixels 0..count-1 of image row y from `count` source pixels.
    void row8(XImage& image, int y, const std::uint8_t* source, int count) const;
    void row24(XImage& image, int y, const std::uint8_t* source, int count) const;

private:
    using Channel = std::uint32_t[256];

    static bool loadChannel(unsigned long mask, Channel& channel, unsigned long& canonicalMask);
    bool isBgrx(const XImage& image) const;
    std::uint32_t pixel(std::uint8_t r, std::uint8_t g, std::uint8_t b) const {
        return red_[r] | green_[g] | blue_[b];
    }

    Channel red_{};
    Channel green_{};
    Channel blue_{};
    bool canonicalMasks_ = false; // red 0xFF0000, green 0xFF00, blue 0xFF
    std::uint32_t palette_[kColorTableEntries]{};
    bool grayPalette_ = false; // entry i is (i, i, i)
};

} // namespace orvix::platform::x11
