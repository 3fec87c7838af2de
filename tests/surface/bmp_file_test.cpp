// BMP files written by saveBmp, checked byte by byte after reading them back.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "capture/output_file.h"
#include "capture/bmp_file.h"
#include "imaging/surface.h"
#include "imaging/pixel_kernels.h"
#include "support/test_environment.h"

namespace orvix {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool fileExists(const std::string& path) { return std::ifstream(path, std::ios::binary).good(); }

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::uint32_t u32At(const Bytes& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}
std::uint16_t u16At(const Bytes& b, std::size_t at) { return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8)); }

class BmpFileTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (const std::string& p : paths_) std::remove(p.c_str());
    }
    std::string path(const char* stem) {
        paths_.push_back(test::temporaryPath(stem) + ".bmp");
        return paths_.back();
    }

private:
    std::vector<std::string> paths_;
};

// Picture row r, column c of a 5 × 3 8-bit image holds 10 r + c.
void fillRowNumbers(Surface& s) {
    for (int r = 0; r < s.height(); ++r) {
        for (int c = 0; c < s.width(); ++c) s.bits()[r * s.stride() + c] = static_cast<std::uint8_t>(10 * r + c);
    }
}

TEST_F(BmpFileTest, EightBitFileHasHeadersColourTableAndBottomUpRows) {
    Surface picture;
    ASSERT_TRUE(picture.create(5, 3, 8));
    fillRowNumbers(picture);
    const platform::ColorEntry teal{200, 100, 0, 0};
    picture.setColorTable(Surface::kColorTableModeEntries, &teal, 3, 1);

    // Saving brings the rows bottom-up first, then writes the copy as it is.
    Surface copy;
    ASSERT_TRUE(copy.createLike(&picture));
    ASSERT_EQ(copy.blit(copyFlipRows, &picture, nullptr, 0, 0, nullptr, 0), 1);
    const std::string file = path("gray");
    ASSERT_TRUE(saveBmp(copy, file.c_str()));

    const Bytes b = readFile(file);
    const std::uint32_t stride = 8;
    ASSERT_EQ(b.size(), 1078u + 3 * stride);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(u32At(b, 2), b.size()) << "file size";
    EXPECT_EQ(u32At(b, 6), 0u) << "reserved";
    EXPECT_EQ(u32At(b, 10), 1078u) << "pixel offset";
    EXPECT_EQ(u32At(b, 14), 40u);
    EXPECT_EQ(u32At(b, 18), 5u);
    EXPECT_EQ(u32At(b, 22), 3u) << "positive height";
    EXPECT_EQ(u16At(b, 26), 1);
    EXPECT_EQ(u16At(b, 28), 8);
    for (std::size_t at = 30; at < 54; at += 4) EXPECT_EQ(u32At(b, at), 0u) << "header field at " << at;

    // Colour table: the gray ramp with the one entry changed.
    EXPECT_EQ(u32At(b, 54 + 4 * 0), 0x00000000u);
    EXPECT_EQ(u32At(b, 54 + 4 * 2), 0x00020202u);
    EXPECT_EQ(u32At(b, 54 + 4 * 3), 0x000064C8u) << "blue, green, red, reserved";
    EXPECT_EQ(u32At(b, 54 + 4 * 255), 0x00FFFFFFu);

    // First file row = bottom picture row (20..24), each padded to the stride.
    const Bytes rows(b.begin() + 1078, b.end());
    EXPECT_EQ(Bytes(rows.begin(), rows.begin() + 5), (Bytes{20, 21, 22, 23, 24}));
    EXPECT_EQ(Bytes(rows.begin() + 8, rows.begin() + 13), (Bytes{10, 11, 12, 13, 14}));
    EXPECT_EQ(Bytes(rows.begin() + 16, rows.begin() + 21), (Bytes{0, 1, 2, 3, 4}));
}

TEST_F(BmpFileTest, DeeperImagesHaveNoColourTableAndKeepTheirBitCount) {
    for (std::uint16_t bpp : {16, 24, 32, 48, 64}) {
        Surface s;
        ASSERT_TRUE(s.create(3, 2, bpp));
        for (std::size_t i = 0; i < s.byteCount(); ++i) s.bits()[i] = static_cast<std::uint8_t>(i + 1);
        const std::string file = path("deep");
        ASSERT_TRUE(saveBmp(s, file.c_str())) << bpp;
        const Bytes b = readFile(file);
        ASSERT_EQ(b.size(), 54u + s.byteCount()) << bpp;
        EXPECT_EQ(u32At(b, 2), b.size());
        EXPECT_EQ(u32At(b, 10), 54u);
        EXPECT_EQ(u16At(b, 28), bpp);
        EXPECT_EQ(Bytes(b.begin() + 54, b.end()), Bytes(s.bits(), s.bits() + s.byteCount())) << bpp;
    }
}

TEST_F(BmpFileTest, FullSizeColourImageHasTheExpectedLength) {
    Surface s;
    ASSERT_TRUE(s.create(1360, 1024, 24));
    const std::string file = path("full");
    ASSERT_TRUE(saveBmp(s, file.c_str()));
    const Bytes b = readFile(file);
    EXPECT_EQ(b.size(), 54u + 1024u * 4080u);
    EXPECT_EQ(u32At(b, 2), 54u + 1024u * 4080u);
}

TEST_F(BmpFileTest, ExistingFileIsTruncatedAndUnusablePathsFail) {
    Surface s;
    ASSERT_TRUE(s.create(2, 2, 24));
    const std::string file = path("again");
    writeText(file, std::string(5000, 'x'));
    ASSERT_TRUE(saveBmp(s, file.c_str()));
    EXPECT_EQ(readFile(file).size(), 54u + 16u);

    EXPECT_FALSE(saveBmp(s, nullptr));
    const std::string inMissingFolder = test::temporaryPath("no-such-folder") + "/image.bmp";
    EXPECT_FALSE(saveBmp(s, inMissingFolder.c_str()));
}

TEST_F(BmpFileTest, EmptySurfaceWritesNoFile) {
    Surface empty;
    const std::string file = path("empty");
    EXPECT_FALSE(saveBmp(empty, file.c_str()));
    EXPECT_FALSE(fileExists(file));
}

TEST(OutputFile, ReplacesTheFileOnlyWhenFinished) {
    const std::string file = test::temporaryPath("output") + ".bin";
    {
        OutputFile out;
        EXPECT_FALSE(out.write("x", 1)) << "nothing open yet";
        ASSERT_TRUE(out.open(file.c_str())) << "created";
        EXPECT_TRUE(out.write("abcdef", 6));
        EXPECT_TRUE(out.finish());
        EXPECT_FALSE(out.finish());
    }
    {
        OutputFile out;
        ASSERT_TRUE(out.open(file.c_str()));
        EXPECT_TRUE(out.write("xy", 2));
    } // not finished: the file keeps its contents
    EXPECT_EQ(readFile(file), (Bytes{'a', 'b', 'c', 'd', 'e', 'f'}));
    {
        OutputFile out;
        ASSERT_TRUE(out.open(file.c_str())) << "replaced";
        EXPECT_TRUE(out.write("xy", 2));
        EXPECT_TRUE(out.finish());
    }
    EXPECT_EQ(readFile(file), (Bytes{'x', 'y'}));
    std::remove(file.c_str());
}

} // namespace
} // namespace orvix
