// JPEG files through libjpeg (6b interface). Each call owns its file, its
// compressor and its row buffer. A library error normally ends the process; here
// the error manager's exit routine jumps back into the one function that holds the
// compressor, whose frame has only trivial objects, and the save fails. Library
// messages are not printed.

#include <cstdio>
// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

#include <csetjmp>
#include <vector>

#include "capture/image_file_guard.h"
#include "capture/image_saving.h"
#include "imaging/surface.h"

namespace orvix {

namespace {

struct JpegErrorTrap {
    jpeg_error_mgr manager; // first, so the library's pointer to it is one to the trap
    std::jmp_buf unwind;
};

void leaveOnJpegError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegErrorTrap*>(info->err)->unwind, 1);
}

void ignoreJpegMessage(j_common_ptr) {}

struct JpegSource {
    const std::uint8_t* bits;
    std::uint32_t stride;
    JDIMENSION width;
    JDIMENSION height;
    int components; // 1: one gray byte per pixel; 3: B, G, R bytes per pixel
};

// One file row from memory row `memoryRow`: 3 components are turned red first.
void fillRow(const JpegSource& source, JDIMENSION memoryRow, JSAMPLE* row) {
    const std::uint8_t* pixel = source.bits + static_cast<std::size_t>(memoryRow) * source.stride;
    if (source.components == 1) {
        for (JDIMENSION x = 0; x < source.width; ++x) row[x] = pixel[x];
        return;
    }
    for (JDIMENSION x = 0; x < source.width; ++x, pixel += 3, row += 3) {
        row[0] = pixel[2];
        row[1] = pixel[1];
        row[2] = pixel[0];
    }
}

// Writes the image to an open stream, last memory row first; false after a library
// error. `row` holds width × components samples.
bool encodeJpeg(std::FILE* file, const JpegSource& source, int quality, bool progressive, JSAMPLE* row) {
    jpeg_compress_struct info{}; // zeroed, so destroying it is safe at any point
    JpegErrorTrap trap{};
    info.err = jpeg_std_error(&trap.manager);
    trap.manager.error_exit = leaveOnJpegError;
    trap.manager.output_message = ignoreJpegMessage;
    if (setjmp(trap.unwind)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = source.width;
    info.image_height = source.height;
    info.input_components = source.components;
    info.in_color_space = source.components == 3 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    if (progressive) jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        fillRow(source, info.image_height - 1 - info.next_scanline, row);
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

} // namespace

bool writeJpeg(const char* path, const Surface* surface, int quality, bool progressive) {
    if (!path || !surface || surface->isEmpty()) return false;
    const int components = surface->bitsPerPixel() / 8;
    if (surface->bitsPerPixel() != 8 && surface->bitsPerPixel() != 24) return false;

    const JpegSource source{surface->bits(), surface->stride(), static_cast<JDIMENSION>(surface->width()),
                            static_cast<JDIMENSION>(surface->height()), components};
    std::vector<JSAMPLE> row(static_cast<std::size_t>(source.width) * static_cast<std::size_t>(components));

    BinaryStream file(path);
    if (!file) return false;
    if (!encodeJpeg(file.get(), source, quality, progressive, row.data())) return false;
    return file.finish();
}

} // namespace orvix
