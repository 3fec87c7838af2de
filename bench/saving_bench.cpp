// Image saving of a full-frame (1360 x 1024) 24-bit picture of the emulated camera's
// colour chart, in each format:
//
//   SaveSurface/<format>    saveSurface: the format's conversion, a band of rows at
//                           a time, and the file written beside the old one and
//                           renamed over it
//   Direct/<format>         the same file written straight from pixels already in the
//                           file's layout (rows in file order, red first where the
//                           library wants it) over the old file: fwrite for BMP and
//                           raw, libjpeg, libpng and libtiff for the others
//   DirectReplace/<format>  Direct, written to a new file that is then renamed over
//                           the old one, as saveSurface does so that a failed or
//                           interrupted save never leaves a half-written file
//   Floor/<format>          BMP and TIFF: the least work a save from the picture's
//                           memory (rows top first, blue first) adds to Direct, with
//                           no writer around it, straight over the old file as Direct
//                           writes: BMP's rows gathered bottom row first into
//                           writev calls; TIFF's rows red-blue swapped into a band
//                           at a time, as the library's writer converts them, each
//                           band written as it is made, after the 8-byte file header
//
// SaveSurface against Direct is the whole cost of saving through the library (the
// conversion of the pixels included, which Direct is spared); against DirectReplace
// it is the cost of the conversion and of our code alone. Floor against Direct is the
// share of that ratio no writer can remove while the memory layout stays as it is. After the runs a table
// prints both ratios per format (CPU time, medians when repetitions are asked for:
// --benchmark_repetitions=5) beside the goal of 1.1.
// Files go to the temporary folder (ORVIX_BENCH_DIR overrides it).

#include <benchmark/benchmark.h>

#include <cstdio>
// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "capture/file_rows.h"
#include "capture/image_saving.h"
#include "imaging/pixel_kernels.h"
#include "imaging/surface.h"
#include "emulator/scene.h"

// The floor benchmarks call the system's writes themselves (Linux only, as the
// benchmarks are built).
#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

using namespace orvix;

constexpr int kWidth = 1360;
constexpr int kHeight = 1024;

std::string outputPath(const char* name) {
    const char* dir = std::getenv("ORVIX_BENCH_DIR");
    return ((dir ? std::filesystem::path(dir) : std::filesystem::temp_directory_path()) / name).string();
}

// The chart with a fine texture, as blue-first memory pixels (memory row 0 on top).
const Surface& picture() {
    static Surface surface;
    if (surface.isEmpty()) {
        surface.create(kWidth, kHeight, 24);
        for (int y = 0; y < kHeight; ++y) {
            std::uint8_t* row = surface.bits() + static_cast<std::size_t>(y) * surface.stride();
            for (int x = 0; x < kWidth; ++x) {
                const emulator::SceneColor c = emulator::sceneColor(emulator::Scene::Chart, x, y);
                const int texture = (x * 5 + y * 3) % 16;
                row[3 * x] = static_cast<std::uint8_t>(c.blue + texture);
                row[3 * x + 1] = static_cast<std::uint8_t>(c.green + texture);
                row[3 * x + 2] = static_cast<std::uint8_t>(c.red + texture);
            }
        }
    }
    return surface;
}

// The picture in a file's layout: rows top first or bottom first, red or blue first,
// rows padded to the stride or packed.
std::vector<std::uint8_t> inFileLayout(bool bottomUp, bool redFirst, bool packed) {
    const Surface& s = picture();
    const std::size_t rowBytes = packed ? static_cast<std::size_t>(kWidth) * 3 : s.stride();
    std::vector<std::uint8_t> out(rowBytes * kHeight);
    for (int y = 0; y < kHeight; ++y) {
        const std::uint8_t* src = s.bits() + static_cast<std::size_t>(bottomUp ? kHeight - 1 - y : y) * s.stride();
        std::uint8_t* dst = out.data() + rowBytes * y;
        std::memcpy(dst, src, rowBytes);
        if (redFirst) {
            for (int x = 0; x < kWidth; ++x) std::swap(dst[3 * x], dst[3 * x + 2]);
        }
    }
    return out;
}

