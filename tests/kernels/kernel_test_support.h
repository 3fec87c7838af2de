#pragma once
// Small helpers for building and reading test images through Surfaces.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "imaging/surface.h"

namespace orvix::test {

inline std::uint8_t* pixel(Surface& s, int column, int memoryRow) {
    return s.bits() + static_cast<std::size_t>(memoryRow) * s.stride() +
           static_cast<std::size_t>(column) * s.bytesPerPixel();
}

inline std::uint16_t word(Surface& s, int column, int memoryRow, int index = 0) {
    const std::uint8_t* p = pixel(s, column, memoryRow) + 2 * index;
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline void setWord(Surface& s, int column, int memoryRow, int index, std::uint16_t value) {
    std::uint8_t* p = pixel(s, column, memoryRow) + 2 * index;
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
}

// A Surface whose every byte (padding included) is `fill`.
inline void makeFilled(Surface& s, int width, int height, std::uint16_t bpp, std::uint8_t fill) {
    ASSERT_TRUE(s.create(width, height, bpp));
    std::memset(s.bits(), fill, s.byteCount());
}

// The padding bytes after the last pixel of every row.
inline std::vector<std::uint8_t> padding(Surface& s) {
    std::vector<std::uint8_t> bytes;
    const std::size_t used = static_cast<std::size_t>(s.width()) * s.bytesPerPixel();
    for (int r = 0; r < s.height(); ++r) {
        for (std::size_t i = used; i < s.stride(); ++i) bytes.push_back(s.bits()[r * s.stride() + i]);
    }
    return bytes;
}

} // namespace orvix::test
