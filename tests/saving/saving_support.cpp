#include "saving/saving_support.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "capture/image_saving.h"
#include "emulator/scene.h"
#include "support/test_environment.h"

namespace orvix::test {

PicturePixel picturePixel(int x, int y, int width, int height) {
    const emulator::SceneColor chart = emulator::sceneColor(
        emulator::Scene::Chart, x * emulator::kSceneWidth / width, y * emulator::kSceneHeight / height);
    const int texture = (x * 5 + y * 3) % 16 - 8;
    const auto channel = [&](std::uint8_t value) {
        const int v = value + texture;
        return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
    };
    PicturePixel p{};
    p.red8 = channel(chart.red);
    p.green8 = channel(chart.green);
    p.blue8 = channel(chart.blue);
    const std::uint16_t low = static_cast<std::uint16_t>((x + 2 * y) & 3);
    p.red10 = static_cast<std::uint16_t>(p.red8 * 4 + low);
    p.green10 = static_cast<std::uint16_t>(p.green8 * 4 + (3 - low));
    p.blue10 = static_cast<std::uint16_t>(p.blue8 * 4 + (low ^ 1));
    p.fourth8 = static_cast<std::uint8_t>(x * 7 + y * 11);
    p.fourth16 = static_cast<std::uint16_t>(x * 13 + y * 517);
    return p;
}

namespace {
void putWord(std::uint8_t* at, std::uint16_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}
} // namespace

void fillPicture(Surface& surface, std::int32_t width, std::int32_t height, std::uint16_t bitsPerPixel) {
    if (!surface.create(width, height, bitsPerPixel)) throw std::runtime_error("no test Surface");
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const PicturePixel p = picturePixel(x, y, width, height);
            std::uint8_t* d = surface.bits() + static_cast<std::size_t>(y) * surface.stride() +
                              static_cast<std::size_t>(x) * surface.bytesPerPixel();
            switch (bitsPerPixel) {
            case 8: d[0] = p.gray8(); break;
            case 16: putWord(d, p.gray10()); break;
            case 32: d[3] = p.fourth8; [[fallthrough]];
            case 24: d[0] = p.blue8, d[1] = p.green8, d[2] = p.red8; break;
            case 64: putWord(d + 6, p.fourth16); [[fallthrough]];
            case 48: putWord(d, p.blue10), putWord(d + 2, p.green10), putWord(d + 4, p.red10); break;
            default: break;
            }
        }
    }
}

int samplesPerPixel(std::int32_t format, std::uint16_t bitsPerPixel) {
    if (bitsPerPixel <= 16) return 1;
    const bool fourth = bitsPerPixel == 32 || bitsPerPixel == 64;
    return fourth && (format == kImageFormatPng || format == kImageFormatTiff) ? 4 : 3;
}

std::vector<std::uint16_t> expectedSamples(std::int32_t format, std::uint16_t bitsPerPixel, int width, int height) {
    const bool jpeg = format >= kImageFormatJpeg100 && format <= kImageFormatJpeg20;
    const bool wide = bitsPerPixel == 16 || bitsPerPixel == 48 || bitsPerPixel == 64;
    // 10-bit samples: JPEG keeps bits 2..9; PNG and TIFF widen gray by 4 and colour by 6 bits.
    const int shift = bitsPerPixel == 16 ? 4 : 6;
    const auto sample = [&](std::uint8_t v8, std::uint16_t v10) {
        return static_cast<std::uint16_t>(!wide ? v8 : jpeg ? v10 >> 2 : (v10 << shift) & 0xFFFF);
    };
    std::vector<std::uint16_t> out;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const PicturePixel p = picturePixel(x, y, width, height);
            if (bitsPerPixel <= 16) {
                out.push_back(sample(p.gray8(), p.gray10()));
                continue;
            }
            out.push_back(sample(p.red8, p.red10));
            out.push_back(sample(p.green8, p.green10));
            out.push_back(sample(p.blue8, p.blue10));
            if (samplesPerPixel(format, bitsPerPixel) == 4) {
                if (format == kImageFormatPng) out.push_back(bitsPerPixel == 32 ? 255 - p.fourth8 : 0xFFFF);
                else out.push_back(bitsPerPixel == 32 ? 0 : 0xFFFF); // TIFF: the fourth byte is not carried
            }
        }
    }
    return out;
}

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool fileExists(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::exists(path, ignored);
}

void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::uint64_t fnv1a64(const Bytes& bytes) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (std::uint8_t b : bytes) {
        hash ^= b;
        hash *= 0x100000001b3ull;
    }
    return hash;
}

TempFolder::TempFolder() : root_(temporaryPath("orvix-saving")) { std::filesystem::create_directories(root_); }

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

std::string TempFolder::path(const std::string& name) const { return (std::filesystem::path(root_) / name).string(); }

} // namespace orvix::test
