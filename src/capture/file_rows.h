#pragma once
// The rows of an image file, made from a Surface's memory rows a band at a time, so a
// writer needs no temporary image: memory row i gives file row i, run through the
// format's conversion kernel into a band buffer (or, without a kernel, taken from the
// Surface's memory as it is). Bands are 512 KiB: small enough that a band, and the
// memory rows it is made from, stay in the processor's second-level cache until the
// writer hands the band on (a 2 MiB band did not, and its conversion and the system's
// copy of it each read it back from further out), and large enough that a full frame
// takes only a few writes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "imaging/kernel_types.h"

namespace orvix {

class Surface;

class FileRows {
public:
    enum class Spacing {
        Any,    // rows may lie a Surface stride apart
        Packed, // rows lie back to back, rowBytes() apart
    };

    // `kernel` null: the rows are the memory rows themselves (their first rowBytes()
    // bytes). Otherwise the kernel converts them into pixels of `fileBytesPerPixel`
    // bytes, every byte of which it must write. A band holds about `bandBytes` (at
    // least one row). Throws std::bad_alloc when the band buffer cannot be had.
    FileRows(const Surface& source, PixelKernel kernel, std::uint16_t fileBytesPerPixel, Spacing spacing,
             std::size_t bandBytes = kDefaultBandBytes);

    static constexpr std::size_t kDefaultBandBytes = 512 * 1024;

    std::int32_t rowCount() const { return height_; }
    std::int32_t bandRows() const { return bandRows_; }
    std::size_t rowBytes() const { return rowBytes_; }
    // Distance between the rows of a band.
    std::size_t stride() const { return stride_; }

    // Rows [first, first + count) in the file's layout, stride() bytes apart; `count`
    // at most bandRows(). Valid until the next call.
    const std::uint8_t* band(std::int32_t first, std::int32_t count);

private:
    const Surface& source_;
    PixelKernel kernel_;
    std::uint16_t fileBytesPerPixel_;
    std::int32_t height_;
    std::size_t rowBytes_;
    std::size_t stride_;
    std::int32_t bandRows_;
    struct FreeBytes {
        void operator()(std::uint8_t* p) const { std::free(p); }
    };

    bool copied_; // rows are converted or packed into buffer_
    // Not zeroed: every band overwrites each byte of the rows it returns.
    std::unique_ptr<std::uint8_t, FreeBytes> buffer_;
};

} // namespace orvix
