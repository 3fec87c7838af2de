// saveSurface: BMP and raw files, and the writer of each library format.

#include "capture/image_saving.h"

#include <new>

#include "capture/bmp_file.h"
#include "capture/output_file.h"
#include "imaging/surface.h"

namespace orvix {

namespace {

// The rows as they are, bottom row first.
bool saveBottomUpBmp(const char* path, const Surface& source) {
    const platform::ColorTable colors = source.colorTable();
    BmpImage image;
    image.header = &source.header();
    image.colors = &colors;
    image.rows = source.bits();
    image.stride = source.stride();
    image.topRowFirst = true;
    return writeBmpFile(path, image);
}

bool saveRaw(const char* path, const Surface& source) {
    OutputFile file;
    return file.open(path) && file.write(source.bits(), source.byteCount()) && file.finish();
}

int jpegQuality(std::int32_t format) {
    switch (format) {
    case kImageFormatJpeg100: return 100;
    case kImageFormatJpeg70: return 70;
    default: return 20;
    }
}

} // namespace

bool saveSurface(const char* path, const Surface* surface, std::int32_t format) {
    if (!path || !surface || surface->isEmpty()) return false;
    try {
        switch (format) {
        case kImageFormatBmp: return saveBottomUpBmp(path, *surface);
        case kImageFormatRaw: return saveRaw(path, *surface);
        case kImageFormatJpeg100:
        case kImageFormatJpeg70:
        case kImageFormatJpeg20: return writeJpeg(path, *surface, jpegQuality(format), true);
        case kImageFormatPng: return writePng(path, *surface);
        case kImageFormatTiff: return writeTiff(path, *surface);
        default: return false;
        }
    } catch (const std::bad_alloc&) {
        return false; // a row buffer could not be allocated
    }
}


} // namespace orvix
