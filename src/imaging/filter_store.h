#pragma once
// Stored filter values below the library's settings key:
//   "Filter": "Brightness", "Contrast", "Hue", "Saturation", "Sharpness", "R_Gain",
//             "G_Gain", "B_Gain", "Gamma", "BayerMode"
//   "Gray":   "GainR1", "GainG1", "GainG2", "GainB1", "OffsetR1", "OffsetG1",
//             "OffsetG2", "OffsetB1"
// The gray mode and the automatic-measurement flags are not stored.

#include "imaging/filter_settings.h"

namespace orvix {

// Reads the stored image-filter values. Without a "Filter" record: neutral values
// (0, gains and gamma 100, Bayer mode 3, automatic white balance off) and result 0.
// A value missing from the record leaves its setting as it was; result 1.
int loadFilterSettings(FilterSettings& filter);
// The same for the gray gains and offsets; without a "Gray" record gains 128 and
// offsets 0, result 0.
int loadGraySettings(FilterSettings& filter);

// Write every value of the record; 0 when the key could not be created.
int saveFilterSettings(const FilterSettings& filter);
int saveGraySettings(const FilterSettings& filter);

} // namespace orvix
