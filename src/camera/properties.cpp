// The property-by-id interface: filter values and analog gains by numeric id, each
// with its accepted range. Global gain and exposure also go to the device at once.

#include <climits>

#include "camera/camera.h"
#include "camera/property_ids.h"
#include "device/device_link.h"

namespace orvix {

namespace {

// Where a property's value goes and where its getter reads.
enum class Storage {
    FilterField, // a FilterSettings member, read back as stored
    BayerRgb,    // packed into the three Bayer gains
    Flag,        // a FilterSettings member stored as 0 or 1
    GlobalGain,  // global and all four colour gains; sent to the link; read from the link
    ColorGain,   // a GainBlock member; reads as 0
    Exposure,    // the exposure; sent to the link; read from the link
};

struct Property {
    Storage storage;
    std::int32_t min;
    std::int32_t max;
    std::int32_t FilterSettings::*filterField;
    std::int32_t GainBlock::*gainField;
};

constexpr std::int32_t kAny = INT_MIN; // with max INT_MAX: no range

constexpr Property filterProperty(std::int32_t FilterSettings::*field, std::int32_t min, std::int32_t max) {
    return {Storage::FilterField, min, max, field, nullptr};
}
constexpr Property colorGainProperty(std::int32_t GainBlock::*field) {
    return {Storage::ColorGain, 0, 63, nullptr, field};
}

// Indexed by id - 1.
constexpr Property kProperties[kLastPropertyId] = {
    filterProperty(&FilterSettings::brightness, -255, 255),
    filterProperty(&FilterSettings::contrast, -127, 127),
    filterProperty(&FilterSettings::hue, -360, 360),
    filterProperty(&FilterSettings::saturation, -255, 255),
    filterProperty(&FilterSettings::sharpness, 0, 30),
    {Storage::BayerRgb, kAny, INT_MAX, nullptr, nullptr},
    filterProperty(&FilterSettings::bayerGainRed, 0, 400),
    filterProperty(&FilterSettings::bayerGainGreen, 0, 400),
    filterProperty(&FilterSettings::bayerGainBlue, 0, 400),
    {Storage::Flag, kAny, INT_MAX, &FilterSettings::bayerGainAuto, nullptr},
    filterProperty(&FilterSettings::gamma, 0, 200),
    filterProperty(&FilterSettings::bayerMode, 0, 3),
    {Storage::GlobalGain, 0, 63, nullptr, &GainBlock::globalGain},
    colorGainProperty(&GainBlock::colorGainRed),
    colorGainProperty(&GainBlock::colorGainGreen1),
    colorGainProperty(&GainBlock::colorGainGreen2),
    colorGainProperty(&GainBlock::colorGainBlue),
    {Storage::Exposure, 0, 0x3FFF, nullptr, &GainBlock::exposure},
    filterProperty(&FilterSettings::grayMode, 0, 2),
    filterProperty(&FilterSettings::grayGainR, 0, 255),
    filterProperty(&FilterSettings::grayGainG1, 0, 255),
    filterProperty(&FilterSettings::grayGainG2, 0, 255),
    filterProperty(&FilterSettings::grayGainB, 0, 255),
    filterProperty(&FilterSettings::grayOffsetR, -255, 255),
    filterProperty(&FilterSettings::grayOffsetG1, -255, 255),
    filterProperty(&FilterSettings::grayOffsetG2, -255, 255),
    filterProperty(&FilterSettings::grayOffsetB, -255, 255),
};

const Property* findProperty(int id) {
    return id >= kFirstPropertyId && id <= kLastPropertyId ? &kProperties[id - kFirstPropertyId] : nullptr;
}

void setOk(int* ok, int value) {
    if (ok) *ok = value;
}

} // namespace

int Camera::setFilterValue(int id, int value) {
    if (!requireLink()) return 0;
    const Property* property = findProperty(id);
    if (!property || value < property->min || value > property->max) return errors_.push(ERR_PARAMETER), 0;

    {
        MutexLock lock(settingsMutex_);
        switch (property->storage) {
        case Storage::FilterField:
            filter_.*property->filterField = value;
            break;
        case Storage::Flag:
            filter_.*property->filterField = value != 0 ? 1 : 0;
            break;
        case Storage::BayerRgb:
            filter_.bayerGainRed = value & 0xFF;
            filter_.bayerGainGreen = (value >> 8) & 0xFF;
            filter_.bayerGainBlue = (value >> 16) & 0xFF;
            break;
        case Storage::GlobalGain:
            gains_.globalGain = value;
            gains_.colorGainRed = value;
            gains_.colorGainGreen1 = value;
            gains_.colorGainGreen2 = value;
            gains_.colorGainBlue = value;
            break;
        case Storage::ColorGain:
        case Storage::Exposure:
            gains_.*property->gainField = value;
            break;
        }
    }
    // The device requests go out without holding the settings lock.
    if (property->storage == Storage::GlobalGain) (void)link_->setGlobalGain(value);
    if (property->storage == Storage::Exposure) (void)link_->setExposure(value);
    return 1;
}

int Camera::getFilterValue(int id, int* ok) {
    if (!link_) {
        setOk(ok, 0);
        return errors_.push(ERR_NOT_INITIALIZED), 0;
    }
    setOk(ok, 1);
    const Property* property = findProperty(id);
    if (!property) {
        setOk(ok, 0);
        return errors_.push(ERR_PARAMETER), 0;
    }

    switch (property->storage) {
    case Storage::GlobalGain:
        return link_->globalGain();
    case Storage::Exposure:
        return link_->exposure();
    case Storage::ColorGain:
        return 0;
    case Storage::FilterField:
    case Storage::Flag:
        break;
    case Storage::BayerRgb: {
        MutexLock lock(settingsMutex_);
        return (filter_.bayerGainBlue & 0xFF) << 16 | (filter_.bayerGainGreen & 0xFF) << 8 | (filter_.bayerGainRed & 0xFF);
    }
    }
    MutexLock lock(settingsMutex_);
    return filter_.*property->filterField;
}

} // namespace orvix
