// Saved files read back by independent programs: Pillow for pixels, modes and JPEG
// properties, tiffinfo for the TIFF tags, pngcheck for the PNG structure.

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "capture/image_saving.h"
#include "imaging/surface.h"
#include "saving/image_readers.h"
#include "saving/saving_support.h"

namespace orvix::test {
namespace {

constexpr int kWidth = 161; // rows padded at every depth whose pixels are not 4 bytes
constexpr int kHeight = 75;
constexpr std::int32_t kFormats[] = {kImageFormatBmp,    kImageFormatJpeg100, kImageFormatJpeg70,
                                     kImageFormatJpeg20, kImageFormatPng,     kImageFormatTiff};

std::string fileName(std::uint16_t bits, std::int32_t format) {
    static const char* const kSuffix[] = {".bmp", ".raw", "-q100.jpg", "-q70.jpg", "-q20.jpg", ".png", ".tif"};
    return "picture" + std::to_string(bits) + kSuffix[format];
}

// Every depth saved in every format once, and read back by Pillow in one run.
class SavedPictures : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = std::make_unique<TempFolder>();
        std::vector<std::string> paths;
        for (std::uint16_t bits : kDepths) {
            Surface picture;
            fillPicture(picture, kWidth, kHeight, bits);
            for (std::int32_t format : kFormats) {
                const std::string path = folder_->path(fileName(bits, format));
                saved_[path] = saveSurface(path.c_str(), &picture, format);
                paths.push_back(path);
            }
        }
        read_ = readWithPillow(paths);
    }
    static void TearDownTestSuite() { folder_.reset(); }

    static std::string path(std::uint16_t bits, std::int32_t format) { return folder_->path(fileName(bits, format)); }
    static const PillowImage& read(std::uint16_t bits, std::int32_t format) {
        const std::string p = path(bits, format);
        EXPECT_TRUE(saved_[p]) << p;
        return read_[p];
    }

    static std::unique_ptr<TempFolder> folder_;
    static std::map<std::string, bool> saved_;
    static std::map<std::string, PillowImage> read_;
};
std::unique_ptr<TempFolder> SavedPictures::folder_;
std::map<std::string, bool> SavedPictures::saved_;
std::map<std::string, PillowImage> SavedPictures::read_;

double meanAbsoluteDifference(const std::vector<std::uint16_t>& a, const std::vector<std::uint16_t>& b) {
    if (a.size() != b.size() || a.empty()) return 1e9;
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) sum += std::abs(int{a[i]} - int{b[i]});
    return sum / static_cast<double>(a.size());
}

std::vector<std::uint16_t> highBytes(std::vector<std::uint16_t> samples) {
    for (std::uint16_t& s : samples) s = static_cast<std::uint16_t>(s >> 8);
    return samples;
}

// The Pillow mode of each file: BMP and JPEG are read as 8-bit pictures.
std::string expectedMode(std::uint16_t bits, std::int32_t format) {
    switch (format) {
    case kImageFormatBmp: return bits == 8 ? "L" : "RGB";
    case kImageFormatPng: {
        static const std::map<int, std::string> modes{{8, "L"}, {16, "I"}, {24, "RGB"}, {32, "RGBA"}, {48, "RGB"}, {64, "RGBA"}};
        return modes.at(bits);
    }
    case kImageFormatTiff: {
        static const std::map<int, std::string> modes{{8, "L"}, {16, "I;16"}, {24, "RGB"}, {32, "RGBX"}, {48, "RGB"}, {64, "RGBX"}};
        return modes.at(bits);
    }
    default: return bits <= 16 ? "L" : "RGB";
    }
}

TEST_F(SavedPictures, PillowReadsThePictureAtEveryDepthInEveryFormat) {
    for (std::uint16_t bits : kDepths) {
        for (std::int32_t format : kFormats) {
            SCOPED_TRACE(fileName(bits, format));
            // Pillow reads BMP files of 8, 24 and 32 bits only; the others are
            // compared byte by byte in saving_test.
            if (format == kImageFormatBmp && bits != 8 && bits != 24 && bits != 32) continue;
            const PillowImage& image = read(bits, format);
            ASSERT_EQ(image.field("error"), "");
            EXPECT_EQ(image.field("mode"), expectedMode(bits, format));
            EXPECT_EQ(image.field("size"), std::to_string(kWidth) + " " + std::to_string(kHeight));

            const bool sixteenBitColour = (bits == 48 || bits == 64);
            std::vector<std::uint16_t> expected = expectedSamples(format, bits, kWidth, kHeight);
            switch (format) {
            case kImageFormatBmp: // the 8-bit picture, without a fourth byte
                EXPECT_EQ(image.samples, expectedSamples(kImageFormatJpeg100, bits, kWidth, kHeight));
                break;
            case kImageFormatPng:
            case kImageFormatTiff:
                // Pillow reads 16-bit colour as its most significant bytes.
                EXPECT_EQ(image.samples, sixteenBitColour ? highBytes(expected) : expected);
                if (format == kImageFormatTiff) {
                    EXPECT_EQ(image.strip, expected);
                }
                break;
            default: { // JPEG: lossy, but close to the picture with the right rows and colours
                // (a flipped picture or swapped red and blue would be off by 40 and more;
                // colour loses more through the halved chroma resolution).
                const int q = format - kImageFormatJpeg100;
                const double limit = bits > 16 ? std::vector<double>{6, 10, 14}[q] : std::vector<double>{1.5, 4, 8}[q];
                EXPECT_LT(meanAbsoluteDifference(image.samples, expected), limit);
            }
            }
        }
    }
}

