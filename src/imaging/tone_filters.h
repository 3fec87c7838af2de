#pragma once
// The tone section of the filters on a finished output image, in place and in this
// order: hue and saturation (24-, 32-, 48- and 64-bit colour images), gamma,
// contrast, sharpen (reading an unsharpened copy in `work`), brightness. Each step
// runs only when its setting asks for it.

#include "imaging/filter_settings.h"
#include "imaging/filter_tables.h"
#include "imaging/kernel_types.h"

namespace orvix {

class Surface;

// The kernels of the steps for one output layout (all null for a layout without a
// tone section).
struct ToneKernels {
    PixelKernel gamma = nullptr;
    PixelKernel contrast = nullptr;
    PixelKernel sharpen = nullptr;
    PixelKernel brightness = nullptr;
    PixelKernel hueSaturation = nullptr; // colour images only
};
ToneKernels toneKernelsFor(int bitsPerPixel);

// Whether the sharpen step can run: `work` shaped like `output` (same width, height
// and depth).
bool sharpenWorkFits(const Surface& output, const Surface* work);

// The steps one after another, each over the whole image: the plain form of the
// section (the frame pipeline runs the same steps over bands of rows, with the same
// result; see filter_section.h). Sharpen needs `work` shaped like `output` and is
// skipped without it. Nothing here allocates.
void applyToneFilters(Surface& output, Surface* work, const FilterSettings& settings, FilterTableCache& tables);

} // namespace orvix
