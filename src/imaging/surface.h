#pragma once
// Surface: the library's one image buffer. A bitmap header, pixel memory from the
// platform's bitmap service (a DIB section in a memory DC on Windows, heap memory
// otherwise) and the geometry the pixel kernels need.
//
// Geometry: rows are `stride` bytes, width × bytes per pixel rounded up to a multiple
// of 4; pixel memory is stride × height bytes. Memory row 0 is the top of the picture
// as the library shows it, while the header declares a bottom-up bitmap (positive
// height), so rectangles handed to blit() count rows from the last memory row and
// every GDI transfer flips vertically.
//
// Sample layouts: 8 bits one sample; 16 bits one word with 10 significant bits;
// 24 bits B, G, R; 32 bits B, G, R and a fourth byte; 48 bits three 16-bit words
// B, G, R; 64 bits three words and a fourth word. Every 8-bit Surface has a
// 256-entry colour table (the gray ramp unless set otherwise).
//
// A Surface has no lock; its owner decides which thread may touch it.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "imaging/kernel_types.h"
#include "platform/bitmap.h"

namespace orvix {

class Surface {
public:
    using Header = platform::BitmapInfoHeader;

    // Largest pixel memory a Surface accepts; bigger geometry is refused.
    static constexpr std::uint64_t kMaxPixelBytes = std::uint64_t{1} << 30;

    // Modes of setColorTable.
    static constexpr std::int32_t kColorTableModeGrayRamp = 0;
    static constexpr std::int32_t kColorTableModeEntries = 2;

    Surface();
    ~Surface();
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    // Makes an image of that geometry with zeroed pixels (8 bits: the gray ramp as
    // colour table). Invalid geometry (width or height ≤ 0, bits per pixel not a
    // multiple of 8 in 8..64, pixel memory above kMaxPixelBytes) returns false and
    // keeps the previous image; a failure after that releases everything.
    bool create(std::int32_t width, std::int32_t height, std::uint16_t bitsPerPixel);
    // Same header and geometry as `source`, and for 8 bits its colour table; the
    // pixels are not copied. False (this Surface unchanged) for a null or empty source.
    bool createLike(const Surface* source);
    // Frees everything; the Surface is empty afterwards.
    void release();

    // Mode 0: the gray ramp into all 256 entries (the other arguments are ignored).
    // Mode 2: entries [start, start + count) from `entries` (the part inside
    // 0..255). Other modes, and Surfaces that are not 8-bit, do nothing. Returns 1.
    std::int32_t setColorTable(std::int32_t mode, const platform::ColorEntry* entries, std::int32_t start,
                               std::int32_t count);

    // Clips `rect` of `source`, placed at (dstX, dstY) in this Surface, against both
    // Surfaces (picture coordinates, rows from the top) and turns the result into
    // memory rows: rect becomes the source's memory rectangle and (dstX, dstY) the
    // destination column and memory row of its first pixel. When nothing is left,
    // rect and the point are zeroed and the result is false.
    bool clip(const Surface& source, KernelRect& rect, std::int32_t& dstX, std::int32_t& dstY) const;

    // Clips, then runs `kernel` with this Surface as destination. A null rect means
    // the whole source. Returns the kernel's result, or 0 when the clip leaves
    // nothing, the kernel or the source is null (the kernel is then not called).
    std::int32_t blit(PixelKernel kernel, const Surface* source, const KernelRect* rect, std::int32_t dstX,
                      std::int32_t dstY, void* context, std::int32_t extra);

    // Runs a scaling kernel from `source` into this Surface. Null rectangles mean the
    // whole Surface. Returns 0 without calling the kernel when either Surface is
    // empty or a rectangle is empty or reaches outside its Surface.
    std::int32_t stretch(ScaleKernel kernel, const Surface* source, const KernelRect* srcRect,
                         const KernelRect* dstRect, std::int32_t tailA, std::int32_t tailB);

    // Bytes per row for a width and depth (0 when it would not fit 32 bits).
    static std::uint32_t strideFor(std::int32_t width, std::uint16_t bitsPerPixel);

    const Header& header() const { return header_; }
    std::uint8_t* bits() { return bits_; }
    const std::uint8_t* bits() const { return bits_; }
    std::int32_t width() const { return width_; }
    std::int32_t height() const { return height_; }
    std::uint32_t stride() const { return stride_; }
    std::uint16_t bitsPerPixel() const { return bitsPerPixel_; }
    std::uint16_t bytesPerPixel() const { return static_cast<std::uint16_t>(bitsPerPixel_ / 8); }
    std::size_t byteCount() const { return static_cast<std::size_t>(stride_) * static_cast<std::size_t>(height_); }
    bool isEmpty() const { return bits_ == nullptr; }

    // The memory device context holding the pixels (an HDC on Windows), 0 for an
    // empty or heap-backed Surface.
    std::uintptr_t memoryDc() const;
    // The colour table (8 bits); zero entries for other depths and empty Surfaces.
    platform::ColorTable colorTable() const;

private:
    bool allocate(const Surface* paletteSource);

    Header header_;
    std::unique_ptr<platform::Bitmap> bitmap_;
    std::uint8_t* bits_ = nullptr;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::uint32_t stride_ = 0;
    std::uint16_t bitsPerPixel_ = 0;
};

} // namespace orvix
