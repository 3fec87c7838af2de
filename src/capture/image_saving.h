#pragma once
// Image files of a Surface: BMP, a raw dump of the pixel memory, JPEG at three
// qualities, PNG and TIFF.
//
// Each format first brings the pixels into the layout the format wants (row order,
// colour byte order, bit depth) with the conversion kernels, into a temporary
// Surface that lives only for the call, then writes the file: BMP and raw
// directly, the others through libjpeg, libpng and libtiff. Only the writers'
// own files include those libraries' headers.
//
// Every writer keeps its state on the stack, so any number of saves may run at
// once on different threads. A library error returns failure (it never ends the
// process), and a file that was created or truncated but could not be written
// completely is deleted again.

#include <cstdint>

namespace orvix {

class Surface;

// The format numbers of saveSurface and Orvix_SaveImage.
enum ImageFormat : std::int32_t {
    kImageFormatBmp = 0,
    kImageFormatRaw = 1,    // the pixel memory: stride × height bytes, memory row 0 first
    kImageFormatJpeg100 = 2,
    kImageFormatJpeg70 = 3,
    kImageFormatJpeg20 = 4,
    kImageFormatPng = 5,
    kImageFormatTiff = 6,
};

// Writes `surface` to `path` in `format`. False, without creating a file, for a
// null path or Surface, an empty Surface, a format outside 0..6 and (JPEG, PNG,
// TIFF) a depth other than 8, 16, 24, 32, 48 or 64 bits; false also when the file
// cannot be opened or written.
bool saveSurface(const char* path, const Surface* surface, std::int32_t format);

// PNG of pixel memory laid out as a Surface of that geometry (rows padded to 4
// bytes, memory row 0 written first), already in the file's sample layout: 8 bits
// gray; 16 bits gray words; 24 bits B, G, R; 32 bits B, G, R, alpha; 48 bits three
// words B, G, R; 64 bits B, G, R, alpha words. Colours are written red first and
// 16-bit samples most significant byte first. A library error prints
// "libpng error: <message>" on standard error and returns false.
bool writePng(const char* path, const std::uint8_t* bits, std::int32_t width, std::int32_t height,
              std::uint16_t bitsPerPixel);

// Uncompressed TIFF in one strip, memory row 0 first, rows cut to width × bytes per
// pixel: gray for 8 and 16 bits (16-bit samples widened from 10 bits), RGB for 24
// and 48 bits, RGB plus a fourth sample for 32 and 64 bits. The library's messages
// are swallowed; any error, the strip's and the directory's included, returns false.
bool writeTiff(const char* path, const Surface* surface);

// JPEG of an 8-bit (one gray component) or 24-bit (three components, written red
// first) Surface, rows from its last memory row to its first; baseline-compatible
// quantisation tables at `quality`, the simple progressive script when
// `progressive` is set.
bool writeJpeg(const char* path, const Surface* surface, int quality, bool progressive);

} // namespace orvix