void countBytes(benchmark::State& state, const std::string& path) {
    std::error_code ignored;
    state.counters["file_bytes"] = static_cast<double>(std::filesystem::file_size(path, ignored));
    state.SetItemsProcessed(state.iterations());
}

void SaveSurface(benchmark::State& state) {
    const auto format = static_cast<std::int32_t>(state.range(0));
    const std::string path = outputPath("orvix-bench-save");
    for (auto _ : state) {
        if (!saveSurface(path.c_str(), &picture(), format)) state.SkipWithError("save failed");
    }
    countBytes(state, path);
}

void writeRows(const char* path, const void* header, std::size_t headerBytes, const std::vector<std::uint8_t>& rows) {
    std::FILE* f = std::fopen(path, "wb");
    if (!f) return;
    if (headerBytes) std::fwrite(header, 1, headerBytes, f);
    std::fwrite(rows.data(), 1, rows.size(), f);
    std::fclose(f);
}

void directJpeg(const char* path, const std::vector<std::uint8_t>& rgb, int quality) {
    std::FILE* f = std::fopen(path, "wb");
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, f);
    info.image_width = kWidth;
    info.image_height = kHeight;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb.data() + static_cast<std::size_t>(info.next_scanline) * kWidth * 3);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(f);
}

void directPng(const char* path, const std::vector<std::uint8_t>& bgr, std::uint32_t stride) {
    std::FILE* f = std::fopen(path, "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_set_bgr(png);
    std::vector<png_bytep> rows(kHeight);
    for (int y = 0; y < kHeight; ++y) rows[y] = const_cast<png_bytep>(bgr.data() + static_cast<std::size_t>(y) * stride);
    png_write_image(png, rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
}

void directTiff(const char* path, std::vector<std::uint8_t>& rgbPacked) {
    TIFF* tiff = TIFFOpen(path, "w");
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(kWidth));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(kHeight));
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFWriteEncodedStrip(tiff, 0, rgbPacked.data(), static_cast<tmsize_t>(rgbPacked.size()));
    TIFFClose(tiff);
}

// Writes with `write` into `path`, or into a new file renamed over it.
template <typename Write>
void writeInPlaceOf(const std::string& path, bool replace, Write write) {
    if (!replace) return write(path.c_str());
    const std::string fresh = path + ".new";
    write(fresh.c_str());
    std::rename(fresh.c_str(), path.c_str());
}

void direct(benchmark::State& state, bool replace) {
    const auto format = static_cast<std::int32_t>(state.range(0));
    const std::string path = outputPath(replace ? "orvix-bench-replace" : "orvix-bench-direct");
    const std::uint32_t stride = picture().stride();
    std::vector<std::uint8_t> pixels;
    switch (format) {
    case kImageFormatBmp: pixels = inFileLayout(true, false, false); break;
    case kImageFormatRaw: pixels = inFileLayout(false, false, false); break;
    case kImageFormatPng: pixels = inFileLayout(false, false, false); break;
    case kImageFormatTiff: pixels = inFileLayout(false, true, true); break;
    default: pixels = inFileLayout(false, true, true); break; // JPEG
    }
    const std::uint8_t bmpHeaders[54] = {'B', 'M'};
    for (auto _ : state) {
        writeInPlaceOf(path, replace, [&](const char* file) {
            switch (format) {
            case kImageFormatBmp: writeRows(file, bmpHeaders, sizeof bmpHeaders, pixels); break;
            case kImageFormatRaw: writeRows(file, nullptr, 0, pixels); break;
            case kImageFormatJpeg100: directJpeg(file, pixels, 100); break;
            case kImageFormatJpeg70: directJpeg(file, pixels, 70); break;
            case kImageFormatJpeg20: directJpeg(file, pixels, 20); break;
            case kImageFormatPng: directPng(file, pixels, stride); break;
            default: directTiff(file, pixels); break;
            }
        });
    }
    countBytes(state, path);
}

void Direct(benchmark::State& state) { direct(state, false); }
void DirectReplace(benchmark::State& state) { direct(state, true); }

bool writeAll(int fd, const void* data, std::size_t count) {
    return ::write(fd, data, count) == static_cast<ssize_t>(count);
}

