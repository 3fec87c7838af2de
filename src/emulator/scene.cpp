#include "emulator/scene.h"

#include <algorithm>
#include <array>
#include <mutex>
#include <vector>

#include "platform/no_destructor.h"

namespace orvix::emulator {

namespace {

constexpr std::uint8_t kBarOn = 200;
constexpr std::uint8_t kBarOff = 20;
constexpr int kBarWidth = 170;
constexpr int kChartRampTop = 768;

// Bars as (has red, has green, has blue), left to right.
constexpr bool kBars[8][3] = {
    {true, true, true},  {true, true, false}, {false, true, true}, {false, true, false},
    {true, false, true}, {true, false, false}, {false, false, true}, {false, false, false},
};

std::uint8_t horizontalRamp(int x) { return static_cast<std::uint8_t>(x * 255 / (kSceneWidth - 1)); }

SceneColor chartColor(int x, int y) {
    if (y >= kChartRampTop) {
        const std::uint8_t level = horizontalRamp(x);
        return {level, level, level};
    }
    const bool* bar = kBars[std::clamp(x / kBarWidth, 0, 7)];
    return {bar[0] ? kBarOn : kBarOff, bar[1] ? kBarOn : kBarOff, bar[2] ? kBarOn : kBarOff};
}

} // namespace

SceneColor sceneColor(Scene scene, int x, int y) {
    switch (scene) {
    case Scene::Chart:
        return chartColor(x, y);
    case Scene::Ramp: {
        const std::uint8_t red = horizontalRamp(x);
        return {red, static_cast<std::uint8_t>(y * 255 / (kSceneHeight - 1)), static_cast<std::uint8_t>(255 - red)};
    }
    case Scene::Flat:
        break;
    }
    return {128, 128, 128};
}

ColorSite colorSite(int x, int y) {
    if ((y & 1) == 0) return (x & 1) == 0 ? ColorSite::Green : ColorSite::Red;
    return (x & 1) == 0 ? ColorSite::Blue : ColorSite::Green;
}

std::uint8_t sceneReflectance(Scene scene, int x, int y) {
    const SceneColor color = sceneColor(scene, x, y);
    switch (colorSite(x, y)) {
    case ColorSite::Red:
        return color.red;
    case ColorSite::Blue:
        return color.blue;
    case ColorSite::Green:
        break;
    }
    return color.green;
}

std::uint16_t sampleLevel(std::uint8_t reflectance, std::uint32_t exposure, std::uint32_t gain) {
    const std::uint64_t level = std::uint64_t{reflectance} * exposure * (std::uint64_t{gain} + 256u) / 13107u;
    return static_cast<std::uint16_t>(std::min<std::uint64_t>(level, 1023u));
}

const std::uint8_t* mosaickedScene(Scene scene) {
    // Never destroyed: transfer threads may still read a scene while the process exits.
    static NoDestructor<std::mutex> mutex;
    static NoDestructor<std::array<std::vector<std::uint8_t>, 3>> built;
    std::vector<std::uint8_t>& pixels = (*built)[static_cast<std::size_t>(scene)];
    std::lock_guard<std::mutex> lock(*mutex);
    if (pixels.empty()) {
        pixels.resize(std::size_t{kSceneWidth} * kSceneHeight);
        for (int y = 0; y < kSceneHeight; ++y)
            for (int x = 0; x < kSceneWidth; ++x)
                pixels[std::size_t(y) * kSceneWidth + std::size_t(x)] = sceneReflectance(scene, x, y);
    }
    return pixels.data();
}

} // namespace orvix::emulator
