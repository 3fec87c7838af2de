// Per-slot persistence of the analog gain block.

#include "device/gain_store.h"

#include <cstdio>

#include "device/device_link.h"
#include "platform/registry.h"

namespace orvix {

namespace {

struct GainValue {
    const char* name;
    std::int32_t GainBlock::*field;
};

// The five gains, read through one carried value.
constexpr GainValue kGainValues[] = {
    {"Global", &GainBlock::globalGain},  {"ColorG1", &GainBlock::colorGainGreen1},
    {"ColorR", &GainBlock::colorGainRed}, {"ColorB", &GainBlock::colorGainBlue},
    {"ColorG2", &GainBlock::colorGainGreen2},
};

// Read straight into their fields.
constexpr GainValue kOtherValues[] = {
    {"Exposure", &GainBlock::exposure},
    {"V_Mirror", &GainBlock::mirrorV},
    {"AutoIris", &GainBlock::autoIris},
};

void setDefaults(const DeviceLink& link, GainBlock& gains) {
    gains.globalGain = kDefaultGlobalGain;
    gains.colorGainGreen1 = 0;
    gains.colorGainRed = 0;
    gains.colorGainBlue = 0;
    gains.colorGainGreen2 = 0;
    gains.exposure = kDefaultExposure;
    gains.mirrorV = link.mirrorV();
    gains.autoIris = 0;
}

} // namespace

std::string gainRecordName(int slot) {
    char name[32];
    std::snprintf(name, sizeof name, "Gain_%02d", slot);
    return name;
}

int loadGainSettings(const DeviceLink& link, GainBlock& gains) {
    const platform::RegistryKey root = platform::RegistryKey::openCurrentUser(platform::kSettingsKeyPath);
    const platform::RegistryKey record = root.openSubkey(gainRecordName(link.currentDevice()));
    if (!record) {
        setDefaults(link, gains);
        return 1;
    }
    std::int32_t carried = 0;
    for (const GainValue& value : kGainValues) {
        (void)record.queryInt(value.name, carried);
        gains.*value.field = carried;
    }
    for (const GainValue& value : kOtherValues) (void)record.queryInt(value.name, gains.*value.field);
    return 1;
}

int saveGainSettings(const DeviceLink& link, const GainBlock& gains) {
    platform::RegistryKey root = platform::RegistryKey::createCurrentUser(platform::kSettingsKeyPath);
    platform::RegistryKey record = root.createSubkey(gainRecordName(link.currentDevice()));
    if (!record) return 0;
    for (const GainValue& value : kGainValues) (void)record.setInt(value.name, gains.*value.field);
    for (const GainValue& value : kOtherValues) (void)record.setInt(value.name, gains.*value.field);
    return 1;
}

} // namespace orvix
