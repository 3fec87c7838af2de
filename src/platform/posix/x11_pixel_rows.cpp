#include "platform/posix/x11_pixel_rows.h"

#include <cstring>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define ORVIX_X86_ROWS 1
#else
#define ORVIX_X86_ROWS 0
#endif

namespace orvix::platform::x11 {

int hostByteOrder() {
    const std::uint32_t probe = 1;
    std::uint8_t first = 0;
    std::memcpy(&first, &probe, 1);
    return first == 1 ? LSBFirst : MSBFirst;
}

namespace {

std::uint8_t* rowOf(XImage& image, int y) {
    return reinterpret_cast<std::uint8_t*>(image.data) +
           static_cast<std::size_t>(y) * static_cast<std::size_t>(image.bytes_per_line);
}

void storePixel(std::uint8_t* at, std::uint32_t pixel) { std::memcpy(at, &pixel, 4); }

} // namespace

void bgrToBgrxPlain(const std::uint8_t* source, std::uint8_t* destination, int count) {
    for (int i = 0; i < count; ++i, source += 3, destination += 4) {
        destination[0] = source[0];
        destination[1] = source[1];
        destination[2] = source[2];
        destination[3] = 0;
    }
}

void grayToBgrxPlain(const std::uint8_t* source, std::uint8_t* destination, int count) {
    for (int i = 0; i < count; ++i, destination += 4) {
        const std::uint8_t v = source[i];
        destination[0] = v;
        destination[1] = v;
        destination[2] = v;
        destination[3] = 0;
    }
}

#if ORVIX_X86_ROWS

bool ssse3Usable() {
    static const bool usable = __builtin_cpu_supports("ssse3");
    return usable;
}

bool sse2Usable() {
    static const bool usable = __builtin_cpu_supports("sse2");
    return usable;
}

// 16 pixels per step: 48 source bytes in three loads, each group of four pixels
// moved into place and spread to 4 bytes by one shuffle that also zeroes the fourth.
__attribute__((target("ssse3"))) void bgrToBgrxSsse3(const std::uint8_t* source, std::uint8_t* destination,
                                                      int count) {
    const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    int i = 0;
    for (; i + 16 <= count; i += 16, source += 48, destination += 64) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 32));
        auto* out = reinterpret_cast<__m128i*>(destination);
        _mm_storeu_si128(out, _mm_shuffle_epi8(a, spread));
        _mm_storeu_si128(out + 1, _mm_shuffle_epi8(_mm_alignr_epi8(b, a, 12), spread));
        _mm_storeu_si128(out + 2, _mm_shuffle_epi8(_mm_alignr_epi8(c, b, 8), spread));
        _mm_storeu_si128(out + 3, _mm_shuffle_epi8(_mm_srli_si128(c, 4), spread));
    }
    bgrToBgrxPlain(source, destination, count - i);
}

// 16 pixels per step: each level doubled into (v, v) and paired with (v, 0).
__attribute__((target("sse2"))) void grayToBgrxSse2(const std::uint8_t* source, std::uint8_t* destination,
                                                     int count) {
    const __m128i zero = _mm_setzero_si128();
    int i = 0;
    for (; i + 16 <= count; i += 16, destination += 64) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
        const __m128i pairsLow = _mm_unpacklo_epi8(v, v);
        const __m128i pairsHigh = _mm_unpackhi_epi8(v, v);
        const __m128i padLow = _mm_unpacklo_epi8(v, zero);
        const __m128i padHigh = _mm_unpackhi_epi8(v, zero);
        auto* out = reinterpret_cast<__m128i*>(destination);
        _mm_storeu_si128(out, _mm_unpacklo_epi16(pairsLow, padLow));
        _mm_storeu_si128(out + 1, _mm_unpackhi_epi16(pairsLow, padLow));
        _mm_storeu_si128(out + 2, _mm_unpacklo_epi16(pairsHigh, padHigh));
        _mm_storeu_si128(out + 3, _mm_unpackhi_epi16(pairsHigh, padHigh));
    }
    grayToBgrxPlain(source + i, destination, count - i);
}