// The baseline tables of the JPEG standard scaled to a quality, in natural order.
std::vector<int> scaledTable(bool chroma, int quality) {
    static const int kLuma[64] = {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
                                  14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
                                  18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
                                  49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
    static const int kChromaTop[4][4] = {{17, 18, 24, 47}, {18, 21, 26, 66}, {24, 26, 56, 99}, {47, 66, 99, 99}};
    const int scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
    std::vector<int> table(64);
    for (int i = 0; i < 64; ++i) {
        const int base = !chroma ? kLuma[i] : (i / 8 < 4 && i % 8 < 4) ? kChromaTop[i / 8][i % 8] : 99;
        table[i] = std::min(255, std::max(1, (base * scale + 50) / 100));
    }
    return table;
}

std::string joined(const std::vector<int>& values) {
    std::string text;
    for (int v : values) text += (text.empty() ? "" : " ") + std::to_string(v);
    return text;
}

TEST_F(SavedPictures, JpegFilesAreProgressiveWithBaselineTablesOfTheirQuality) {
    const std::map<std::int32_t, int> qualities{{kImageFormatJpeg100, 100}, {kImageFormatJpeg70, 70}, {kImageFormatJpeg20, 20}};
    for (std::uint16_t bits : kDepths) {
        for (const auto& [format, quality] : qualities) {
            SCOPED_TRACE(fileName(bits, format));
            const PillowImage& image = read(bits, format);
            const bool colour = bits > 16;
            EXPECT_EQ(image.field("progressive"), "1");
            EXPECT_EQ(image.field("layers"), colour ? "3" : "1");
            EXPECT_EQ(image.field("quant0"), joined(scaledTable(false, quality)));
            EXPECT_EQ(image.field("quant1"), colour ? joined(scaledTable(true, quality)) : "");
        }
    }
}

TEST_F(SavedPictures, TiffinfoShowsTheTagsOfEachDepthAndOneUncompressedStrip) {
    struct Tags {
        std::uint16_t bits;
        const char* bitsPerSample;
        const char* photometric;
        const char* samples;
    };
    for (const Tags& t : {Tags{8, "8", "min-is-black", "1"}, Tags{16, "16", "min-is-black", "1"},
                          Tags{24, "8", "RGB color", "3"}, Tags{32, "8", "RGB color", "4"},
                          Tags{48, "16", "RGB color", "3"}, Tags{64, "16", "RGB color", "4"}}) {
        SCOPED_TRACE(t.bits);
        const CommandResult info = runCommand("tiffinfo -s " + shellQuoted(path(t.bits, kImageFormatTiff)));
        ASSERT_EQ(info.status, 0) << info.output;
        const std::string& text = info.output;
        EXPECT_NE(text.find("Image Width: 161 Image Length: 75"), std::string::npos) << text;
        EXPECT_NE(text.find(std::string("Bits/Sample: ") + t.bitsPerSample + "\n"), std::string::npos) << text;
        EXPECT_NE(text.find("Compression Scheme: None"), std::string::npos) << text;
        EXPECT_NE(text.find(std::string("Photometric Interpretation: ") + t.photometric), std::string::npos) << text;
        EXPECT_NE(text.find(std::string("Samples/Pixel: ") + t.samples + "\n"), std::string::npos) << text;
        EXPECT_NE(text.find("Planar Configuration: single image plane"), std::string::npos) << text;
        EXPECT_NE(text.find("1 Strips:"), std::string::npos) << text;
        EXPECT_EQ(text.find("Warning"), std::string::npos) << text;
        const int rowBytes = kWidth * std::stoi(t.samples) * std::stoi(t.bitsPerSample) / 8;
        EXPECT_EQ(read(t.bits, kImageFormatTiff).field("stripbytes"), std::to_string(rowBytes * kHeight));
    }
}

TEST(TiffRows, AreCutToTheWidthOfThePixels) {
    TempFolder folder;
    const std::string file = folder.path("wide.tif");
    Surface picture;
    fillPicture(picture, 1001, 4, 24); // stride 3004
    ASSERT_TRUE(saveSurface(file.c_str(), &picture, kImageFormatTiff));
    const CommandResult info = runCommand("tiffinfo -s " + shellQuoted(file));
    EXPECT_NE(info.output.find("0: [       8,    12012]"), std::string::npos) << info.output; // 4 x 3003
    const PillowImage image = readWithPillow({file})[file];
    EXPECT_EQ(image.strip, expectedSamples(kImageFormatTiff, 24, 1001, 4));
}

TEST_F(SavedPictures, PngcheckFindsEveryPngValidWithItsDepthAndColourType) {
    const std::map<int, std::string> kinds{{8, "8-bit grayscale"}, {16, "16-bit grayscale"}, {24, "24-bit RGB"},
                                           {32, "32-bit RGB+alpha"}, {48, "48-bit RGB"}, {64, "64-bit RGB+alpha"}};
    for (const auto& [bits, kind] : kinds) {
        SCOPED_TRACE(bits);
        const CommandResult check = runCommand("pngcheck " + shellQuoted(path(static_cast<std::uint16_t>(bits), kImageFormatPng)));
        EXPECT_EQ(check.status, 0) << check.output;
        EXPECT_NE(check.output.find("OK: "), std::string::npos) << check.output;
        EXPECT_NE(check.output.find("(161x75, " + kind + ", non-interlaced"), std::string::npos) << check.output;
    }
}

} // namespace
} // namespace orvix::test
