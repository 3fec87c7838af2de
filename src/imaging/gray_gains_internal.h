#pragma once
// Shared pieces of the gray-gain kernels.

#include <cstdint>

#include "imaging/gray_gains.h"

namespace orvix::detail {

// Gain and offset of the even ([0]) and odd ([1]) columns of one rectangle row.
struct GrayRowSites {
    std::int32_t gain[2] = {kUnityGrayGain, kUnityGrayGain};
    std::int32_t offset[2] = {0, 0};
};
GrayRowSites grayRowSites(const GrayGainParams& params, std::int32_t row);

// The reference rule for columns firstColumn..endColumn - 1 of one row (column
// parity picks the site).
void applyGrayGainsRow(std::uint8_t* out, const std::uint8_t* in, std::int32_t firstColumn, std::int32_t endColumn,
                       std::uint16_t dstBytesPerPixel, std::uint16_t srcBytesPerPixel, const GrayRowSites& sites);

// True when the vector forms may run: 1-byte pixels and every gain within
// 0..kVectorGrayGainMax.
bool vectorGrayGainsApply(std::uint16_t dstBytesPerPixel, std::uint16_t srcBytesPerPixel,
                          const GrayGainParams& params);

} // namespace orvix::detail
