#pragma once
// Image files of a Surface: BMP, a raw dump of the pixel memory, JPEG at three
// qualities, PNG and TIFF.
//
// Each format brings the pixels into the layout the format wants (row order, colour
// byte order, bit depth) with the conversion kernels, a band of rows at a time, and
// writes the file: BMP and raw straight from the Surface's memory, the others
// through libjpeg, libpng and libtiff. Only the writers' own files include those
// libraries' headers.
//
// Every writer keeps its state on the stack, so any number of saves may run at
// once on different threads. A library error returns failure (it never ends the
// process). A file is written beside its destination and renamed over it when
// complete (see OutputFile): the destination holds the old file or the new one,
// never part of one; only a regular file (or nothing) is replaced, a symbolic link
// is written through to the file it points to.

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

// The writers of the library formats. Each converts the Surface's rows into the
// file's layout a band at a time (no temporary image) and writes the file in place of
// the one at `path` (see OutputFile), so a failed save leaves the old file.

// PNG, memory row 0 first: 8 bits gray; 16 bits gray words widened from 10 bits;
// 24 bits RGB; 32 bits RGB with alpha = 255 - the fourth byte; 48 bits RGB words and
// 64 bits RGB with an opaque alpha word, widened from 10 bits. Colours are written red
// first and 16-bit samples most significant byte first. A library error prints
// "libpng error: <message>" on standard error and returns false.
bool writePng(const char* path, const Surface& surface);

// Uncompressed TIFF in one strip, memory row 0 first, rows cut to width × bytes per
// pixel: gray for 8 and 16 bits (16-bit samples widened from 10 bits), RGB for 24
// and 48 bits, RGB plus a fourth sample for 32 and 64 bits. The library's messages
// are swallowed; any error, the strip's and the directory's included, returns false.
bool writeTiff(const char* path, const Surface& surface);

// JPEG of the 8-bit picture, memory row 0 first: one gray component for 8 and 16
// bits, three components (written red first) for the colour depths; baseline-
// compatible quantisation tables at `quality`, the simple progressive script when
// `progressive` is set.
bool writeJpeg(const char* path, const Surface& surface, int quality, bool progressive);

} // namespace orvix
