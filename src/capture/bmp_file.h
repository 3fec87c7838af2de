#pragma once
// BMP files: a 14-byte file header, the 40-byte bitmap header, a 256-entry colour
// table for depths of 8 bits and less, then the pixel rows (the first row in the file
// is the bottom row of the picture): as given, or, for rows given top row first, in
// the opposite order, written straight from the caller's memory.

#include <cstddef>
#include <cstdint>

#include "platform/bitmap.h"

namespace orvix {

class Surface;

inline constexpr std::uint32_t kBmpFileHeaderSize = 14;

struct BmpImage {
    const platform::BitmapInfoHeader* header = nullptr;
    const platform::ColorTable* colors = nullptr; // written when header->bitCount <= 8
    const std::uint8_t* rows = nullptr;            // height × stride bytes
    std::uint32_t stride = 0;
    bool topRowFirst = false; // rows holds the picture's top row first
};

// Offset of the pixel rows in the file: 54, or 1078 with a colour table.
std::uint32_t bmpPixelOffset(const platform::BitmapInfoHeader& header);

// False when the image is incomplete, the file cannot be opened or a write fails;
// the file is then left as it was (see OutputFile).
bool writeBmpFile(const char* path, const BmpImage& image);

// Writes a Surface as a BMP file: file header, its header, the colour table for 8
// bits, then the pixel memory as it is (memory row 0 first). False for an empty
// Surface or when the file cannot be opened or fully written.
bool saveBmp(const Surface& surface, const char* path);

} // namespace orvix
