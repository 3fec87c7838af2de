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

} // namespace orvix::detail
