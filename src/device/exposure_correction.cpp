#include "device/exposure_correction.h"

#include "device/device_link.h"

namespace orvix {

namespace {

constexpr std::int32_t kAutoIrisExposure = 1;
constexpr std::int32_t kAutoIrisGain = 2;

} // namespace

ExposureCorrection applyExposureCorrection(DeviceLink& link, std::int32_t autoIris, double factor) {
    if (autoIris == kAutoIrisGain) {
        std::int32_t v = static_cast<std::int32_t>(factor * link.globalGain());
        if (factor > 1.0 && v <= 4) v = 4;
        if (v < DeviceLink::globalGainMin()) v = DeviceLink::globalGainMin();
        if (v >= DeviceLink::globalGainMax()) v = DeviceLink::globalGainMax();
        (void)link.setGlobalGain(v);
        return {kAutoIrisGain, v};
    }
    if (autoIris == kAutoIrisExposure) {
        std::int32_t v = static_cast<std::uint16_t>(static_cast<std::int32_t>(factor * link.exposure()));
        if (factor > 1.0 && v <= 4)
            v = 4;
        else if (v == 0)
            v = 1;
        (void)link.setExposure(v);
        return {kAutoIrisExposure, v};
    }
    return {};
}

void storeExposureCorrection(GainBlock& gains, const ExposureCorrection& correction) {
    if (correction.autoIris == kAutoIrisGain) {
        gains.globalGain = correction.value;
        gains.colorGainGreen1 = correction.value;
        gains.colorGainRed = correction.value;
        gains.colorGainBlue = correction.value;
        gains.colorGainGreen2 = correction.value;
    } else if (correction.autoIris == kAutoIrisExposure) {
        gains.exposure = correction.value;
    }
}

} // namespace orvix
