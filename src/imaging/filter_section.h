#pragma once
// The filter section of one frame over bands of rows, so that each band stays in the
// processor's caches from the demosaic to the last step:
//   demosaic (when given) -> hue and saturation -> the map of the per-sample steps
//   before sharpen -> sharpen -> the map of those after it
// where consecutive per-sample steps (gamma, contrast, and brightness when sharpen is
// off) are one combined table (sample_map.h). The bytes are those of the demosaic
// kernel over the whole frame followed by applyToneFilters (tone_filters.h): every
// step computes each pixel from the same inputs as there, including the rows and
// columns a step leaves alone (which keep what the frame held before).
//
// Sharpen reads unsharpened rows: they are kept in the work Surface's memory, a few
// rows at a time (its contents are scratch afterwards). Nothing here allocates.

#include <cstdint>

#include "imaging/demosaic_internal.h"
#include "imaging/filter_settings.h"
#include "imaging/filter_tables.h"
#include "imaging/kernel_types.h"

namespace orvix {

class Surface;

// The demosaic a section starts with: a demosaic kernel and its call (clipped as a
// blit clips it), whose destination is the section's output Surface.
struct BandDemosaic {
    PixelKernel kernel = nullptr;
    detail::DemosaicCall call;
};

struct SectionOptions {
    bool vectors = true;       // the AVX2 forms of the sample maps, where the processor has them
    bool wideVectors = true;   // with `vectors`, the AVX-512 forms where they are built and run
    std::int32_t bandRows = 0; // rows per band; 0 chooses about 64 KiB of output rows
};

void applyFilterBands(Surface& output, Surface* work, const FilterSettings& settings, FilterTableCache& tables,
                      const BandDemosaic* demosaic, const SectionOptions& options);

} // namespace orvix
