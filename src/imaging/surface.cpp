#include "imaging/surface.h"

#include <algorithm>


namespace orvix {

namespace {

bool isSupportedDepth(std::uint16_t bitsPerPixel) {
    return bitsPerPixel >= 8 && bitsPerPixel <= 64 && bitsPerPixel % 8 == 0;
}

// Pixel memory of a geometry, or 0 when it is invalid or larger than a Surface takes.
std::uint64_t pixelBytesFor(std::int32_t width, std::int32_t height, std::uint16_t bitsPerPixel) {
    if (width <= 0 || height <= 0 || !isSupportedDepth(bitsPerPixel)) return 0;
    const std::uint64_t stride = Surface::strideFor(width, bitsPerPixel);
    const std::uint64_t bytes = stride * static_cast<std::uint64_t>(height);
    return stride == 0 || bytes > Surface::kMaxPixelBytes ? 0 : bytes;
}

// A rectangle in 64-bit picture coordinates, so that offsets and sizes from callers
// cannot overflow while being clipped.
struct Span {
    std::int64_t left, top, right, bottom;
};

// Clamps `r` to a width × height area; false when nothing of it lies inside.
bool clampTo(Span& r, std::int64_t width, std::int64_t height) {
    if (r.right <= 0 || r.bottom <= 0 || r.left >= width || r.top >= height) return false;
    r.left = std::max<std::int64_t>(r.left, 0);
    r.top = std::max<std::int64_t>(r.top, 0);
    r.right = std::min(r.right, width);
    r.bottom = std::min(r.bottom, height);
    return r.left < r.right && r.top < r.bottom;
}

bool isInside(const KernelRect& r, const Surface& s) {
    return r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom && r.right <= s.width() &&
           r.bottom <= s.height();
}

} // namespace

Surface::Surface() = default;

Surface::~Surface() { release(); }

std::uint32_t Surface::strideFor(std::int32_t width, std::uint16_t bitsPerPixel) {
    if (width <= 0) return 0;
    const std::uint64_t rowBytes = static_cast<std::uint64_t>(width) * (bitsPerPixel / 8u);
    const std::uint64_t stride = (rowBytes + 3) & ~std::uint64_t{3};
    return stride > 0xFFFFFFFFu ? 0 : static_cast<std::uint32_t>(stride);
}

bool Surface::create(std::int32_t width, std::int32_t height, std::uint16_t bitsPerPixel) {
    if (pixelBytesFor(width, height, bitsPerPixel) == 0) return false;
    release();
    header_.width = width;
    header_.height = height;
    header_.planes = 1;
    header_.bitCount = bitsPerPixel;
    header_.compression = 0;
    width_ = width;
    height_ = height;
    stride_ = strideFor(width, bitsPerPixel);
    bitsPerPixel_ = bitsPerPixel;
    return allocate(nullptr);
}

bool Surface::createLike(const Surface* source) {
    if (!source || source == this || source->isEmpty()) return false;
    if (pixelBytesFor(source->width_, source->height_, source->bitsPerPixel_) == 0) return false;
    const Header header = source->header_;
    release();
    header_ = header;
    width_ = source->width_;
    height_ = source->height_;
    stride_ = source->stride_;
    bitsPerPixel_ = source->bitsPerPixel_;
    return allocate(source);
}

bool Surface::allocate(const Surface* paletteSource) {
    const platform::ColorTable colors = paletteSource ? paletteSource->colorTable() : platform::grayRamp();
    bitmap_ = platform::Bitmap::create(header_, byteCount(), colors);
    if (!bitmap_) {
        release();
        return false;
    }
    bits_ = bitmap_->bits();
    return true;
}

void Surface::release() {
    bitmap_.reset();
    bits_ = nullptr;
    width_ = 0;
    height_ = 0;
    stride_ = 0;
    bitsPerPixel_ = 0;
    header_ = Header{};
}

std::uintptr_t Surface::memoryDc() const { return bitmap_ ? bitmap_->memoryDc() : 0; }

platform::ColorTable Surface::colorTable() const {
    return bitmap_ ? bitmap_->colors() : platform::ColorTable{};
}

std::int32_t Surface::setColorTable(std::int32_t mode, const platform::ColorEntry* entries, std::int32_t start,
                                    std::int32_t count) {
    if (!bitmap_ || bitsPerPixel_ != 8) return 1;
    if (mode == kColorTableModeGrayRamp) {
        const platform::ColorTable ramp = platform::grayRamp();
        bitmap_->setColors(0, platform::kColorTableEntries, ramp.data());
    } else if (mode == kColorTableModeEntries) {
        bitmap_->setColors(start, count, entries);
    }
    return 1;
}

bool Surface::clip(const Surface& source, KernelRect& rect, std::int32_t& dstX, std::int32_t& dstY) const {
    const auto fail = [&] {
        rect = KernelRect{};
        dstX = 0;
        dstY = 0;
        return false;
    };
    if (rect.right <= rect.left || rect.bottom <= rect.top) return fail();

    // The destination rectangle, clipped to this Surface.
    Span d{dstX, dstY, std::int64_t{dstX} + (std::int64_t{rect.right} - rect.left),
           std::int64_t{dstY} + (std::int64_t{rect.bottom} - rect.top)};
    if (!clampTo(d, width_, height_)) return fail();

    // The source rectangle, moved by what the destination lost, clipped to the source.
    Span s{};
    s.left = rect.left + (d.left - dstX);
    s.top = rect.top + (d.top - dstY);
    s.right = s.left + (d.right - d.left);
    s.bottom = s.top + (d.bottom - d.top);
    if (!clampTo(s, source.width_, source.height_)) return fail();

    // Memory rows count from the bottom of the picture.
    dstX = static_cast<std::int32_t>(d.left);
    dstY = static_cast<std::int32_t>(height_ - d.bottom);
    rect.left = static_cast<std::int32_t>(s.left);
    rect.right = static_cast<std::int32_t>(s.right);
    rect.top = static_cast<std::int32_t>(source.height_ - s.bottom);
    rect.bottom = static_cast<std::int32_t>(source.height_ - s.top);
    return true;
}

std::int32_t Surface::blit(PixelKernel kernel, const Surface* source, const KernelRect* rect, std::int32_t dstX,
                           std::int32_t dstY, void* context, std::int32_t extra) {
    if (!source) return 0;
    KernelRect working = rect ? *rect : KernelRect{0, 0, source->width_, source->height_};
    if (!clip(*source, working, dstX, dstY)) return 0;
    if (!kernel) return 0;
    return kernel(bits_, source->bits_, &working, dstX, dstY, bytesPerPixel(), source->bytesPerPixel(), stride_,
                  source->stride_, context, extra);
}

std::int32_t Surface::stretch(ScaleKernel kernel, const Surface* source, const KernelRect* srcRect,
                              const KernelRect* dstRect, std::int32_t tailA, std::int32_t tailB) {
    if (!kernel || !source || isEmpty() || source->isEmpty()) return 0;
    const KernelRect destination = dstRect ? *dstRect : KernelRect{0, 0, width_, height_};
    const KernelRect from = srcRect ? *srcRect : KernelRect{0, 0, source->width_, source->height_};
    if (!isInside(destination, *this) || !isInside(from, *source)) return 0;
    return kernel(bits_, source->bits_, &destination, &from, width_, height_, source->width_, source->height_,
                  bytesPerPixel(), source->bytesPerPixel(), stride_, source->stride_, tailA, tailB);
}

} // namespace orvix
