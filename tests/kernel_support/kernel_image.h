#pragma once
// A plain pixel buffer with the Surface geometry rules (rows padded to 4 bytes,
// memory row 0 first), for calling pixel kernels directly in tests.

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "imaging/kernel_types.h"

namespace orvix::test {

struct KernelImage {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t bitsPerPixel = 0;
    std::uint32_t stride = 0;
    std::vector<std::uint8_t> bits;

    KernelImage(std::int32_t w, std::int32_t h, std::int32_t bpp, std::uint8_t fill = 0)
        : width(w), height(h), bitsPerPixel(bpp),
          stride(static_cast<std::uint32_t>((w * (bpp / 8) + 3) & ~3)),
          bits(static_cast<std::size_t>(stride) * static_cast<std::size_t>(h), fill) {}

    int bytesPerPixel() const { return bitsPerPixel / 8; }
    std::uint8_t* pixel(std::int32_t x, std::int32_t y) {
        return bits.data() + static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) * bytesPerPixel();
    }
    const std::uint8_t* pixel(std::int32_t x, std::int32_t y) const {
        return bits.data() + static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) * bytesPerPixel();
    }
    // Byte or 16-bit word `channel` of a pixel.
    std::int32_t at(std::int32_t x, std::int32_t y, int channel = 0) const {
        if (bitsPerPixel == 16 || bitsPerPixel == 48 || bitsPerPixel == 64) {
            const std::size_t offset = static_cast<std::size_t>(pixel(x, y) - bits.data()) + 2 * static_cast<std::size_t>(channel);
            return bits[offset] | (bits[offset + 1] << 8);
        }
        return pixel(x, y)[channel];
    }
    void set(std::int32_t x, std::int32_t y, int channel, std::int32_t value) {
        if (bitsPerPixel == 16 || bitsPerPixel == 48 || bitsPerPixel == 64) {
            const std::size_t offset = static_cast<std::size_t>(pixel(x, y) - bits.data()) + 2 * static_cast<std::size_t>(channel);
            bits.at(offset) = static_cast<std::uint8_t>(value & 0xFF);
            bits.at(offset + 1) = static_cast<std::uint8_t>((value >> 8) & 0xFF);
        } else {
            pixel(x, y)[channel] = static_cast<std::uint8_t>(value);
        }
    }
    // Every channel of every pixel drawn from 0..maxValue.
    void randomize(std::mt19937& rng, std::int32_t maxValue) {
        std::uniform_int_distribution<std::int32_t> dist(0, maxValue);
        const int channels = (bitsPerPixel == 8 || bitsPerPixel == 16) ? 1 : (bitsPerPixel == 24 || bitsPerPixel == 48) ? 3 : 4;
        for (std::int32_t y = 0; y < height; ++y) {
            for (std::int32_t x = 0; x < width; ++x) {
                for (int c = 0; c < channels; ++c) {
                    set(x, y, c, dist(rng));
                }
            }
        }
    }
};

// Runs a kernel as a whole-image blit does: rect (0, 0, width, height), point (0, 0).
template <typename Record>
std::int32_t runKernel(PixelKernel kernel, KernelImage& dst, const KernelImage& src, Record* record) {
    KernelRect rect{0, 0, src.width, src.height};
    Record* pointer = record;
    return kernel(dst.bits.data(), src.bits.data(), &rect, 0, 0, static_cast<std::uint16_t>(dst.bytesPerPixel()),
                  static_cast<std::uint16_t>(src.bytesPerPixel()), dst.stride, src.stride, &pointer, 0);
}

// In place, as the filter steps run.
template <typename Record>
std::int32_t runInPlace(PixelKernel kernel, KernelImage& image, Record* record) {
    return runKernel(kernel, image, image, record);
}

} // namespace orvix::test
