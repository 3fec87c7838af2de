// Bitmaps on Windows: a DIB section selected into a memory device context, or zeroed
// heap memory with a colour table of its own when the system refuses the section.

#include "platform/bitmap.h"

#include <windows.h>

#include <cstring>

#include "platform/heap_pixels.h"

namespace orvix::platform {

struct Bitmap::Impl {
    HDC memoryDc = nullptr;
    HBITMAP section = nullptr;
    HGDIOBJ previousObject = nullptr;
    std::uint8_t* sectionBits = nullptr;
    detail::HeapPixels heap; // used only when there is no section
    bool eightBit = false;

    ~Impl() {
        if (section) {
            if (memoryDc && previousObject) SelectObject(memoryDc, previousObject);
            DeleteObject(section);
        }
        if (memoryDc) DeleteDC(memoryDc);
    }

    std::uint8_t* bits() const { return section ? sectionBits : heap.bits(); }
};

namespace {

// BITMAPINFO with room for a full 256-entry colour table.
struct BitmapInfoWithTable {
    BITMAPINFOHEADER header;
    RGBQUAD colors[kColorTableEntries];
};

static_assert(sizeof(BITMAPINFOHEADER) == sizeof(BitmapInfoHeader), "header layouts must agree");

HBITMAP createSection(const BitmapInfoHeader& header, const ColorTable& colors, void** bits) {
    if (bitmapFaultForTesting(kRefuseSection)) return nullptr;
    BitmapInfoWithTable info{};
    std::memcpy(&info.header, &header, sizeof(header));
    static_assert(sizeof(info.colors) == sizeof(colors), "table layouts must agree");
    std::memcpy(info.colors, colors.data(), sizeof(info.colors));
    return CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, bits,
                            nullptr, 0);
}

HDC createMemoryDc() {
    if (bitmapFaultForTesting(kFailMemoryDc)) return nullptr;
    return CreateCompatibleDC(nullptr);
}

HGDIOBJ selectSection(HDC dc, HBITMAP section) {
    if (bitmapFaultForTesting(kFailSelect)) return nullptr;
    return SelectObject(dc, section);
}

} // namespace

std::unique_ptr<Bitmap> Bitmap::create(const BitmapInfoHeader& header, std::size_t byteCount,
                                       const ColorTable& colors) {
    auto impl = std::make_unique<Impl>();
    impl->eightBit = header.bitCount == 8;

    void* sectionBits = nullptr;
    impl->section = createSection(header, colors, &sectionBits);
    if (!impl->section || !sectionBits) {
        // Refused (or unusable) section: heap memory, table held here.
        if (impl->section) DeleteObject(impl->section);
        impl->section = nullptr;
        if (!impl->heap.allocate(byteCount)) return nullptr;
        impl->heap.table = colors;
        return std::unique_ptr<Bitmap>(new Bitmap(std::move(impl)));
    }
    impl->sectionBits = static_cast<std::uint8_t*>(sectionBits);

    impl->memoryDc = createMemoryDc();
    if (!impl->memoryDc) return nullptr;
    impl->previousObject = selectSection(impl->memoryDc, impl->section);
    if (!impl->previousObject) return nullptr;

    // The table passed at creation is loaded again explicitly, so the result never
    // depends on how the system treats the initial table.
    if (impl->eightBit) {
        SetDIBColorTable(impl->memoryDc, 0, kColorTableEntries, reinterpret_cast<const RGBQUAD*>(colors.data()));
    }
    return std::unique_ptr<Bitmap>(new Bitmap(std::move(impl)));
}

Bitmap::Bitmap(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Bitmap::~Bitmap() = default;

std::uint8_t* Bitmap::bits() const { return impl_->bits(); }
std::uintptr_t Bitmap::memoryDc() const { return reinterpret_cast<std::uintptr_t>(impl_->memoryDc); }

void Bitmap::setColors(int start, int count, const ColorEntry* entries) {
    if (!impl_->eightBit || !entries || count <= 0) return;
    if (!impl_->memoryDc) {
        detail::storeColors(impl_->heap.table, start, count, entries);
        return;
    }
    // Same clipping to 0..255 as the heap table.
    ColorTable table = colors();
    detail::storeColors(table, start, count, entries);
    SetDIBColorTable(impl_->memoryDc, 0, kColorTableEntries, reinterpret_cast<const RGBQUAD*>(table.data()));
}

ColorTable Bitmap::colors() const {
    ColorTable table{};
    if (!impl_->eightBit) return table;
    if (!impl_->memoryDc) return impl_->heap.table;
    GetDIBColorTable(impl_->memoryDc, 0, kColorTableEntries, reinterpret_cast<RGBQUAD*>(table.data()));
    return table;
}

} // namespace orvix::platform
