#pragma once
// The capture window on the sensor, as the capture format keeps and stores it.

#include <cstdint>

namespace orvix {

inline constexpr std::int32_t kSensorWidth = 1360;
inline constexpr std::int32_t kSensorHeight = 1024;

// Capture window on the 1360 x 1024 sensor; persisted as a "Size_%02d" record.
struct VideoFormat {
    std::int32_t hTotal = kSensorWidth;
    std::int32_t vTotal = kSensorHeight;
    std::int32_t hEffective = kSensorWidth;  // image width in sensor pixels
    std::int32_t vEffective = kSensorHeight; // image height in lines
    std::int32_t hStart = 0;                 // first column
    std::int32_t vStart = 0;                 // first line
    std::int32_t bufferCount = 10;
};

} // namespace orvix
