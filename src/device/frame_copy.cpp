#include "device/frame_copy.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <emmintrin.h>
#define ORVIX_HAVE_SSE2_KERNELS 1
#endif

namespace orvix {

namespace {

// Source index of the n-th kept column (or line) when keeping two of every `step`.
inline int keptIndex(int n, int step) { return (n >> 1) * step + (n & 1); }

inline int keepStep(int subSample) { return 2 << subSample; } // 4, 8, 16 for 1/2, 1/4, 1/8

#if ORVIX_HAVE_SSE2_KERNELS
// Frames arrive in memory the cache has not seen; reading ahead by about a line and a
// half keeps the memory busy while the samples are converted.
constexpr std::uintptr_t kPrefetchDistance = 4096;

__attribute__((target("sse2"))) inline __m128i unpackEightSamples(__m128i words) {
    const __m128i lowMask = _mm_set1_epi16(0x00FF);
    const __m128i fractionMask = _mm_set1_epi16(0x0003);
    return _mm_or_si128(_mm_slli_epi16(_mm_and_si128(words, lowMask), 2),
                        _mm_and_si128(_mm_srli_epi16(words, 8), fractionMask));
}

__attribute__((target("sse2"))) void unpackTenBitRowSse2Kernel(const std::uint8_t* src, std::uint8_t* dst,
                                                                 int count) {
    int i = 0;
    for (; i + 32 <= count; i += 32) { // one cache line of samples per pass
        // Integer arithmetic: the address may lie past the frame, which a prefetch allows.
        _mm_prefetch(reinterpret_cast<const char*>(reinterpret_cast<std::uintptr_t>(src + 2 * i) + kPrefetchDistance),
                     _MM_HINT_T0);
        const auto* in = reinterpret_cast<const __m128i*>(src + 2 * i);
        auto* out = reinterpret_cast<__m128i*>(dst + 2 * i);
        const __m128i a = _mm_loadu_si128(in);
        const __m128i b = _mm_loadu_si128(in + 1);
        const __m128i c = _mm_loadu_si128(in + 2);
        const __m128i d = _mm_loadu_si128(in + 3);
        _mm_storeu_si128(out, unpackEightSamples(a));
        _mm_storeu_si128(out + 1, unpackEightSamples(b));
        _mm_storeu_si128(out + 2, unpackEightSamples(c));
        _mm_storeu_si128(out + 3, unpackEightSamples(d));
    }
    for (; i + 8 <= count; i += 8) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 2 * i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 2 * i), unpackEightSamples(a));
    }
    unpackTenBitRow(src + 2 * i, dst + 2 * i, count - i);
}
#endif

} // namespace

std::size_t windowCopyBytes(const WindowCopy& window, bool tenBit) {
    const int width = window.outputWidth();
    const int height = window.outputHeight();
    if (width <= 0 || height <= 0) return 0;
    return std::size_t(width) * std::size_t(height) * (tenBit ? 2u : 1u);
}

void unpackTenBitRow(const std::uint8_t* src, std::uint8_t* dst, int count) {
    for (int i = 0; i < count; ++i) {
        const unsigned value = (unsigned{src[2 * i]} << 2) | (src[2 * i + 1] & 3u);
        dst[2 * i] = static_cast<std::uint8_t>(value & 0xFF);
        dst[2 * i + 1] = static_cast<std::uint8_t>(value >> 8);
    }
}

UnpackTenBitRow unpackTenBitRowSse2() {
#if ORVIX_HAVE_SSE2_KERNELS
    if (__builtin_cpu_supports("sse2")) return &unpackTenBitRowSse2Kernel;
#endif
    return nullptr;
}

UnpackTenBitRow selectedUnpackTenBitRow() {
    static const UnpackTenBitRow chosen = [] {
        const UnpackTenBitRow sse2 = unpackTenBitRowSse2();
        return sse2 ? sse2 : &unpackTenBitRow;
    }();
    return chosen;
}

void copyWindow8(const std::uint8_t* frame, const WindowCopy& window, std::uint8_t* dst) {
    const int width = window.outputWidth();
    const int height = window.outputHeight();
    if (width <= 0 || height <= 0) return;
    const std::size_t lineLength = std::size_t(window.lineLength);
    const std::uint8_t* origin = frame + std::size_t(window.originLine) * lineLength + std::size_t(window.originSample);
    if (window.subSample == 0) {
        for (int line = 0; line < height; ++line)
            std::memcpy(dst + std::size_t(line) * std::size_t(width), origin + std::size_t(line) * lineLength,
                        std::size_t(width));
        return;
    }
    const int step = keepStep(window.subSample);
    for (int line = 0; line < height; ++line) {
        const std::uint8_t* src = origin + std::size_t(keptIndex(line, step)) * lineLength;
        std::uint8_t* out = dst + std::size_t(line) * std::size_t(width);
        for (int column = 0; column < width; ++column) out[column] = src[keptIndex(column, step)];
    }
}

void copyWindow10(const std::uint8_t* frame, const WindowCopy& window, std::uint8_t* dst) {
    const int width = window.outputWidth();
    const int height = window.outputHeight();
    if (width <= 0 || height <= 0) return;
    const std::size_t lineBytes = std::size_t(window.lineLength) * 2;
    const std::uint8_t* origin = frame + std::size_t(window.originLine) * lineBytes + std::size_t(window.originSample) * 2;
    const std::size_t outLineBytes = std::size_t(width) * 2;
    if (window.subSample == 0) {
        const UnpackTenBitRow unpack = selectedUnpackTenBitRow();
        for (int line = 0; line < height; ++line)
            unpack(origin + std::size_t(line) * lineBytes, dst + std::size_t(line) * outLineBytes, width);
        return;
    }
    const int step = keepStep(window.subSample);
    for (int line = 0; line < height; ++line) {
        const std::uint8_t* src = origin + std::size_t(keptIndex(line, step)) * lineBytes;
        std::uint8_t* out = dst + std::size_t(line) * outLineBytes;
        // Each kept pair of columns is adjacent in the source: unpack it as a run of two.
        for (int column = 0; column < width; column += 2) {
            const int count = column + 1 < width ? 2 : 1;
            unpackTenBitRow(src + std::size_t(keptIndex(column, step)) * 2, out + std::size_t(column) * 2, count);
        }
    }
}

} // namespace orvix
