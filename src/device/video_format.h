#pragma once
// The capture window on the sensor, as the capture format keeps and stores it, and
// the one rule that says which windows can be captured.

#include <cstdint>

namespace orvix {

inline constexpr std::int32_t kSensorWidth = 1360;
inline constexpr std::int32_t kSensorHeight = 1024;
// The smallest window the device link can copy out of a raw frame.
inline constexpr std::int32_t kMinWindowWidth = 4;
inline constexpr std::int32_t kMinWindowHeight = 3;

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

// The window lies on the sensor and is at least 4 x 3 pixels.
inline bool windowFitsSensor(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height) {
    if (x < 0 || y < 0 || width < kMinWindowWidth || height < kMinWindowHeight) return false;
    if (width > kSensorWidth || height > kSensorHeight || x > kSensorWidth || y > kSensorHeight) return false;
    // Each term is at most the sensor size here, so the sums cannot overflow.
    return x + width <= kSensorWidth && y + height <= kSensorHeight;
}

// A capture format that can be captured: its window fits the sensor, the sub-sample
// mode is 0, 1 or 2, and the sub-sampled image keeps at least one pixel in each
// direction. hTotal, vTotal and bufferCount are not checked.
inline bool isGeometryValid(const VideoFormat& format, std::int32_t subSample) {
    if (subSample < 0 || subSample > 2) return false;
    if (!windowFitsSensor(format.hStart, format.vStart, format.hEffective, format.vEffective)) return false;
    const std::int32_t divisor = 1 << subSample;
    return format.hEffective / divisor >= 1 && format.vEffective / divisor >= 1;
}

} // namespace orvix
