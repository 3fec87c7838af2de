// TIFF files through libtiff. The pixels of the one strip are converted a band of
// rows at a time and appended to the strip as they are (the file is the one a single
// encoded-strip write of the whole image gives, without a temporary image). libtiff
// writes through our C stream of the new file. The file gets its own error and
// warning handlers, which swallow the library's messages: by default libtiff prints
// them on standard error, and a library writes no log. The handlers belong to the one
// open file, so an application's own libtiff handlers are left alone and saves on
// several threads never share anything.

#include <tiffio.h>

#include <cstdio>
#include <memory>

#include "capture/file_rows.h"
#include "capture/image_saving.h"
#include "capture/output_file.h"
#include "imaging/surface.h"
#include "imaging/pixel_kernels.h"

namespace orvix {

namespace {

struct TiffLayout {
    PixelKernel kernel; // null: the pixel memory is written unchanged
    std::uint16_t bitsPerSample;
    std::uint16_t photometric;
    std::uint16_t samplesPerPixel;
};

bool tiffLayoutFor(std::uint16_t bitsPerPixel, TiffLayout& layout) {
    switch (bitsPerPixel) {
    case 8: layout = {nullptr, 8, PHOTOMETRIC_MINISBLACK, 1}; return true;
    case 16: layout = {scaleMono10To16, 16, PHOTOMETRIC_MINISBLACK, 1}; return true;
    // 32 bits: the fourth byte of the file's pixels is zero (see fileRowKernel).
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

// libtiff's input and output on the C stream of the new file. The stream is closed
// by the file that owns it, not by libtiff.
std::FILE* streamOf(thandle_t handle) { return static_cast<std::FILE*>(handle); }
tmsize_t readStream(thandle_t handle, void* data, tmsize_t size) {
    return static_cast<tmsize_t>(std::fread(data, 1, static_cast<std::size_t>(size), streamOf(handle)));
}
tmsize_t writeStream(thandle_t handle, void* data, tmsize_t size) {
    return static_cast<tmsize_t>(std::fwrite(data, 1, static_cast<std::size_t>(size), streamOf(handle)));
}
toff_t seekStream(thandle_t handle, toff_t offset, int whence) {
    // Image files stay far below 2 GiB, the reach of a long on every target.
    if (offset > 0x7FFFFFFFu) return static_cast<toff_t>(-1);
    if (std::fseek(streamOf(handle), static_cast<long>(offset), whence) != 0) return static_cast<toff_t>(-1);
    const long position = std::ftell(streamOf(handle));
    return position < 0 ? static_cast<toff_t>(-1) : static_cast<toff_t>(position);
}
int closeStream(thandle_t) { return 0; }
toff_t streamSize(thandle_t handle) {
    std::FILE* stream = streamOf(handle);
    const long position = std::ftell(stream);
    if (position < 0 || std::fseek(stream, 0, SEEK_END) != 0) return 0;
    const long size = std::ftell(stream);
    std::fseek(stream, position, SEEK_SET);
    return size < 0 ? 0 : static_cast<toff_t>(size);
}
int mapNothing(thandle_t, void**, toff_t*) { return 0; }
void unmapNothing(thandle_t, void*, toff_t) {}

struct TiffOptionsDeleter {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};
struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

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

// The rows of strip 0, band after band.
bool writeStrip(TIFF* tiff, FileRows& rows) {
    for (std::int32_t first = 0; first < rows.rowCount(); first += rows.bandRows()) {
        const std::int32_t count = rows.rowCount() - first < rows.bandRows() ? rows.rowCount() - first : rows.bandRows();
        const tmsize_t size = static_cast<tmsize_t>(rows.rowBytes() * static_cast<std::size_t>(count));
        auto* band = const_cast<std::uint8_t*>(rows.band(first, count));
        if (TIFFWriteRawStrip(tiff, 0, band, size) != size) return false;
    }
    return true;
}

} // namespace

bool writeTiff(const char* path, const Surface& surface) {
    TiffLayout layout{};
    if (!path || surface.isEmpty() || !tiffLayoutFor(surface.bitsPerPixel(), layout)) return false;
    FileRows rows(surface, layout.kernel, surface.bytesPerPixel(), FileRows::Spacing::Packed);

    const std::unique_ptr<TIFFOpenOptions, TiffOptionsDeleter> options(TIFFOpenOptionsAlloc());
    if (!options) return false;
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), swallowTiffMessage, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), swallowTiffMessage, nullptr);
    OutputFile file; // declared first, so libtiff is done with the stream before it closes
    if (!file.open(path) || !file.stream()) return false;
    // Unbuffered: libtiff hands over whole bands, which a stream buffer would only
    // split, writing a buffer's worth of each band on its own.
    std::setvbuf(file.stream(), nullptr, _IONBF, 0);
    std::unique_ptr<TIFF, TiffCloser> tiff(TIFFClientOpenExt(path, "w", file.stream(), readStream, writeStream,
                                                             seekStream, closeStream, streamSize, mapNothing,
                                                             unmapNothing, options.get()));
    if (!tiff) return false;
    if (!setTags(tiff.get(), surface, layout) || !writeStrip(tiff.get(), rows)) return false;
    // Writes the directory; a failure there would leave a file without one.
    if (TIFFFlush(tiff.get()) != 1) return false;
    tiff.reset();
    return file.finish();
}

} // namespace orvix
