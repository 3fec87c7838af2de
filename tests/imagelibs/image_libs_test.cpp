// The image libraries as the build links them (Debian's shared ones on Linux, our
// static cross builds on Windows): each writes a small file and reads it back, and
// reports the interface version image saving is written against. The error paths
// go through setjmp/longjmp, as image saving's will, to show that unwinding out of
// the libraries works in every build.

#include <gtest/gtest.h>

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/test_environment.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool startsWith(const Bytes& data, const Bytes& prefix) {
    return data.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), data.begin());
}

// A temporary file removed when the test ends.
struct TempFile {
    explicit TempFile(const char* suffix) : path(orvix::test::temporaryPath("orvix-imagelibs") + suffix) {}
    ~TempFile() {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
    std::string path;
};

// ---- JPEG -------------------------------------------------------------------

struct JpegError {
    jpeg_error_mgr manager;  // first, so the library's pointer to it is one to us
    std::jmp_buf unwind;
};

void jpegErrorExit(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegError*>(info->err)->unwind, 1);
}

// Writes `rows` (width x height x components bytes) as a progressive JPEG; a library
// error comes back as false. Only trivial objects live in this frame.
bool writeJpeg(const char* path, const unsigned char* pixels, int width, int height, int components,
               bool setSize = true) {
    std::FILE* file = std::fopen(path, "wb");
    if (!file) return false;
    jpeg_compress_struct info;
    JpegError error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jpegErrorExit;
    if (setjmp(error.unwind)) {
        jpeg_destroy_compress(&info);
        std::fclose(file);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    if (setSize) {
        info.image_width = static_cast<JDIMENSION>(width);
        info.image_height = static_cast<JDIMENSION>(height);
    }
    info.input_components = components;
    info.in_color_space = components == 3 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels + info.next_scanline * width * components);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(file);
    return true;
}

struct DecodedJpeg {
    int width = 0, height = 0, components = 0;
    Bytes pixels;
};

