#pragma once
// The arithmetic of automatic exposure: the five metering rectangles of a raw frame,
// the correction factor from their mean levels, the timing rules, and the
// process-wide time of the last step. Applying a correction to the camera is the
// caller's.

#include <array>
#include <cstdint>

#include "imaging/kernel_types.h"

namespace orvix {
class Surface;
}

namespace orvix::autoexposure {

inline constexpr int kRegionCount = 5;
using Means = std::array<std::int32_t, kRegionCount>;

// The metering rectangles A..E of a width x height image, in blit coordinates.
std::array<KernelRect, kRegionCount> meteringRegions(std::int32_t width, std::int32_t height);

// The mean levels (0..255) of the five regions of an 8- or 16-bit raw frame.
Means meter(Surface& raw);

// The correction factor of five mean levels (0..255), in the order A..E.
double correctionFactor(const Means& means);

struct Decision {
    double factor = 1.0;
    bool change = false;
};

// The factor and whether to apply it, after the timing rules for frames `elapsedMs`
// apart.
Decision decide(double factor, std::uint32_t elapsedMs);

// Milliseconds since the previous step of any Camera in the process, and `now` kept
// as the time of this step. The first step in the process (or after a reset) sees 0.
std::uint32_t elapsedSinceLastStep(std::uint32_t now);
// Forgets the time of the last step (tests).
void resetClockForTesting();

} // namespace orvix::autoexposure
