#pragma once
// The analog settings of one camera: gains, exposure, mirror and auto iris.

#include <cstdint>

namespace orvix {

// Analog settings of the selected camera, persisted per device as "Gain_%02d".
struct GainBlock {
    std::int32_t globalGain = 0;
    std::int32_t colorGainGreen1 = 0;
    std::int32_t colorGainRed = 0;
    std::int32_t colorGainBlue = 0;
    std::int32_t colorGainGreen2 = 0;
    std::int32_t exposure = 0;
    std::int32_t mirrorV = 0;
    std::int32_t autoIris = 0; // 0 off, 1 iris by exposure, 2 iris by gain
};

} // namespace orvix
