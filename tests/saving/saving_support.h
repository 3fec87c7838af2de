#pragma once
// Test pictures and file helpers of the image-saving tests.
//
// The test picture gives every pixel 8-bit channel values taken from the emulated
// camera's colour chart (bars above, a gray ramp below, so top and bottom differ),
// with a small diagonal texture so neighbouring pixels differ too. The 10-bit
// depths hold value × 4 plus two varying low bits, so their 8-bit form (bits 2..9)
// is the same picture. 32-bit pixels carry a varying fourth byte, 64-bit pixels a
// varying fourth word.

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/surface.h"

namespace orvix::test {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint16_t kDepths[] = {8, 16, 24, 32, 48, 64};

// Channel values of picture pixel (x, y), row 0 at the top, in a w × h picture.
struct PicturePixel {
    std::uint8_t red8, green8, blue8; // the 8-bit picture
    std::uint16_t red10, green10, blue10;
    std::uint8_t fourth8;   // 32 bits
    std::uint16_t fourth16; // 64 bits
    std::uint8_t gray8() const { return green8; }
    std::uint16_t gray10() const { return green10; }
};
PicturePixel picturePixel(int x, int y, int width, int height);

// A Surface of that geometry holding the test picture (memory row 0 = picture row 0).
void fillPicture(Surface& surface, std::int32_t width, std::int32_t height, std::uint16_t bitsPerPixel);

// What a reader of the saved file should find, top row first, one value per sample:
// gray, or R, G, B (and a fourth sample). `format` as saveSurface; for JPEG the
// 8-bit picture (the file is lossy), for PNG and TIFF the exact samples.
std::vector<std::uint16_t> expectedSamples(std::int32_t format, std::uint16_t bitsPerPixel, int width, int height);
// Samples per pixel of the file a format writes at a depth (JPEG 1 or 3).
int samplesPerPixel(std::int32_t format, std::uint16_t bitsPerPixel);

Bytes readFile(const std::string& path);
bool fileExists(const std::string& path);
void writeFile(const std::string& path, const Bytes& bytes);
std::uint64_t fnv1a64(const Bytes& bytes);

// A fresh folder under the temporary folder, deleted with everything in it.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::string path(const std::string& name) const;

private:
    std::string root_;
};

} // namespace orvix::test
