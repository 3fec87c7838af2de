#include "capture/bmp_file.h"

#include <array>
#include <vector>

#include "capture/output_file.h"
#include "imaging/surface.h"

namespace orvix {

namespace {

constexpr std::uint16_t kBmpSignature = 0x4D42; // "BM"

class LittleEndianWriter {
public:
    explicit LittleEndianWriter(std::uint8_t* out) : out_(out) {}
    void u16(std::uint16_t v) {
        *out_++ = static_cast<std::uint8_t>(v);
        *out_++ = static_cast<std::uint8_t>(v >> 8);
    }
    void u32(std::uint32_t v) {
        u16(static_cast<std::uint16_t>(v));
        u16(static_cast<std::uint16_t>(v >> 16));
    }
    void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }

private:
    std::uint8_t* out_;
};

using Headers = std::array<std::uint8_t, kBmpFileHeaderSize + 40>;

Headers encodeHeaders(const platform::BitmapInfoHeader& h, std::uint32_t fileSize) {
    Headers bytes{};
    LittleEndianWriter w(bytes.data());
    w.u16(kBmpSignature);
    w.u32(fileSize);
    w.u16(0);
    w.u16(0);
    w.u32(bmpPixelOffset(h));
    w.u32(h.size);
    w.i32(h.width);
    w.i32(h.height);
    w.u16(h.planes);
    w.u16(h.bitCount);
    w.u32(h.compression);
    w.u32(h.sizeImage);
    w.i32(h.xPelsPerMeter);
    w.i32(h.yPelsPerMeter);
    w.u32(h.colorsUsed);
    w.u32(h.colorsImportant);
    return bytes;
}

std::array<std::uint8_t, 4 * platform::kColorTableEntries> encodeColors(const platform::ColorTable& colors) {
    std::array<std::uint8_t, 4 * platform::kColorTableEntries> bytes{};
    std::size_t i = 0;
    for (const platform::ColorEntry& c : colors) {
        bytes[i++] = c.blue;
        bytes[i++] = c.green;
        bytes[i++] = c.red;
        bytes[i++] = c.reserved;
    }
    return bytes;
}

} // namespace

std::uint32_t bmpPixelOffset(const platform::BitmapInfoHeader& header) {
    const std::uint32_t headers = kBmpFileHeaderSize + 40;
    return header.bitCount <= 8 ? headers + 4 * platform::kColorTableEntries : headers;
}

bool writeBmpFile(const char* path, const BmpImage& image) {
    if (!image.header || !image.rows || image.header->height < 0) return false;
    const platform::BitmapInfoHeader& header = *image.header;
    const bool withTable = header.bitCount <= 8;
    if (withTable && !image.colors) return false;

    const std::uint64_t pixelBytes = std::uint64_t{image.stride} * static_cast<std::uint32_t>(header.height);
    const std::uint64_t fileSize = bmpPixelOffset(header) + pixelBytes;
    if (fileSize > 0xFFFFFFFFu) return false;

    const Headers headers = encodeHeaders(header, static_cast<std::uint32_t>(fileSize));
    std::array<std::uint8_t, 4 * platform::kColorTableEntries> table{};
    if (withTable) table = encodeColors(*image.colors);

    std::vector<platform::FilePart> parts;
    parts.reserve(static_cast<std::size_t>(header.height) + 2);
    parts.push_back({headers.data(), headers.size()});
    if (withTable) parts.push_back({table.data(), table.size()});
    if (!image.topRowFirst) {
        parts.push_back({image.rows, static_cast<std::size_t>(pixelBytes)});
    } else {
        for (std::int32_t y = header.height - 1; y >= 0; --y)
            parts.push_back({image.rows + static_cast<std::size_t>(y) * image.stride, image.stride});
    }
    OutputFile file;
    return file.open(path) && file.writeParts(parts.data(), parts.size()) && file.finish();
}

bool saveBmp(const Surface& surface, const char* path) {
    if (surface.isEmpty()) return false;
    const platform::ColorTable colors = surface.colorTable();
    BmpImage image;
    image.header = &surface.header();
    image.colors = &colors;
    image.rows = surface.bits();
    image.stride = surface.stride();
    return writeBmpFile(path, image);
}

} // namespace orvix
