#pragma once
// The emulated camera's test scene, in sensor coordinates (x 0..1359 left to right,
// y 0..1023 top to bottom; the active area starts at sample 424 of raw line 14).
//
// Scenes give every sensor pixel a colour, each channel a reflectance 0..255:
//   chart  lines 0..767: eight vertical bars 170 pixels wide, left to right white,
//          yellow, cyan, green, magenta, red, blue, black, each channel 200 when the
//          colour has it and 20 when it does not; lines 768..1023: a gray ramp,
//          r = g = b = x * 255 / 1359.
//   ramp   r = x * 255 / 1359, g = y * 255 / 1023, b = 255 - r.
//   flat   r = g = b = 128.
// The sensor samples one channel per pixel through its colour filter: on even lines
// green at even x and red at odd x, on odd lines blue at even x and green at odd x.
//
// A moving marker makes every frame differ from the one before: a 32 x 32 block of
// reflectance 255 on lines 960..991 whose left edge is at x = 16 * (n mod 83) in the
// camera's frame number n (0 for the first frame after power-on).
//
// The sample level (10 bits) of reflectance r at exposure e (lines) and global gain g:
//   min(1023, r * e * (g + 256) / 13107), integer division.
// With the power-on exposure 64 and gain 512 a reflectance of 128 reads 480 (120 in
// 8-bit mode). 8-bit samples hold the level's upper eight bits (level >> 2).

#include <cstdint>

#include "emulator/emulation_config.h"

namespace orvix::emulator {

inline constexpr int kSceneWidth = 1360;
inline constexpr int kSceneHeight = 1024;

inline constexpr int kMarkerTop = 960;
inline constexpr int kMarkerSize = 32;
inline constexpr int kMarkerStep = 16;
inline constexpr int kMarkerPositions = 83;
inline constexpr std::uint8_t kMarkerReflectance = 255;

enum class ColorSite { Red, Green, Blue };

struct SceneColor {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
};

SceneColor sceneColor(Scene scene, int x, int y);
ColorSite colorSite(int x, int y);
// Reflectance seen by the sensor pixel (x, y): the scene colour's channel at its site.
std::uint8_t sceneReflectance(Scene scene, int x, int y);

inline int markerLeft(std::uint32_t frameNumber) {
    return kMarkerStep * static_cast<int>(frameNumber % kMarkerPositions);
}
inline bool inMarkerLines(int y) { return y >= kMarkerTop && y < kMarkerTop + kMarkerSize; }

std::uint16_t sampleLevel(std::uint8_t reflectance, std::uint32_t exposure, std::uint32_t gain);

// The mosaicked reflectances of the whole sensor (kSceneWidth x kSceneHeight, line
// after line), built once per scene and kept for the life of the process.
const std::uint8_t* mosaickedScene(Scene scene);

} // namespace orvix::emulator
