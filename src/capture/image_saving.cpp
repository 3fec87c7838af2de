// saveSurface: the conversion of each format into a temporary Surface, then the
// writer of the format; and Camera::saveImage, which saves the colour type's output
// image while no frame is being processed into it.

#include "capture/image_saving.h"

#include <mutex>
#include <new>

#include "camera/camera.h"
#include "capture/bmp_file.h"
#include "capture/output_file.h"
#include "imaging/surface.h"
#include "imaging/pixel_kernels.h"

namespace orvix {

namespace {

// The image turned upside down, so its file rows come out bottom-up.
bool saveFlippedBmp(const char* path, const Surface& source) {
    Surface flipped;
    if (!flipped.createLike(&source)) return false;
    flipped.blit(copyFlipRows, &source, nullptr, 0, 0, nullptr, 0);
    return saveBmp(flipped, path);
}

bool saveRaw(const char* path, const Surface& source) {
    OutputFile file;
    if (!file.open(path)) return false;
    if (!file.write(source.bits(), source.byteCount())) {
        file.discard();
        return false;
    }
    return file.finish();
}

// The 8- or 24-bit image the JPEG writer reads, vertically mirrored (the writer
// reads it from the last memory row up). False for depths without a JPEG form.
bool makeJpegImage(const Surface& source, Surface& image) {
    std::uint16_t bits = 0;
    PixelKernel kernel = nullptr;
    switch (source.bitsPerPixel()) {
    case 8: bits = 8, kernel = copyFlipRows; break;
    case 16: bits = 8, kernel = convertMono16To8Flip; break;
    case 24: bits = 24, kernel = copyFlipRows; break; // whole rows, same layout
    case 32: bits = 24, kernel = copyBgrFlip; break;
    case 48:
    case 64: bits = 24, kernel = convertColor16To8Flip; break;
    default: return false;
    }
    if (!image.create(source.width(), source.height(), bits)) return false;
    image.blit(kernel, &source, nullptr, 0, 0, nullptr, 0);
    return true;
}

int jpegQuality(std::int32_t format) {
    switch (format) {
    case kImageFormatJpeg100: return 100;
    case kImageFormatJpeg70: return 70;
    default: return 20;
    }
}

bool saveJpeg(const char* path, const Surface& source, std::int32_t format) {
    Surface image;
    if (!makeJpegImage(source, image)) return false;
    return writeJpeg(path, &image, jpegQuality(format), true);
}

// The PNG sample layout of each depth; 8 and 24 bits are written as they are.
PixelKernel pngKernel(std::uint16_t bitsPerPixel) {
    switch (bitsPerPixel) {
    case 16: return scaleMono10To16;
    case 32: return copyBgraInvertAlpha;
    case 48: return scaleColor10To16;
    case 64: return scaleColor10To16Alpha;
    default: return nullptr;
    }
}

bool savePng(const char* path, const Surface& source) {
    const PixelKernel kernel = pngKernel(source.bitsPerPixel());
    if (!kernel) return writePng(path, source.bits(), source.width(), source.height(), source.bitsPerPixel());
    Surface image;
    if (!image.createLike(&source)) return false;
    image.blit(kernel, &source, nullptr, 0, 0, nullptr, 0);
    return writePng(path, image.bits(), source.width(), source.height(), source.bitsPerPixel());
}

} // namespace

bool saveSurface(const char* path, const Surface* surface, std::int32_t format) {
    if (!path || !surface || surface->isEmpty()) return false;
    try {
        switch (format) {
        case kImageFormatBmp: return saveFlippedBmp(path, *surface);
        case kImageFormatRaw: return saveRaw(path, *surface);
        case kImageFormatJpeg100:
        case kImageFormatJpeg70:
        case kImageFormatJpeg20: return saveJpeg(path, *surface, format);
        case kImageFormatPng: return savePng(path, *surface);
        case kImageFormatTiff: return writeTiff(path, surface);
        default: return false;
        }
    } catch (const std::bad_alloc&) {
        return false; // a temporary or a row table could not be allocated
    }
}

int Camera::saveImage(const char* path, std::int32_t format) {
    const std::lock_guard<std::mutex> lock(surfaceMutex);
    const Surface* output = outputSurface();
    if (!link || !output) return errorQueue.push(ERR_NOT_INITIALIZED), 0;
    return saveSurface(path, output, format) ? 1 : 0;
}

} // namespace orvix
