#pragma once
// Ids of the properties reached through Orvix_SetFilterValue / Orvix_GetFilterValue
// and their named exports.

namespace orvix {

enum PropertyId : int {
    kPropertyBrightness = 1,
    kPropertyContrast = 2,
    kPropertyHue = 3,
    kPropertySaturation = 4,
    kPropertySharpness = 5,
    kPropertyBayerGainRgb = 6, // packed 0x00BBGGRR
    kPropertyBayerGainRed = 7,
    kPropertyBayerGainGreen = 8,
    kPropertyBayerGainBlue = 9,
    kPropertyBayerGainAuto = 10,
    kPropertyGamma = 11,
    kPropertyBayerMode = 12,
    kPropertyGlobalGain = 13,
    kPropertyColorGainRed = 14,
    kPropertyColorGainGreen1 = 15,
    kPropertyColorGainGreen2 = 16,
    kPropertyColorGainBlue = 17,
    kPropertyExposureTime = 18,
    kPropertyGrayMode = 19,
    kPropertyGrayGainR = 20,
    kPropertyGrayGainG1 = 21,
    kPropertyGrayGainG2 = 22,
    kPropertyGrayGainB = 23,
    kPropertyGrayOffsetR = 24,
    kPropertyGrayOffsetG1 = 25,
    kPropertyGrayOffsetG2 = 26,
    kPropertyGrayOffsetB = 27,
};

inline constexpr int kFirstPropertyId = kPropertyBrightness;
inline constexpr int kLastPropertyId = kPropertyGrayOffsetB;

} // namespace orvix
