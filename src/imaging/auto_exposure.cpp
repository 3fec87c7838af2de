// Automatic exposure metering: five small regions of the raw frame (near the four
// corners and at the centre) give mean levels, the levels a correction factor, and
// the frame timing decides whether the factor is applied.

#include "imaging/auto_exposure.h"

#include <mutex>

#include "imaging/pixel_kernels.h"
#include "imaging/surface.h"

namespace orvix::autoexposure {

namespace {

std::mutex clockMutex;
bool clockStarted = false;
std::uint32_t lastStepTime = 0;

// A fraction of a length, truncated toward zero.
std::int32_t part(double fraction, std::int32_t length) { return static_cast<std::int32_t>(fraction * length); }

KernelRect region(double left, double top, double right, double bottom, std::int32_t width, std::int32_t height) {
    return KernelRect{part(left, width), part(top, height), part(right, width), part(bottom, height)};
}

} // namespace

std::array<KernelRect, kRegionCount> meteringRegions(std::int32_t width, std::int32_t height) {
    return {region(0.1, 0.1, 0.2, 0.2, width, height), region(0.1, 0.8, 0.2, 0.9, width, height),
            region(0.45, 0.45, 0.55, 0.55, width, height), region(0.8, 0.1, 0.9, 0.2, width, height),
            region(0.8, 0.8, 0.9, 0.9, width, height)};
}

Means meter(Surface& raw) {
    const PixelKernel meanLevel = raw.bitsPerPixel() == 16 ? meanLevel16 : meanLevel8;
    Means means{};
    const auto regions = meteringRegions(raw.width(), raw.height());
    // The metering kernels only read; the frame is its own blit destination.
    for (int i = 0; i < kRegionCount; ++i)
        means[i] = raw.blit(meanLevel, &raw, &regions[i], regions[i].left, regions[i].top, nullptr, 0);
    return means;
}

double correctionFactor(const Means& means) {
    double f = 1.0;
    const std::int32_t first = means[0];
    if (first > 200)
        f = 0.85;
    else if (first > 160)
        f = 0.9;
    else if (first < 50)
        f = 1.1;
    else if (first < 100)
        f = 1.05;
    for (int i = 1; i < kRegionCount; ++i) {
        const std::int32_t mean = means[i];
        if (mean > 200)
            f -= 0.15;
        else if (mean > 160)
            f -= 0.1;
        else if (mean < 50)
            f += 0.1;
        else if (mean < 100)
            f += 0.05;
    }
    return f;
}

Decision decide(double factor, std::uint32_t elapsedMs) {
    Decision d{factor, factor <= 0.6 || factor >= 1.2};
    if (elapsedMs > 200) {
        d.factor = 0.95;
        d.change = true;
    } else if (elapsedMs > 150 && d.factor >= 1.2) {
        d.factor = 1.05;
        d.change = true;
    }
    if (elapsedMs > 160 && elapsedMs < 210 && d.factor >= 1.0) d.change = false;
    return d;
}

std::uint32_t elapsedSinceLastStep(std::uint32_t now) {
    std::lock_guard<std::mutex> lock(clockMutex);
    if (!clockStarted) {
        clockStarted = true;
        lastStepTime = now;
    }
    const std::uint32_t elapsed = now - lastStepTime;
    lastStepTime = now;
    return elapsed;
}

void resetClockForTesting() {
    std::lock_guard<std::mutex> lock(clockMutex);
    clockStarted = false;
    lastStepTime = 0;
}

} // namespace orvix::autoexposure