bool floorBmp(int fd) {
    static const std::uint8_t headers[54] = {'B', 'M'};
    const Surface& s = picture();
    std::vector<iovec> parts;
    parts.reserve(kHeight + 1);
    parts.push_back(iovec{const_cast<std::uint8_t*>(headers), sizeof headers});
    for (int y = kHeight - 1; y >= 0; --y)
        parts.push_back(iovec{const_cast<std::uint8_t*>(s.bits()) + static_cast<std::size_t>(y) * s.stride(), s.stride()});
    constexpr std::size_t kBatch = 1024; // IOV_MAX
    for (std::size_t first = 0; first < parts.size(); first += kBatch) {
        const std::size_t count = std::min(kBatch, parts.size() - first);
        std::size_t bytes = 0;
        for (std::size_t i = first; i < first + count; ++i) bytes += parts[i].iov_len;
        if (::writev(fd, parts.data() + first, static_cast<int>(count)) != static_cast<ssize_t>(bytes)) return false;
    }
    return true;
}

bool floorTiff(int fd) {
    static const std::uint8_t header[8] = {'I', 'I', 42};
    FileRows rows(picture(), swapRedBlue24, 3, FileRows::Spacing::Packed);
    if (!writeAll(fd, header, sizeof header)) return false;
    for (std::int32_t first = 0; first < rows.rowCount(); first += rows.bandRows()) {
        const std::int32_t count = std::min(rows.bandRows(), rows.rowCount() - first);
        if (!writeAll(fd, rows.band(first, count), rows.rowBytes() * static_cast<std::size_t>(count))) return false;
    }
    return true;
}

void Floor(benchmark::State& state) {
    const auto format = static_cast<std::int32_t>(state.range(0));
    const std::string path = outputPath("orvix-bench-floor");
    for (auto _ : state) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const bool written = fd >= 0 && (format == kImageFormatBmp ? floorBmp(fd) : floorTiff(fd));
        if (fd >= 0) ::close(fd);
        if (!written) state.SkipWithError("write failed");
    }
    countBytes(state, path);
}

BENCHMARK(SaveSurface)->DenseRange(0, 6)->Unit(benchmark::kMillisecond);
BENCHMARK(Direct)->DenseRange(0, 6)->Unit(benchmark::kMillisecond);
BENCHMARK(DirectReplace)->DenseRange(0, 6)->Unit(benchmark::kMillisecond);
BENCHMARK(Floor)->Arg(kImageFormatBmp)->Arg(kImageFormatTiff)->Unit(benchmark::kMillisecond);

// The console output, and per benchmark the CPU time of its one run or the median
// of its repetitions.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Iteration && cpuMs_.count(run.run_name.str()) == 0) {
                cpuMs_[run.run_name.str()] = run.GetAdjustedCPUTime();
            } else if (median) {
                cpuMs_[run.run_name.str()] = run.GetAdjustedCPUTime();
            }
        }
    }

    void printRatios() const {
        static const char* const kNames[] = {"bmp", "raw", "jpeg q100", "jpeg q70", "jpeg q20", "png", "tiff"};
        std::printf("\n%-10s %12s %12s %12s %10s %10s %6s\n", "format", "saveSurface", "direct", "direct+rn",
                    "ratio", "ratio(rn)", "goal");
        for (int format = 0; format <= kImageFormatTiff; ++format) {
            const std::string arg = "/" + std::to_string(format);
            const double ours = find("SaveSurface" + arg);
            const double plain = find("Direct" + arg);
            const double replaced = find("DirectReplace" + arg);
            if (ours <= 0 || plain <= 0 || replaced <= 0) continue;
            std::printf("%-10s %9.2f ms %9.2f ms %9.2f ms %10.2f %10.2f %6.1f\n", kNames[format], ours, plain,
                        replaced, ours / plain, ours / replaced, 1.1);
        }
    }

private:
    double find(const std::string& name) const {
        const auto found = cpuMs_.find(name);
        return found == cpuMs_.end() ? 0 : found->second;
    }
    std::map<std::string, double> cpuMs_;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}
