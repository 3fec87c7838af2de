// Persistence of the image-filter values and the gray gains.

#include "imaging/filter_store.h"

#include "platform/registry.h"

namespace orvix {

namespace {

struct FilterValue {
    const char* name;
    std::int32_t FilterSettings::*field;
};

constexpr char kFilterRecord[] = "Filter";
constexpr char kGrayRecord[] = "Gray";

constexpr FilterValue kFilterValues[] = {
    {"Brightness", &FilterSettings::brightness},  {"Contrast", &FilterSettings::contrast},
    {"Hue", &FilterSettings::hue},                {"Saturation", &FilterSettings::saturation},
    {"Sharpness", &FilterSettings::sharpness},    {"R_Gain", &FilterSettings::bayerGainRed},
    {"G_Gain", &FilterSettings::bayerGainGreen},  {"B_Gain", &FilterSettings::bayerGainBlue},
    {"Gamma", &FilterSettings::gamma},            {"BayerMode", &FilterSettings::bayerMode},
};

constexpr FilterValue kGrayValues[] = {
    {"GainR1", &FilterSettings::grayGainR},     {"GainG1", &FilterSettings::grayGainG1},
    {"GainG2", &FilterSettings::grayGainG2},    {"GainB1", &FilterSettings::grayGainB},
    {"OffsetR1", &FilterSettings::grayOffsetR}, {"OffsetG1", &FilterSettings::grayOffsetG1},
    {"OffsetG2", &FilterSettings::grayOffsetG2}, {"OffsetB1", &FilterSettings::grayOffsetB},
};

constexpr std::int32_t kNeutralGain = 100; // percent, also the neutral gamma
constexpr std::int32_t kDefaultBayerMode = 3;
constexpr std::int32_t kNeutralGrayGain = 128;

void setFilterDefaults(FilterSettings& filter) {
    filter.brightness = 0;
    filter.contrast = 0;
    filter.hue = 0;
    filter.saturation = 0;
    filter.sharpness = 0;
    filter.bayerGainRed = kNeutralGain;
    filter.bayerGainGreen = kNeutralGain;
    filter.bayerGainBlue = kNeutralGain;
    filter.gamma = kNeutralGain;
    filter.bayerMode = kDefaultBayerMode;
    filter.bayerGainAuto = 0;
    filter.bayerGainOnce1 = 0;
    filter.bayerGainOnce2 = 0;
}

void setGrayDefaults(FilterSettings& filter) {
    filter.grayGainR = kNeutralGrayGain;
    filter.grayGainG1 = kNeutralGrayGain;
    filter.grayGainG2 = kNeutralGrayGain;
    filter.grayGainB = kNeutralGrayGain;
    filter.grayOffsetR = 0;
    filter.grayOffsetG1 = 0;
    filter.grayOffsetG2 = 0;
    filter.grayOffsetB = 0;
}

template <std::size_t N>
bool loadRecord(const char* recordName, const FilterValue (&values)[N], FilterSettings& filter) {
    const platform::RegistryKey root = platform::RegistryKey::openCurrentUser(platform::kSettingsKeyPath);
    const platform::RegistryKey record = root.openSubkey(recordName);
    if (!record) return false;
    for (const FilterValue& value : values) (void)record.queryInt(value.name, filter.*value.field);
    return true;
}

template <std::size_t N>
int saveRecord(const char* recordName, const FilterValue (&values)[N], const FilterSettings& filter) {
    platform::RegistryKey root = platform::RegistryKey::createCurrentUser(platform::kSettingsKeyPath);
    platform::RegistryKey record = root.createSubkey(recordName);
    if (!record) return 0;
    for (const FilterValue& value : values) (void)record.setInt(value.name, filter.*value.field);
    return 1;
}

} // namespace

int loadFilterSettings(FilterSettings& filter) {
    if (loadRecord(kFilterRecord, kFilterValues, filter)) return 1;
    setFilterDefaults(filter);
    return 0;
}

int loadGraySettings(FilterSettings& filter) {
    if (loadRecord(kGrayRecord, kGrayValues, filter)) return 1;
    setGrayDefaults(filter);
    return 0;
}

int saveFilterSettings(const FilterSettings& filter) { return saveRecord(kFilterRecord, kFilterValues, filter); }

int saveGraySettings(const FilterSettings& filter) { return saveRecord(kGrayRecord, kGrayValues, filter); }

} // namespace orvix
