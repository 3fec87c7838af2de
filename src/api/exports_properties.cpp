// Exported functions of the property-by-id interface: the generic pair and the named
// pairs, each of which is the generic call with its fixed id.

#include "OrvixSdk_K62DT4.h"
#include "api/api_frame.h"
#include "camera/property_ids.h"

using namespace orvix;

namespace {

int setProperty(ORVIX_HANDLE handle, int id, int value) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.setFilterValue(id, value); });
}

int getProperty(ORVIX_HANDLE handle, int id, int* ok) {
    return api::forward(handle, 0, [&](Camera& camera) { return camera.getFilterValue(id, ok); });
}

} // namespace

#define ORVIX_NAMED_PROPERTY(Name, id)                                                                             \
    ORVIX_API int ORVIX_CALL Orvix_Set##Name(ORVIX_HANDLE handle, int value) { return setProperty(handle, id, value); } \
    ORVIX_API int ORVIX_CALL Orvix_Get##Name(ORVIX_HANDLE handle, int* ok) { return getProperty(handle, id, ok); }

extern "C" {

ORVIX_API int ORVIX_CALL Orvix_SetFilterValue(ORVIX_HANDLE handle, int id, int value) {
    return setProperty(handle, id, value);
}

ORVIX_API int ORVIX_CALL Orvix_GetFilterValue(ORVIX_HANDLE handle, int id, int* ok) {
    return getProperty(handle, id, ok);
}

ORVIX_NAMED_PROPERTY(Brightness, kPropertyBrightness)
ORVIX_NAMED_PROPERTY(Contrast, kPropertyContrast)
ORVIX_NAMED_PROPERTY(Hue, kPropertyHue)
ORVIX_NAMED_PROPERTY(Saturation, kPropertySaturation)
ORVIX_NAMED_PROPERTY(Sharpness, kPropertySharpness)
ORVIX_NAMED_PROPERTY(BayerGainRGB, kPropertyBayerGainRgb)
ORVIX_NAMED_PROPERTY(BayerGainRed, kPropertyBayerGainRed)
ORVIX_NAMED_PROPERTY(BayerGainGreen, kPropertyBayerGainGreen)
ORVIX_NAMED_PROPERTY(BayerGainBlue, kPropertyBayerGainBlue)
ORVIX_NAMED_PROPERTY(BayerGainAuto, kPropertyBayerGainAuto)
ORVIX_NAMED_PROPERTY(Gamma, kPropertyGamma)
ORVIX_NAMED_PROPERTY(BayerMode, kPropertyBayerMode)
ORVIX_NAMED_PROPERTY(GlobalGain, kPropertyGlobalGain)
ORVIX_NAMED_PROPERTY(ColorGainRed, kPropertyColorGainRed)
ORVIX_NAMED_PROPERTY(ColorGainGreen1, kPropertyColorGainGreen1)
ORVIX_NAMED_PROPERTY(ColorGainGreen2, kPropertyColorGainGreen2)
ORVIX_NAMED_PROPERTY(ColorGainBlue, kPropertyColorGainBlue)
ORVIX_NAMED_PROPERTY(ExposureTime, kPropertyExposureTime)
ORVIX_NAMED_PROPERTY(GrayMode, kPropertyGrayMode)
ORVIX_NAMED_PROPERTY(GrayGainR, kPropertyGrayGainR)
ORVIX_NAMED_PROPERTY(GrayGainG1, kPropertyGrayGainG1)
ORVIX_NAMED_PROPERTY(GrayGainG2, kPropertyGrayGainG2)
ORVIX_NAMED_PROPERTY(GrayGainB, kPropertyGrayGainB)
ORVIX_NAMED_PROPERTY(GrayOffsetR, kPropertyGrayOffsetR)
ORVIX_NAMED_PROPERTY(GrayOffsetG1, kPropertyGrayOffsetG1)
ORVIX_NAMED_PROPERTY(GrayOffsetG2, kPropertyGrayOffsetG2)
ORVIX_NAMED_PROPERTY(GrayOffsetB, kPropertyGrayOffsetB)

} // extern "C"

#undef ORVIX_NAMED_PROPERTY
