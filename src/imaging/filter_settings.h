#pragma once
// Image-filter and white-balance values of one camera. One plain block of int32
// members so that it can be copied whole (the filter dialog keeps a backup copy and
// every frame works on a consistent copy).

#include <cstdint>

namespace orvix {

struct WhiteBalanceParams;

struct FilterSettings {
    std::int32_t brightness = 0;     // -255..255, 0 = off
    std::int32_t contrast = 0;       // -127..127, 0 = off
    std::int32_t hue = 0;            // -360..360
    std::int32_t saturation = 0;     // -255..255
    std::int32_t sharpness = 0;      // 0..30, 0 = off
    std::int32_t bayerGainRed = 0;   // percent, 100 = unity
    std::int32_t bayerGainGreen = 0; // percent, stored but not applied
    std::int32_t bayerGainBlue = 0;  // percent
    std::int32_t gamma = 0;          // 0..200, 100 = off
    std::int32_t bayerMode = 0;      // 0..3, phase of the Bayer pattern
    std::int32_t grayMode = 0;       // 0 Bayer, 1 Bayer convert, 2 Grayscale
    std::int32_t grayGainR = 0;      // 128 = 1.0, phase (0,1) sites
    std::int32_t grayGainG1 = 0;     // phase (0,0) sites
    std::int32_t grayGainG2 = 0;     // phase (1,1) sites
    std::int32_t grayGainB = 0;      // phase (1,0) sites
    std::int32_t grayOffsetR = 0;
    std::int32_t grayOffsetG1 = 0;
    std::int32_t grayOffsetG2 = 0;
    std::int32_t grayOffsetB = 0;
    std::int32_t bayerGainAuto = 0;  // automatic white balance on
    std::int32_t bayerGainOnce1 = 0; // one-shot white balance pending
    std::int32_t bayerGainOnce2 = 0;
    std::int32_t grayGainAuto = 0;   // 1 measure next frame, <0 every frame, 0 off

    // Stores a white-balance measurement: each measured gain (a gain the frame could
    // not measure is left as it is) becomes the Bayer gain, limited to 400 from
    // above; a pending one-shot measurement (automatic on and both one-shot flags
    // set) then ends, clearing all three flags.
    void storeWhiteBalance(const WhiteBalanceParams& measured);
};

} // namespace orvix
