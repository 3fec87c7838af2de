#pragma once
// Plain records the Camera keeps: the capture geometry and the analog gain block.

#include <cstdint>

namespace orvix {

// Capture window on the 1360 x 1024 sensor; persisted as a "Size_%02d" record.
struct VideoFormat {
    std::int32_t hTotal = 1360;
    std::int32_t vTotal = 1024;
    std::int32_t hEffective = 1360; // image width in sensor pixels
    std::int32_t vEffective = 1024; // image height in lines
    std::int32_t hStart = 0;        // first column
    std::int32_t vStart = 0;        // first line
    std::int32_t bufferCount = 10;
};

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

inline constexpr std::int32_t kSensorWidth = 1360;
inline constexpr std::int32_t kSensorHeight = 1024;

} // namespace orvix