bool readJpeg(const char* path, DecodedJpeg& out) {
    std::FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    jpeg_decompress_struct info;
    JpegError error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jpegErrorExit;
    if (setjmp(error.unwind)) {
        jpeg_destroy_decompress(&info);
        std::fclose(file);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    jpeg_start_decompress(&info);
    out.width = static_cast<int>(info.output_width);
    out.height = static_cast<int>(info.output_height);
    out.components = info.output_components;
    out.pixels.resize(static_cast<size_t>(out.width) * out.height * out.components);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = out.pixels.data() + info.output_scanline * out.width * out.components;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    std::fclose(file);
    return true;
}

bool containsMarker(const Bytes& data, unsigned char marker) {
    for (size_t i = 0; i + 1 < data.size(); ++i)
        if (data[i] == 0xFF && data[i + 1] == marker) return true;
    return false;
}

TEST(ImageLibs, JpegHasTheSixBInterfaceAndRoundTripsBothColourSpaces) {
    static_assert(JPEG_LIB_VERSION == 62, "image saving needs the libjpeg 6b interface");
    const int width = 32, height = 16;
    for (int components : {1, 3}) {
        SCOPED_TRACE(components);
        // Left half dark, right half bright (red-first order for three components).
        Bytes pixels(static_cast<size_t>(width) * height * components);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                for (int c = 0; c < components; ++c)
                    pixels[(y * width + x) * components + c] =
                        static_cast<unsigned char>(x < width / 2 ? 20 + 40 * c : 230 - 60 * c);
        TempFile file(".jpg");
        ASSERT_TRUE(writeJpeg(file.path.c_str(), pixels.data(), width, height, components));
        const Bytes data = readFile(file.path);
        EXPECT_TRUE(startsWith(data, {0xFF, 0xD8, 0xFF}));
        ASSERT_GE(data.size(), 2u);
        EXPECT_EQ(data[data.size() - 2], 0xFF);
        EXPECT_EQ(data.back(), 0xD9);
        EXPECT_TRUE(containsMarker(data, 0xC2)) << "no progressive frame header";

        DecodedJpeg decoded;
        ASSERT_TRUE(readJpeg(file.path.c_str(), decoded));
        EXPECT_EQ(decoded.width, width);
        EXPECT_EQ(decoded.height, height);
        ASSERT_EQ(decoded.components, components);
        // Flat 8 x 8 blocks survive quality 90 almost unchanged.
        for (int c = 0; c < components; ++c) {
            EXPECT_NEAR(decoded.pixels[(4 * width + 3) * components + c], pixels[(4 * width + 3) * components + c], 6);
            EXPECT_NEAR(decoded.pixels[(11 * width + 28) * components + c], pixels[(11 * width + 28) * components + c], 6);
        }
    }
}

TEST(ImageLibs, JpegLibraryErrorReturnsInsteadOfEndingTheProcess) {
    TempFile file(".jpg");
    const unsigned char pixel = 0;
    // No image size: the library refuses to start compressing.
    EXPECT_FALSE(writeJpeg(file.path.c_str(), &pixel, 1, 1, 1, /*setSize=*/false));
    DecodedJpeg decoded;
    EXPECT_FALSE(readJpeg(file.path.c_str(), decoded));  // what was left is no JPEG
}

// ---- PNG --------------------------------------------------------------------

void pngErrorExit(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void pngQuietWarning(png_structp, png_const_charp) {}

// Writes 16-bit gray (host-order samples) or 8-bit blue-first colour pixels with the
// byte-order transforms image saving uses. `bitDepth` 0 provokes a libpng error.
bool writePng(const char* path, const unsigned char* pixels, int width, int height, int bitDepth,
              int colorType, int stride) {
    std::FILE* file = std::fopen(path, "wb");
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, pngErrorExit, pngQuietWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), bitDepth,
                 colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_set_bgr(png);
    if (bitDepth == 16) png_set_swap(png);
    for (int y = 0; y < height; ++y) png_write_row(png, pixels + y * stride);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return true;
}

struct DecodedPng {
    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colorType = 0;
    Bytes pixels;  // as stored in the file: red first, 16-bit samples most significant byte first
};

bool readPng(const char* path, DecodedPng& out) {
    std::FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, pngErrorExit, pngQuietWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_read_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    out.width = png_get_image_width(png, info);
    out.height = png_get_image_height(png, info);
    out.bitDepth = png_get_bit_depth(png, info);
    out.colorType = png_get_color_type(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    png_bytepp rows = png_get_rows(png, info);
    out.pixels.clear();
    for (png_uint_32 y = 0; y < out.height; ++y) out.pixels.insert(out.pixels.end(), rows[y], rows[y] + rowBytes);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return true;
}

const Bytes kPngSignature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

TEST(ImageLibs, PngIsVersionSixteenAndWritesColourRedFirst) {
    EXPECT_GE(PNG_LIBPNG_VER, 10600);
    EXPECT_EQ(png_access_version_number(), static_cast<png_uint_32>(PNG_LIBPNG_VER)) << "header and library differ";

    // 3 x 2 pixels, blue-first in memory, rows padded to a stride of 12 bytes.
    const Bytes memory = {10, 20, 30, 11, 21, 31, 12, 22, 32, 0, 0, 0,
                          40, 50, 60, 41, 51, 61, 42, 52, 62, 0, 0, 0};
    TempFile file(".png");
    ASSERT_TRUE(writePng(file.path.c_str(), memory.data(), 3, 2, 8, PNG_COLOR_TYPE_RGB, 12));
    EXPECT_TRUE(startsWith(readFile(file.path), kPngSignature));
    DecodedPng decoded;
    ASSERT_TRUE(readPng(file.path.c_str(), decoded));
    EXPECT_EQ(decoded.width, 3u);
    EXPECT_EQ(decoded.height, 2u);
    EXPECT_EQ(decoded.bitDepth, 8);
    EXPECT_EQ(decoded.colorType, PNG_COLOR_TYPE_RGB);
    EXPECT_EQ(decoded.pixels, (Bytes{30, 20, 10, 31, 21, 11, 32, 22, 12, 60, 50, 40, 61, 51, 41, 62, 52, 42}));
}

TEST(ImageLibs, PngWritesSixteenBitSamplesMostSignificantByteFirst) {
    const uint16_t samples[2] = {0x1234, 0x03FF};
    TempFile file(".png");
    ASSERT_TRUE(writePng(file.path.c_str(), reinterpret_cast<const unsigned char*>(samples), 2, 1, 16,
                         PNG_COLOR_TYPE_GRAY, 4));
    DecodedPng decoded;
    ASSERT_TRUE(readPng(file.path.c_str(), decoded));
    EXPECT_EQ(decoded.bitDepth, 16);
    EXPECT_EQ(decoded.colorType, PNG_COLOR_TYPE_GRAY);
    EXPECT_EQ(decoded.pixels, (Bytes{0x12, 0x34, 0x03, 0xFF}));
}

TEST(ImageLibs, PngLibraryErrorComesBackThroughTheErrorCallback) {
    const unsigned char pixel = 0;
    TempFile file(".png");
    EXPECT_FALSE(writePng(file.path.c_str(), &pixel, 1, 1, /*bitDepth=*/0, PNG_COLOR_TYPE_GRAY, 4));
}

// ---- TIFF -------------------------------------------------------------------

TEST(ImageLibs, TiffIsVersionFourAndRoundTripsAnUncompressedStrip) {
    const std::string version = TIFFGetVersion();
    EXPECT_NE(version.find("4."), std::string::npos) << version;
    EXPECT_EQ(version, TIFFLIB_VERSION_STR) << "header and library differ";

    // Width 5 at 3 bytes a pixel: rows of 15 bytes, not a multiple of 4.
    const uint32_t width = 5, height = 3;
    Bytes pixels(width * height * 3);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<unsigned char>(i * 7 + 1);
    TempFile file(".tif");
    TIFF* out = TIFFOpen(file.path.c_str(), "w");
    ASSERT_NE(out, nullptr);
    TIFFSetField(out, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(out, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(out, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(out, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(out, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, 3);
    EXPECT_EQ(TIFFWriteEncodedStrip(out, 0, pixels.data(), static_cast<tmsize_t>(pixels.size())),
              static_cast<tmsize_t>(pixels.size()));
    TIFFClose(out);

    const Bytes data = readFile(file.path);
    EXPECT_TRUE(startsWith(data, {'I', 'I', 42, 0}) || startsWith(data, {'M', 'M', 0, 42}));

    TIFF* in = TIFFOpen(file.path.c_str(), "r");
    ASSERT_NE(in, nullptr);
    uint32_t readWidth = 0, readHeight = 0;
    uint16_t bits = 0, samples = 0, photometric = 0;
    TIFFGetField(in, TIFFTAG_IMAGEWIDTH, &readWidth);
    TIFFGetField(in, TIFFTAG_IMAGELENGTH, &readHeight);
    TIFFGetField(in, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetField(in, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetField(in, TIFFTAG_PHOTOMETRIC, &photometric);
    EXPECT_EQ(readWidth, width);
    EXPECT_EQ(readHeight, height);
    EXPECT_EQ(bits, 8);
    EXPECT_EQ(samples, 3);
    EXPECT_EQ(photometric, PHOTOMETRIC_RGB);
    EXPECT_EQ(TIFFNumberOfStrips(in), 1u);
    Bytes back(pixels.size());
    EXPECT_EQ(TIFFReadEncodedStrip(in, 0, back.data(), static_cast<tmsize_t>(back.size())),
              static_cast<tmsize_t>(back.size()));
    TIFFClose(in);
    EXPECT_EQ(back, pixels);
}

} // namespace
