// PNG files through libpng. Each call owns its file, its library structures and its
// row buffer; rows are converted a band at a time and handed to libpng row by row,
// as png_write_image would (the file is the same). Errors come back from libpng's
// error callback by a long jump into the one function that holds the library
// structures, whose frame has only trivial objects (nothing there needs a destructor
// to run).

#include <png.h>

#include <csetjmp>
#include <cstdio>

#include "capture/file_rows.h"
#include "capture/image_saving.h"
#include "capture/output_file.h"
#include "imaging/surface.h"
#include "imaging/pixel_kernels.h"

namespace orvix {

namespace {

struct PngLayout {
    PixelKernel kernel; // into the file's sample layout; null: written as they are
    int bitDepth;
    int colorType;
};

// False for depths PNG files are not written from.
bool pngLayoutFor(std::uint16_t bitsPerPixel, PngLayout& layout) {
    switch (bitsPerPixel) {
    case 8: layout = {nullptr, 8, PNG_COLOR_TYPE_GRAY}; return true;
    case 16: layout = {scaleMono10To16, 16, PNG_COLOR_TYPE_GRAY}; return true;
    case 24: layout = {nullptr, 8, PNG_COLOR_TYPE_RGB}; return true;
    case 32: layout = {copyBgraInvertAlpha, 8, PNG_COLOR_TYPE_RGB_ALPHA}; return true;
    case 48: layout = {scaleColor10To16, 16, PNG_COLOR_TYPE_RGB}; return true;
    case 64: layout = {scaleColor10To16Alpha, 16, PNG_COLOR_TYPE_RGB_ALPHA}; return true;
    default: return false;
    }
}

void reportPngError(png_structp png, png_const_charp message) {
    std::fprintf(stderr, "libpng error: %s\n", message);
    png_longjmp(png, 1);
}

// Writes the image to an open stream; false after a libpng error.
bool encodePng(std::FILE* file, FileRows& rows, png_uint_32 width, const PngLayout& layout) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, reportPngError, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, width, static_cast<png_uint_32>(rows.rowCount()), layout.bitDepth, layout.colorType,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    // Memory pixels are blue first and 16-bit samples little-endian; the file wants
    // red first and the most significant byte first.
    png_set_bgr(png);
    if (layout.bitDepth == 16) png_set_swap(png);
    for (std::int32_t first = 0; first < rows.rowCount(); first += rows.bandRows()) {
        const std::int32_t count = rows.rowCount() - first < rows.bandRows() ? rows.rowCount() - first : rows.bandRows();
        const std::uint8_t* band = rows.band(first, count);
        for (std::int32_t y = 0; y < count; ++y) png_write_row(png, band + static_cast<std::size_t>(y) * rows.stride());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

bool writePng(const char* path, const Surface& surface) {
    PngLayout layout{};
    if (!path || surface.isEmpty() || !pngLayoutFor(surface.bitsPerPixel(), layout)) return false;
    FileRows rows(surface, layout.kernel, surface.bytesPerPixel(), FileRows::Spacing::Any);

    OutputFile file;
    if (!file.open(path) || !file.stream()) return false;
    if (!encodePng(file.stream(), rows, static_cast<png_uint_32>(surface.width()), layout)) return false;
    return file.finish();
}

} // namespace orvix
