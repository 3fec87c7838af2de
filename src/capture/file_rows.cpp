#include "capture/file_rows.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "capture/file_row_kernels.h"
#include "imaging/surface.h"

namespace orvix {

FileRows::FileRows(const Surface& source, PixelKernel kernel, std::uint16_t fileBytesPerPixel, Spacing spacing,
                   std::size_t bandBytes)
    : source_(source),
      kernel_(kernel ? fileRowKernel(kernel, fileBytesPerPixel, source.bytesPerPixel()) : nullptr),
      fileBytesPerPixel_(fileBytesPerPixel),
      height_(source.height()),
      rowBytes_(static_cast<std::size_t>(source.width()) * fileBytesPerPixel),
      stride_(source.stride()),
      bandRows_(0),
      copied_(kernel != nullptr || (spacing == Spacing::Packed && rowBytes_ != source.stride())) {
    if (copied_) stride_ = rowBytes_;
    const std::size_t rows = std::max<std::size_t>(1, bandBytes / std::max<std::size_t>(1, stride_));
    bandRows_ = static_cast<std::int32_t>(std::min<std::size_t>(rows, static_cast<std::size_t>(std::max(height_, 1))));
    if (copied_) {
        buffer_.reset(static_cast<std::uint8_t*>(std::malloc(stride_ * static_cast<std::size_t>(bandRows_))));
        if (!buffer_) throw std::bad_alloc();
    }
}

const std::uint8_t* FileRows::band(std::int32_t first, std::int32_t count) {
    const std::uint8_t* rows = source_.bits() + static_cast<std::size_t>(first) * source_.stride();
    if (!copied_) return rows;
    if (!kernel_) {
        for (std::int32_t y = 0; y < count; ++y)
            std::memcpy(buffer_.get() + static_cast<std::size_t>(y) * stride_, rows + y * source_.stride(), rowBytes_);
        return buffer_.get();
    }
    const KernelRect rect{0, first, source_.width(), first + count};
    kernel_(buffer_.get(), source_.bits(), &rect, 0, 0, fileBytesPerPixel_, source_.bytesPerPixel(),
            static_cast<std::uint32_t>(stride_), source_.stride(), nullptr, 0);
    return buffer_.get();
}

} // namespace orvix
