#pragma once
// Vector form of one sharpen row, for builds whose baseline instruction set has
// SSE2 (every 64-bit x86 build). The correction (k x (s - blur)) / 10 is computed in
// 16-bit lanes, which equals the sharpen table entry D[s - blur + M] whenever
// |k| x M fits in 15 bits; other sharpness values use the table row by row.

#include <cstdint>

namespace orvix::detail {

// True when this build has the vector rows and they are exact for sharpness k.
bool sharpenRowsVectorised(std::int32_t sharpness, std::int32_t maxValue);

// One output row y: rows[0..3] are source rows y - 2..y + 1, `out` the destination
// row, both at the rectangle's first column. Pixels have `samplesPerPixel` samples
// (1, 3 or 4) of which the first `channels` (1 or 3) are sharpened; columns
// 2..width - 3 are written.
void sharpenRowVector8(const std::uint8_t* const rows[4], std::uint8_t* out, std::int32_t width,
                       int samplesPerPixel, int channels, std::int32_t sharpness);
void sharpenRowVector16(const std::uint8_t* const rows[4], std::uint8_t* out, std::int32_t width,
                        int samplesPerPixel, int channels, std::int32_t sharpness);

// A brightness step folded into the sharpen rows: a result v becomes
// min(M, v x whole + ((v x fraction) >> 16)), which is the truncation of v x factor
// for the factor whole + fraction / 65536. Inactive: the results stay as they are.
struct FoldedBrightness {
    bool active = false;
    std::uint16_t whole = 1;
    std::uint16_t fraction = 0;
};

// The folded form of a brightness map over 0..maxValue (map(v) for each v), when a
// fixed-point factor near `factor` gives every entry exactly; false otherwise.
template <typename Map>
bool foldBrightness(const Map& map, double factor, std::int32_t maxValue, FoldedBrightness& folded) {
    if (!(factor >= 0.0 && factor < 32.0)) return false;
    const auto whole = static_cast<std::int32_t>(factor);
    const auto base = static_cast<std::int32_t>((factor - whole) * 65536.0);
    for (std::int32_t fraction = base - 8; fraction <= base + 8; ++fraction) {
        if (fraction < 0 || fraction > 65535) continue;
        bool exact = true;
        for (std::int32_t v = 0; v <= maxValue && exact; ++v) {
            const std::int32_t value = v * whole + static_cast<std::int32_t>((std::int64_t{v} * fraction) >> 16);
            exact = (value < maxValue ? value : maxValue) == map(v);
        }
        if (exact) {
            folded = FoldedBrightness{true, static_cast<std::uint16_t>(whole), static_cast<std::uint16_t>(fraction)};
            return true;
        }
    }
    return false;
}

// One output row with AVX2 (the same results as the rows above), the brightness
// folded in when active. Present on x86 builds; call only where AVX2 is usable and
// |sharpness| x maxValue fits in 15 bits.
void sharpenRowAvx2(const std::uint8_t* const rows[4], std::uint8_t* out, std::int32_t width, int samplesPerPixel,
                    int channels, std::int32_t sharpness, int sampleBytes, const FoldedBrightness& brightness);

// The same rows for 16-bit samples with AVX-512 (32 lanes). With `samplesInRange` the
// caller promises that the sharpened channels of the four rows hold no sample above
// 1023, and their limiting to 1023 is left out. Call only where avx512VbmiUsable()
// (sample_map.h) and |sharpness| x 1023 fits in 15 bits.
void sharpenRowAvx512(const std::uint8_t* const rows[4], std::uint8_t* out, std::int32_t width, int samplesPerPixel,
                      int channels, std::int32_t sharpness, const FoldedBrightness& brightness, bool samplesInRange);

} // namespace orvix::detail
