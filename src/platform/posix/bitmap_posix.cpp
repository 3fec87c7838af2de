// Bitmaps on Linux: heap pixel memory with the colour table held beside it.

#include "platform/bitmap.h"

#include "platform/heap_pixels.h"

namespace orvix::platform {

struct Bitmap::Impl {
    detail::HeapPixels heap;
    bool hasTable = false;
};

std::unique_ptr<Bitmap> Bitmap::create(const BitmapInfoHeader& header, std::size_t byteCount,
                                       const ColorTable& colors) {
    auto impl = std::make_unique<Impl>();
    if (!impl->heap.allocate(byteCount)) return nullptr;
    if (header.bitCount == 8) {
        impl->hasTable = true;
        impl->heap.table = colors;
    }
    return std::unique_ptr<Bitmap>(new Bitmap(std::move(impl)));
}

Bitmap::Bitmap(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Bitmap::~Bitmap() = default;

std::uint8_t* Bitmap::bits() const { return impl_->heap.bits(); }
std::uintptr_t Bitmap::memoryDc() const { return 0; }

void Bitmap::setColors(int start, int count, const ColorEntry* entries) {
    if (impl_->hasTable) detail::storeColors(impl_->heap.table, start, count, entries);
}

ColorTable Bitmap::colors() const { return impl_->hasTable ? impl_->heap.table : ColorTable{}; }

} // namespace orvix::platform
