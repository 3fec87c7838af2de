#pragma once
// Applying an automatic-exposure correction to the camera: the global gain (auto
// iris 2) or the exposure (auto iris 1) scaled by the correction factor, within the
// camera's limits, sent at once.

#include <cstdint>

#include "device/gain_block.h"

namespace orvix {

class DeviceLink;

struct ExposureCorrection {
    std::int32_t autoIris = 0; // what was corrected: 2 the gain, 1 the exposure, 0 nothing
    std::int32_t value = 0;    // the value sent
};

// Gain: v = trunc(factor x the link's global gain), at least 4 when raising, within
// 0..1023. Exposure: v = trunc(factor x the link's exposure) as an unsigned 16-bit
// value, at least 4 when raising, else at least 1 (the link clamps what it sends to
// 8..1068). Any other auto-iris mode changes nothing.
ExposureCorrection applyExposureCorrection(DeviceLink& link, std::int32_t autoIris, double factor);

// The gain block after a correction: a gain correction sets the global and all four
// colour gains, an exposure correction the exposure.
void storeExposureCorrection(GainBlock& gains, const ExposureCorrection& correction);

} // namespace orvix
