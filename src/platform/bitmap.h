#pragma once
// Pixel memory for device-independent bitmaps.
//
// Windows: a DIB section selected into a memory device context, so GDI can paint
// straight from it; when the system refuses the section (it does for bit depths GDI
// does not know, such as 48 and 64 bits), zeroed heap memory without a device
// context. Linux: always zeroed heap memory. In both heap cases the 8-bit colour
// table is held by the bitmap object itself, so every 8-bit image has a table.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace orvix::platform {

// The 40-byte bitmap information header, with exactly the layout of the Windows
// structure, so it can be handed to GDI and written into BMP files unchanged.
struct BitmapInfoHeader {
    std::uint32_t size = 40;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint16_t planes = 0;
    std::uint16_t bitCount = 0;
    std::uint32_t compression = 0;
    std::uint32_t sizeImage = 0;
    std::int32_t xPelsPerMeter = 0;
    std::int32_t yPelsPerMeter = 0;
    std::uint32_t colorsUsed = 0;
    std::uint32_t colorsImportant = 0;
};
static_assert(sizeof(BitmapInfoHeader) == 40, "the header must keep the 40-byte layout");

// One colour-table entry, laid out as the Windows RGBQUAD: blue, green, red, reserved.
struct ColorEntry {
    std::uint8_t blue = 0;
    std::uint8_t green = 0;
    std::uint8_t red = 0;
    std::uint8_t reserved = 0;
};
static_assert(sizeof(ColorEntry) == 4, "colour entries are 4 bytes");

inline constexpr int kColorTableEntries = 256;
using ColorTable = std::array<ColorEntry, kColorTableEntries>;

// Entry i = (i, i, i, 0).
ColorTable grayRamp();

class Bitmap {
public:
    // Backs `header` with `byteCount` bytes of pixel memory. For an 8-bit header the
    // 256 entries of `colors` become the colour table. Returns null when no memory
    // could be obtained or the device context could not be made.
    static std::unique_ptr<Bitmap> create(const BitmapInfoHeader& header, std::size_t byteCount,
                                          const ColorTable& colors);
    ~Bitmap();
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;

    std::uint8_t* bits() const;
    // The memory device context holding the DIB section (an HDC on Windows), 0 when
    // the pixels live on the heap.
    std::uintptr_t memoryDc() const;
    bool isDeviceBitmap() const { return memoryDc() != 0; }

    // Colour table of an 8-bit bitmap; entries outside 0..255 are ignored. Other
    // depths have no table: setting does nothing, reading gives zero entries.
    void setColors(int start, int count, const ColorEntry* entries);
    ColorTable colors() const;

    struct Impl;

private:
    explicit Bitmap(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// Faults that tests can force on every following Bitmap::create, as a set of bits
// (0 restores normal operation). kRefuseSection makes the system refuse the DIB
// section, so the heap fallback runs; kFailMemoryDc and kFailSelect fail the
// device-context steps; kFailHeap makes the heap allocation fail. On Linux only
// kFailHeap has an effect.
enum BitmapFault : unsigned {
    kRefuseSection = 1u << 0,
    kFailMemoryDc = 1u << 1,
    kFailSelect = 1u << 2,
    kFailHeap = 1u << 3,
};
void setBitmapFaultsForTesting(unsigned faults);
bool bitmapFaultForTesting(BitmapFault fault);

} // namespace orvix::platform
