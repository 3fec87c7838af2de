// PNG files through libpng. Each call owns its file, its library structures and its
// row table; errors come back from libpng's error callback by a long jump into the
// one function that holds the library structures, whose frame has only trivial
// objects (nothing there needs a destructor to run).

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <vector>

#include "capture/image_file_guard.h"
#include "capture/image_saving.h"
#include "imaging/surface.h"

namespace orvix {

namespace {

struct PngLayout {
    int bitDepth;
    int colorType;
};

// False for depths PNG files are not written from.
bool pngLayoutFor(std::uint16_t bitsPerPixel, PngLayout& layout) {
    switch (bitsPerPixel) {
    case 8: layout = {8, PNG_COLOR_TYPE_GRAY}; return true;
    case 16: layout = {16, PNG_COLOR_TYPE_GRAY}; return true;
    case 24: layout = {8, PNG_COLOR_TYPE_RGB}; return true;
    case 32: layout = {8, PNG_COLOR_TYPE_RGB_ALPHA}; return true;
    case 48: layout = {16, PNG_COLOR_TYPE_RGB}; return true;
    case 64: layout = {16, PNG_COLOR_TYPE_RGB_ALPHA}; return true;
    default: return false;
    }
}

void reportPngError(png_structp png, png_const_charp message) {
    std::fprintf(stderr, "libpng error: %s\n", message);
    png_longjmp(png, 1);
}

// Writes the image to an open stream; false after a libpng error.
bool encodePng(std::FILE* file, png_bytepp rows, png_uint_32 width, png_uint_32 height, PngLayout layout) {
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
    png_set_IHDR(png, info, width, height, layout.bitDepth, layout.colorType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    // Memory pixels are blue first and 16-bit samples little-endian; the file wants
    // red first and the most significant byte first.
    png_set_bgr(png);
    if (layout.bitDepth == 16) png_set_swap(png);
    png_write_image(png, rows);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

bool writePng(const char* path, const std::uint8_t* bits, std::int32_t width, std::int32_t height,
              std::uint16_t bitsPerPixel) {
    PngLayout layout{};
    if (!path || !bits || width <= 0 || height <= 0 || !pngLayoutFor(bitsPerPixel, layout)) return false;
    const std::uint32_t stride = Surface::strideFor(width, bitsPerPixel);
    if (stride == 0) return false;

    // Row i of the file is memory row i.
    std::vector<png_bytep> rows(static_cast<std::size_t>(height));
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = const_cast<png_bytep>(bits + i * stride);

    BinaryStream file(path);
    if (!file) return false;
    if (!encodePng(file.get(), rows.data(), static_cast<png_uint_32>(width), static_cast<png_uint_32>(height),
                   layout)) {
        return false;
    }
    return file.finish();
}

} // namespace orvix
