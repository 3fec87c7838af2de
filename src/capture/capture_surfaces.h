#pragma once
// The Surfaces of a capture, by colour type:
//
//   colour type   raw frame    output image   also made at capture start
//   0   8 bits    8-bit        the raw frame  24-bit (gray mode 2's demosaic)
//   1  16 bits   16-bit        the raw frame  8-bit (display conversion)
//   2  24 bits    8-bit        24-bit
//   3  32 bits    8-bit        32-bit         24-bit (display conversion)
//   4  48 bits   16-bit        48-bit         24-bit (display conversion)
//   5  64 bits   16-bit        64-bit         24-bit (display conversion)
//
// plus the sharpen step's work copy, shaped like the output. The objects are made
// once (start-up); their pixels are made at every capture start and reused for every
// frame of it. Not thread-safe: the capture engine guards it.

#include <cstdint>
#include <memory>

#include "imaging/frame_pipeline.h"
#include "imaging/surface.h"

namespace orvix {

class CaptureSurfaces {
public:
    // Makes the eight Surface objects (without pixels); false when one could not be
    // allocated.
    bool allocate();

    // Makes the pixels of the Surfaces the colour type uses at width x height, in the
    // order 8, 16, 24, 32, 48, 64 bits, then the work copy. False when one could not
    // be made (those made stay).
    bool prepare(std::int32_t colorType, std::int32_t width, std::int32_t height);

    // Null for a colour type outside 0..5 or a Surface object that was not allocated.
    Surface* raw(std::int32_t colorType) const;
    Surface* output(std::int32_t colorType) const;
    // The Surfaces the frame pipeline works on for the colour type.
    FrameSurfaces frame(std::int32_t colorType) const;
    // Brings the 8- or 24-bit image that shows the current frame up to date,
    // converting the output where the colour type needs it, and returns it; null
    // when the Surfaces for it hold no image.
    const Surface* updateDisplayable(std::int32_t colorType);

private:
    std::unique_ptr<Surface> surface8_;
    std::unique_ptr<Surface> surface16_;
    std::unique_ptr<Surface> surface24_;
    std::unique_ptr<Surface> surface32_;
    std::unique_ptr<Surface> surface48_;
    std::unique_ptr<Surface> surface64_;
    std::unique_ptr<Surface> work_;
};

} // namespace orvix