#else

bool ssse3Usable() { return false; }
bool sse2Usable() { return false; }
void bgrToBgrxSsse3(const std::uint8_t* source, std::uint8_t* destination, int count) {
    bgrToBgrxPlain(source, destination, count);
}
void grayToBgrxSse2(const std::uint8_t* source, std::uint8_t* destination, int count) {
    grayToBgrxPlain(source, destination, count);
}

#endif

void bgrToBgrx(const std::uint8_t* source, std::uint8_t* destination, int count) {
    if (ssse3Usable())
        bgrToBgrxSsse3(source, destination, count);
    else
        bgrToBgrxPlain(source, destination, count);
}

void grayToBgrx(const std::uint8_t* source, std::uint8_t* destination, int count) {
    if (sse2Usable())
        grayToBgrxSse2(source, destination, count);
    else
        grayToBgrxPlain(source, destination, count);
}

// ---- PixelRows ----------------------------------------------------------------------

bool PixelRows::loadChannel(unsigned long mask, Channel& channel, unsigned long& canonicalMask) {
    if (mask == 0 || mask > 0xFFFFFFFFul) return false;
    unsigned shift = 0;
    while (((mask >> shift) & 1u) == 0) ++shift;
    const unsigned long maximum = mask >> shift;
    if ((maximum & (maximum + 1)) != 0) return false; // not one contiguous run of bits
    for (unsigned v = 0; v < 256; ++v) {
        channel[v] = static_cast<std::uint32_t>(((v * maximum + 127) / 255) << shift);
    }
    canonicalMask = mask;
    return true;
}

bool PixelRows::load(const Visual* visual) {
    if (!visual || visual->c_class != TrueColor) return false;
    unsigned long r = 0, g = 0, b = 0;
    if (!loadChannel(visual->red_mask, red_, r) || !loadChannel(visual->green_mask, green_, g) ||
        !loadChannel(visual->blue_mask, blue_, b))
        return false;
    canonicalMasks_ = r == 0xFF0000ul && g == 0xFF00ul && b == 0xFFul;
    return true;
}

void PixelRows::setColors(const ColorTable& colors) {
    grayPalette_ = true;
    for (int i = 0; i < kColorTableEntries; ++i) {
        const ColorEntry& e = colors[static_cast<std::size_t>(i)];
        palette_[i] = pixel(e.red, e.green, e.blue);
        grayPalette_ = grayPalette_ && e.red == i && e.green == i && e.blue == i;
    }
}

bool PixelRows::isBgrx(const XImage& image) const {
    return canonicalMasks_ && image.bits_per_pixel == 32 && image.byte_order == hostByteOrder();
}

void PixelRows::row8(XImage& image, int y, const std::uint8_t* source, int count) const {
    std::uint8_t* row = rowOf(image, y);
    if (isBgrx(image) && grayPalette_) {
        grayToBgrx(source, row, count);
    } else if (image.bits_per_pixel == 32 && image.byte_order == hostByteOrder()) {
        for (int x = 0; x < count; ++x) storePixel(row + 4 * x, palette_[source[x]]);
    } else {
        for (int x = 0; x < count; ++x) XPutPixel(&image, x, y, palette_[source[x]]);
    }
}

void PixelRows::row24(XImage& image, int y, const std::uint8_t* source, int count) const {
    std::uint8_t* row = rowOf(image, y);
    if (isBgrx(image)) {
        bgrToBgrx(source, row, count);
    } else if (image.bits_per_pixel == 32 && image.byte_order == hostByteOrder()) {
        for (int x = 0; x < count; ++x, source += 3) storePixel(row + 4 * x, pixel(source[2], source[1], source[0]));
    } else {
        for (int x = 0; x < count; ++x, source += 3) XPutPixel(&image, x, y, pixel(source[2], source[1], source[0]));
    }
}

} // namespace orvix::platform::x11
