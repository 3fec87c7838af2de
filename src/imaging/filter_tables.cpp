// Building and caching the filter lookup tables.

#include "imaging/filter_tables.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace orvix {
namespace {

double gammaExponent(std::int32_t gamma) {
    double exponent;
    if (gamma > 100) {
        exponent = static_cast<double>(gamma - 100) * 0.1 + 1.0;
    } else {
        exponent = static_cast<double>(gamma) * 0.01;
    }
    if (exponent <= 0.001) {
        exponent = 0.001;
    } else if (exponent >= 99.999) {
        exponent = 99.999;
    }
    return exponent;
}

std::int32_t clampToInt32(std::int64_t value) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

} // namespace

void buildGammaTable(std::int32_t gamma, SampleDepth depth, LookupTable& table) {
    const std::int32_t maxValue = maxSample(depth);
    // Decimal logarithms of 0..M, each computed once.
    std::array<double, 1025> logOf{};
    for (std::int32_t k = 1; k <= maxValue; ++k) {
        logOf[static_cast<std::size_t>(k)] = std::log10(static_cast<double>(k));
    }
    const double exponent = gammaExponent(gamma);
    const double logMax = logOf[static_cast<std::size_t>(maxValue)];

    table.values[0] = 0;
    for (std::int32_t i = 1; i <= maxValue; ++i) {
        const double difference = logOf[static_cast<std::size_t>(i)] - logMax;
        const double scaled = exponent * difference;
        const double m = logMax + scaled;
        std::int32_t value;
        if (m < 0) {
            value = 1;
        } else {
            // log10(o + 1) grows with o, so the o with m <= log10(o + 1) form a tail
            // of 2..M - 1; its first member is the only candidate, because
            // log10(o - 1) <= m only gets harder for larger o.
            std::int32_t low = 2;
            std::int32_t high = maxValue; // one past the last candidate (M - 1)
            while (low < high) {
                const std::int32_t mid = low + (high - low) / 2;
                if (logOf[static_cast<std::size_t>(mid + 1)] >= m) {
                    high = mid;
                } else {
                    low = mid + 1;
                }
            }
            const bool found = low <= maxValue - 1 && logOf[static_cast<std::size_t>(low - 1)] <= m;
            value = found ? low : maxValue;
        }
        table.values[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(value);
    }
}

void buildContrastTable(std::int32_t contrast, SampleDepth depth, LookupTable& table) {
    const std::int32_t maxValue = maxSample(depth);
    const std::int64_t size = maxValue + 1;
    const bool tenBit = depth == SampleDepth::Bits10;
    const std::int64_t c = tenBit ? 4 * static_cast<std::int64_t>(contrast) : contrast;
    const std::int64_t half = tenBit ? 512 : 128;
    if ((!tenBit && c > 127) || (tenBit && c >= 509)) {
        std::fill(table.values.begin(), table.values.end(), std::uint16_t{0});
        return;
    }
    const double factor = static_cast<double>(size) / (2.0 * static_cast<double>(half - c));
    for (std::int64_t i = 0; i <= maxValue; ++i) {
        std::int64_t value;
        if (i < c) {
            value = 0;
        } else if (i > maxValue - c) {
            value = maxValue;
        } else {
            value = static_cast<std::int64_t>(factor * static_cast<double>(i - c));
        }
        table.values[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(std::clamp<std::int64_t>(value, 0, maxValue));
    }
}

void buildSharpenTable(std::int32_t sharpness, SampleDepth depth, SharpenTable& table) {
    const std::int32_t maxValue = maxSample(depth);
    const std::int32_t entries = 2 * (maxValue + 1);
    for (std::int32_t x = 0; x < entries; ++x) {
        table.values[static_cast<std::size_t>(x)] =
            clampToInt32(static_cast<std::int64_t>(sharpness) * (x - maxValue) / 10);
    }
}

double brightnessFactor(std::int32_t brightness) {
    if (brightness > 0) {
        return 1.0 + static_cast<double>(brightness) * 0.0392156862745098;
    }
    if (brightness < 0) {
        return 1.0 - std::fabs(static_cast<double>(brightness)) * 0.00392156862745098;
    }
    return 1.0;
}

void buildBrightnessTable(std::int32_t brightness, SampleDepth depth, LookupTable& table) {
    const std::int32_t maxValue = maxSample(depth);
    const double factor = brightnessFactor(brightness);
    for (std::int32_t s = 0; s <= maxValue; ++s) {
        const double scaled = static_cast<double>(s) * factor;
        const double limited = std::clamp(scaled, 0.0, static_cast<double>(maxValue));
        table.values[static_cast<std::size_t>(s)] = static_cast<std::uint16_t>(limited);
    }
}

template <typename Table, typename Builder>
FilterTableCache::Lease<Table> FilterTableCache::lease(Slot<Table>& slot, std::int32_t setting, SampleDepth depth,
                                                       Builder build) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!slot.valid || slot.setting != setting || slot.depth != depth) {
        build(setting, depth, slot.table);
        slot.valid = true;
        slot.setting = setting;
        slot.depth = depth;
        ++buildCount_;
    }
    return Lease<Table>(std::move(lock), slot.table);
}

FilterTableCache::Lease<LookupTable> FilterTableCache::gamma(std::int32_t setting, SampleDepth depth) {
    return lease(gamma_, setting, depth, buildGammaTable);
}

FilterTableCache::Lease<LookupTable> FilterTableCache::contrast(std::int32_t setting, SampleDepth depth) {
    return lease(contrast_, setting, depth, buildContrastTable);
}

FilterTableCache::Lease<SharpenTable> FilterTableCache::sharpen(std::int32_t setting, SampleDepth depth) {
    return lease(sharpen_, setting, depth, buildSharpenTable);
}

std::int32_t FilterTableCache::buildCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return buildCount_;
}

} // namespace orvix
