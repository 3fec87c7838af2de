// Which of the Camera's Surfaces each colour type uses.
//
//   colour type   raw frame    output image   display path
//   0   8 bits    surface8     surface8       mono
//   1  16 bits    surface16    surface16      mono
//   2  24 bits    surface8     surface24      colour
//   3  32 bits    surface8     surface32      colour
//   4  48 bits    surface16    surface48      colour
//   5  64 bits    surface16    surface64      colour

#include "camera/camera.h"
#include "imaging/surface.h"

namespace orvix {

Surface* Camera::outputSurface() const {
    switch (colorType) {
    case 0: return surface8.get();
    case 1: return surface16.get();
    case 2: return surface24.get();
    case 3: return surface32.get();
    case 4: return surface48.get();
    case 5: return surface64.get();
    default: return nullptr;
    }
}

Surface* Camera::rawSurface() const {
    if (isWordTransfer()) return surface16.get();
    if (isByteTransfer()) return surface8.get();
    return nullptr;
}

bool Camera::isMonoDisplay() const { return colorType == 0 || colorType == 1; }

bool Camera::isColorDisplay() const { return colorType >= 2 && colorType <= 5; }

bool Camera::isByteTransfer() const { return colorType == 0 || colorType == 2 || colorType == 3; }

bool Camera::isWordTransfer() const { return colorType == 1 || colorType == 4 || colorType == 5; }

} // namespace orvix
