#pragma once
// The single-value filter steps: gamma, contrast, sharpen and brightness, each with
// four variants by layout: mono 8-bit, mono 10-bit in 16-bit words, colour 24/32-bit
// and colour 48/64-bit. Colour kernels treat the first three channels of a pixel
// alike and leave a fourth untouched. In a 10-bit layout a sample above 1023 is
// treated as 1023 by the table-driven steps (gamma, contrast, sharpen); brightness
// applies its factor to the sample as it is.

#include <cstdint>

#include "imaging/filter_tables.h"
#include "imaging/kernel_types.h"

namespace orvix {

// Parameter record of the single-value steps: the setting (filter.gamma,
// filter.contrast, filter.sharpness or filter.brightness) first, then an optional
// table cache of the camera (null: the kernel builds its table for this call only).
struct FilterStepParams {
    std::int32_t setting = 0;
    FilterTableCache* tables = nullptr;
};

// Gamma: each sample s -> T[s] of the gamma table (in place).
ORVIX_PIXEL_KERNEL(applyGamma8);
ORVIX_PIXEL_KERNEL(applyGamma16);
ORVIX_PIXEL_KERNEL(applyGamma24);
ORVIX_PIXEL_KERNEL(applyGamma48);

// Contrast: each sample s -> T[s] of the contrast table (in place).
ORVIX_PIXEL_KERNEL(applyContrast8);
ORVIX_PIXEL_KERNEL(applyContrast16);
ORVIX_PIXEL_KERNEL(applyContrast24);
ORVIX_PIXEL_KERNEL(applyContrast48);

// Sharpen: destination = the output image, source = an unchanged copy of it (the
// result reads source samples around every pixel, so the two must not be the same
// memory). For rows and columns 2..H - 3 / 2..W - 3, with blur the mean of the 4 x 4
// source samples in columns x - 2..x + 1 and rows y - 2..y + 1 (sum >> 4): result =
// s + D[s - blur + M], limited to 0..M. The outer two rows and columns keep their
// values.
ORVIX_PIXEL_KERNEL(sharpen8);
ORVIX_PIXEL_KERNEL(sharpen16);
ORVIX_PIXEL_KERNEL(sharpen24);
ORVIX_PIXEL_KERNEL(sharpen48);

// Brightness: each sample s -> truncation of s x factor, limited to 0..M (in place).
ORVIX_PIXEL_KERNEL(applyBrightness8);
ORVIX_PIXEL_KERNEL(applyBrightness16);
ORVIX_PIXEL_KERNEL(applyBrightness24);
ORVIX_PIXEL_KERNEL(applyBrightness48);

} // namespace orvix
