// JPEG files through libjpeg (the 6b interface of libjpeg-turbo). Each call owns its
// file, its compressor and its row buffer. The compressor reads blue-first pixels
// itself (libjpeg-turbo's extended colour spaces), so 8-, 24- and 32-bit images are
// compressed straight from their memory rows and only the 10-bit depths are brought
// to 8 bits, a band of rows at a time. A library error normally ends the process;
// here the error manager's exit routine jumps back into the one function that holds
// the compressor, whose frame has only trivial objects, and the save fails. Library
// messages are not printed.

#include <cstdio>
// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

#include <csetjmp>

#include "capture/file_rows.h"
#include "capture/image_saving.h"
#include "capture/output_file.h"
#include "imaging/surface.h"
#include "imaging/pixel_kernels.h"

#ifndef JCS_EXTENSIONS
#error "the JPEG writer needs libjpeg-turbo's extended colour spaces (JCS_EXT_BGR)"
#endif

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

struct JpegLayout {
    PixelKernel kernel;            // to 8-bit samples; null: the memory rows as they are
    std::uint16_t rowBytesPerPixel; // of the rows the compressor reads
    J_COLOR_SPACE space;           // of those rows
    int components;                // in the file: 1 gray, 3 colour
};

// The file has the 8-bit picture: gray from 8 and 16 bits, colour from the rest (the
// fourth byte or word is dropped).
bool jpegLayoutFor(std::uint16_t bitsPerPixel, JpegLayout& layout) {
    switch (bitsPerPixel) {
    case 8: layout = {nullptr, 1, JCS_GRAYSCALE, 1}; return true;
    case 16: layout = {convertMono16To8, 1, JCS_GRAYSCALE, 1}; return true;
    case 24: layout = {nullptr, 3, JCS_EXT_BGR, 3}; return true;
    case 32: layout = {nullptr, 4, JCS_EXT_BGRX, 3}; return true;
    case 48:
    case 64: layout = {convertColor16To8, 3, JCS_EXT_BGR, 3}; return true;
    default: return false;
    }
}

// At most this many rows go to the compressor in one call.
constexpr int kRowsPerCall = 16;

// Writes the image to an open stream, memory row 0 first; false after a library
// error.
bool encodeJpeg(std::FILE* file, FileRows& rows, JDIMENSION width, const JpegLayout& layout, int quality,
                bool progressive) {
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
    info.image_width = width;
    info.image_height = static_cast<JDIMENSION>(rows.rowCount());
    info.input_components = layout.rowBytesPerPixel;
    info.in_color_space = layout.space;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    if (progressive) jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    for (std::int32_t first = 0; first < rows.rowCount(); first += rows.bandRows()) {
        const std::int32_t count = rows.rowCount() - first < rows.bandRows() ? rows.rowCount() - first : rows.bandRows();
        const std::uint8_t* band = rows.band(first, count);
        for (std::int32_t y = 0; y < count; y += kRowsPerCall) {
            JSAMPROW pointers[kRowsPerCall];
            const int n = count - y < kRowsPerCall ? count - y : kRowsPerCall;
            for (int i = 0; i < n; ++i)
                pointers[i] = const_cast<JSAMPROW>(band + static_cast<std::size_t>(y + i) * rows.stride());
            jpeg_write_scanlines(&info, pointers, static_cast<JDIMENSION>(n));
        }
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

} // namespace

bool writeJpeg(const char* path, const Surface& surface, int quality, bool progressive) {
    JpegLayout layout{};
    if (!path || surface.isEmpty() || !jpegLayoutFor(surface.bitsPerPixel(), layout)) return false;
    FileRows rows(surface, layout.kernel, layout.rowBytesPerPixel, FileRows::Spacing::Any);

    OutputFile file;
    if (!file.open(path) || !file.stream()) return false;
    if (!encodeJpeg(file.stream(), rows, static_cast<JDIMENSION>(surface.width()), layout, quality, progressive))
        return false;
    return file.finish();
}

} // namespace orvix
