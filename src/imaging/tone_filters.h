#pragma once
// The tone section of the filters on a finished output image, in place and in this
// order: hue and saturation (24-, 32-, 48- and 64-bit colour images), gamma,
// contrast, sharpen (reading an unsharpened copy in `work`), brightness. Each step
// runs only when its setting asks for it.

#include "imaging/filter_settings.h"
#include "imaging/filter_tables.h"

namespace orvix {

class Surface;

// Sharpen needs `work` shaped like `output` (same width, height and depth) and is
// skipped without it. Nothing here allocates.
void applyToneFilters(Surface& output, Surface* work, const FilterSettings& settings, FilterTableCache& tables);

} // namespace orvix
