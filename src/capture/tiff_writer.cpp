// TIFF files through libtiff. The file gets its own error and warning handlers,
// which swallow the library's messages: by default libtiff prints them on standard
// error, and a library writes no log. The handlers belong to the one open file, so
// an application's own libtiff handlers are left alone and saves on several
// threads never share anything.

#include <tiffio.h>

#include <cstring>
#include <memory>

#include "capture/image_file_guard.h"
#include "capture/image_saving.h"
#include "imaging/surface.h"
#include "imaging/pixel_kernels.h"

namespace orvix {

namespace {

struct TiffLayout {
    PixelKernel kernel; // null: the pixel memory is copied unchanged
    std::uint16_t bitsPerSample;
    std::uint16_t photometric;
    std::uint16_t samplesPerPixel;
};

bool tiffLayoutFor(std::uint16_t bitsPerPixel, TiffLayout& layout) {
    switch (bitsPerPixel) {
    case 8: layout = {nullptr, 8, PHOTOMETRIC_MINISBLACK, 1}; return true;
    case 16: layout = {scaleMono10To16, 16, PHOTOMETRIC_MINISBLACK, 1}; return true;
    // 32 bits: the fourth byte of the converted image is not written (stays zero).
    case 24: layout = {swapRedBlue24, 8, PHOTOMETRIC_RGB, 3}; return true;
    case 32: layout = {swapRedBlue24, 8, PHOTOMETRIC_RGB, 4}; return true;
    case 48: layout = {scaleColor10To16Swap, 16, PHOTOMETRIC_RGB, 3}; return true;
    case 64: layout = {scaleColor10To16SwapAlpha, 16, PHOTOMETRIC_RGB, 4}; return true;
    default: return false;
    }
}

int swallowTiffMessage(TIFF*, void*, const char*, const char*, va_list) {
    return 1; // handled: libtiff's process-wide handler is not called
}

struct TiffOptionsDeleter {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};
struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

// Moves each row of `image` up so the rows lie back to back, width × bytes per
// pixel bytes each. Returns the packed byte count.
std::size_t packRows(Surface& image) {
    const std::size_t rowBytes = static_cast<std::size_t>(image.width()) * image.bytesPerPixel();
    std::uint8_t* bits = image.bits();
    if (rowBytes != image.stride()) {
        for (std::int32_t y = 1; y < image.height(); ++y) {
            std::memmove(bits + y * rowBytes, bits + static_cast<std::size_t>(y) * image.stride(), rowBytes);
        }
    }
    return rowBytes * static_cast<std::size_t>(image.height());
}

bool setTags(TIFF* tiff, const Surface& surface, const TiffLayout& layout) {
    const bool set = TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(surface.width())) == 1 &&
                     TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(surface.height())) == 1 &&
                     TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE) == 1 &&
                     TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) == 1 &&
                     TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, layout.bitsPerSample) == 1 &&
                     TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, layout.photometric) == 1 &&
                     TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, layout.samplesPerPixel) == 1;
    if (!set || layout.samplesPerPixel != 4) return set;
    // A sample beyond red, green and blue must be declared; it carries no defined
    // meaning (not alpha: the 32-bit images' fourth sample is zero).
    const std::uint16_t extra[1] = {EXTRASAMPLE_UNSPECIFIED};
    return TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, extra) == 1;
}

} // namespace

bool writeTiff(const char* path, const Surface* surface) {
    TiffLayout layout{};
    if (!path || !surface || surface->isEmpty() || !tiffLayoutFor(surface->bitsPerPixel(), layout)) return false;

    // The file's rows, converted and packed, before anything is written.
    Surface image;
    if (!image.createLike(surface)) return false;
    if (layout.kernel) {
        image.blit(layout.kernel, surface, nullptr, 0, 0, nullptr, 0);
    } else {
        std::memcpy(image.bits(), surface->bits(), surface->byteCount());
    }
    const std::size_t stripBytes = packRows(image);

    const std::unique_ptr<TIFFOpenOptions, TiffOptionsDeleter> options(TIFFOpenOptionsAlloc());
    if (!options) return false;
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), swallowTiffMessage, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), swallowTiffMessage, nullptr);
    PartialFileGuard partial; // declared first, so the file is closed before it is deleted
    std::unique_ptr<TIFF, TiffCloser> tiff(TIFFOpenExt(path, "w", options.get()));
    if (!tiff) return false;
    partial.watch(path);

    if (!setTags(tiff.get(), *surface, layout)) return false;
    const tmsize_t size = static_cast<tmsize_t>(stripBytes);
    if (TIFFWriteEncodedStrip(tiff.get(), 0, image.bits(), size) != size) return false;
    // Writes the directory; a failure there would leave a file without one.
    if (TIFFFlush(tiff.get()) != 1) return false;
    tiff.reset();
    partial.keep();
    return true;
}

} // namespace orvix
