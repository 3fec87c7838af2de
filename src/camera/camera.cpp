#include "camera/camera.h"

#include "imaging/surface.h"
#include "device/device_link.h"
#include "platform/clock.h"

namespace orvix {

Camera::Camera() : rateTime(platform::multimediaTime()) {}

int Camera::bitsPerPixelOfColorType(std::int32_t type) {
    static constexpr int kBits[] = {8, 16, 24, 32, 48, 64};
    return type >= 0 && type < 6 ? kBits[type] : 0;
}

int Camera::getColorMode() const {
    const int bits = bitsPerPixelOfColorType(colorType);
    return bits != 0 ? bits : -1;
}

} // namespace orvix
