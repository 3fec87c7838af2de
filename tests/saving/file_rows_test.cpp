// The rows the image writers hand to the libraries: the faster conversion variants
// give the plain kernels' bytes at every width, and bands cover every row once.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "capture/file_row_kernels.h"
#include "capture/file_rows.h"
#include "imaging/surface.h"
#include "imaging/pixel_kernels.h"

namespace orvix {
namespace {

using Bytes = std::vector<std::uint8_t>;

void fillNoise(Surface& surface, unsigned seed) {
    std::mt19937 random(seed);
    for (std::size_t i = 0; i < surface.byteCount(); ++i) surface.bits()[i] = static_cast<std::uint8_t>(random());
}

// Runs a kernel over rows [top, bottom) of `source` into packed rows, in memory that
// holds 0xA5 wherever the kernel writes nothing.
Bytes convert(PixelKernel kernel, const Surface& source, std::int32_t top, std::int32_t bottom) {
    const std::uint16_t pixelBytes = source.bytesPerPixel();
    const std::size_t rowBytes = static_cast<std::size_t>(source.width()) * pixelBytes;
    Bytes out(rowBytes * static_cast<std::size_t>(bottom - top) + 64, 0xA5); // a guard after the rows
    const KernelRect rect{0, top, source.width(), bottom};
    kernel(out.data(), source.bits(), &rect, 0, 0, pixelBytes, pixelBytes, static_cast<std::uint32_t>(rowBytes),
           source.stride(), nullptr, 0);
    return out;
}

std::vector<std::int32_t> testedWidths() {
    std::vector<std::int32_t> widths;
    for (std::int32_t w = 1; w <= 64; ++w) widths.push_back(w);
    widths.push_back(1001);
    widths.push_back(1360);
    return widths;
}

TEST(FileRowKernels, TheFastRedBlueSwapGivesThePlainKernelsBytes) {
    const PixelKernel fast = fileRowKernel(swapRedBlue24, 3, 3);
    for (std::int32_t width : testedWidths()) {
        Surface source;
        ASSERT_TRUE(source.create(width, 5, 24));
        fillNoise(source, static_cast<unsigned>(width));
        EXPECT_EQ(convert(fast, source, 0, 5), convert(swapRedBlue24, source, 0, 5)) << width;
        EXPECT_EQ(convert(fast, source, 2, 4), convert(swapRedBlue24, source, 2, 4)) << width;
    }
    // Other kernels are left as they are.
    EXPECT_EQ(fileRowKernel(scaleMono10To16, 2, 2), &scaleMono10To16);
}

// Between 4-byte pixels the plain kernel leaves the fourth byte alone; the file's
// variant writes it zero, whatever the memory held.
TEST(FileRowKernels, TheFourBytePixelSwapWritesItsFourthByteZero) {
    const PixelKernel fourBytes = fileRowKernel(swapRedBlue24, 4, 4);
    for (std::int32_t width : testedWidths()) {
        Surface source;
        ASSERT_TRUE(source.create(width, 5, 32));
        fillNoise(source, static_cast<unsigned>(width));
        for (const auto& [top, bottom] : {std::pair{0, 5}, std::pair{2, 4}}) {
            Bytes expected = convert(swapRedBlue24, source, top, bottom);
            for (std::size_t i = 3; i < static_cast<std::size_t>(width) * 4 * (bottom - top); i += 4) expected[i] = 0;
            EXPECT_EQ(convert(fourBytes, source, top, bottom), expected) << width;
        }
    }
}

TEST(FileRows, BandsCoverEveryRowOnceInTheFilesLayout) {
    Surface source;
    ASSERT_TRUE(source.create(7, 23, 8)); // rows padded to 8 bytes
    fillNoise(source, 3);
    FileRows packed(source, nullptr, 1, FileRows::Spacing::Packed, 7 * 4); // four rows a band
    EXPECT_EQ(packed.bandRows(), 4);
    EXPECT_EQ(packed.stride(), 7u);
    FileRows unpacked(source, nullptr, 1, FileRows::Spacing::Any, 7 * 4);
    EXPECT_EQ(unpacked.stride(), source.stride());
    for (std::int32_t first = 0; first < packed.rowCount(); first += packed.bandRows()) {
        const std::int32_t count = std::min(packed.bandRows(), packed.rowCount() - first);
        const std::uint8_t* band = packed.band(first, count);
        const std::uint8_t* direct = unpacked.band(first, count);
        EXPECT_EQ(direct, source.bits() + static_cast<std::size_t>(first) * source.stride()); // no copy
        for (std::int32_t y = 0; y < count; ++y) {
            const std::uint8_t* row = source.bits() + static_cast<std::size_t>(first + y) * source.stride();
            EXPECT_EQ(Bytes(band + y * 7, band + y * 7 + 7), Bytes(row, row + 7)) << first + y;
        }
    }
}

} // namespace
} // namespace orvix
