#include <gtest/gtest.h>

#include "emulator/emulation_config.h"
#include "emulator/scene.h"

namespace orvix::emulator {
namespace {

TEST(EmulationSetting, SlotListAndOptions) {
    auto plain = parseEmulationSetting("0,3");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->slotMask, 0x09);
    EXPECT_EQ(plain->frameRate, 15);
    EXPECT_EQ(plain->triggerIntervalMs, 0u);
    EXPECT_EQ(plain->scene, Scene::Chart);

    auto full = parseEmulationSetting("7;scene=flat;rate=0;trigger=250");
    ASSERT_TRUE(full);
    EXPECT_EQ(full->slotMask, 0x80);
    EXPECT_EQ(full->frameRate, 0);
    EXPECT_EQ(full->triggerIntervalMs, 250u);
    EXPECT_EQ(full->scene, Scene::Flat);

    auto none = parseEmulationSetting(";rate=30");
    ASSERT_TRUE(none);
    EXPECT_EQ(none->slotMask, 0);
    EXPECT_EQ(none->frameRate, 30);
}

TEST(EmulationSetting, MalformedValuesAreRejected) {
    for (const char* bad : {"8", "0,", ",0", "0,,1", "03", "-1", "0 ,1", "0;", "0;rate", "0;rate=", "0;rate=1001",
                            "0;rate=-5", "0;speed=3", "0;scene=sky", "0;rate=5;rate=6", "0;trigger=600001", "a"})
        EXPECT_FALSE(parseEmulationSetting(bad)) << bad;
}

TEST(Scene, ChartBarsRampAndMosaic) {
    // Bar 5 (red) at line 0: odd x is a red site, even x a green site.
    EXPECT_EQ(colorSite(851, 0), ColorSite::Red);
    EXPECT_EQ(sceneReflectance(Scene::Chart, 851, 0), 200);
    EXPECT_EQ(sceneReflectance(Scene::Chart, 850, 0), 20);
    // Blue sites are on odd lines at even x; bar 6 is blue.
    EXPECT_EQ(colorSite(1020, 1), ColorSite::Blue);
    EXPECT_EQ(sceneReflectance(Scene::Chart, 1020, 1), 200);
    EXPECT_EQ(sceneReflectance(Scene::Chart, 1021, 1), 20);
    // The gray ramp below line 768 runs from 0 to 255 on every site.
    EXPECT_EQ(sceneReflectance(Scene::Chart, 0, 800), 0);
    EXPECT_EQ(sceneReflectance(Scene::Chart, 1359, 801), 255);
    EXPECT_EQ(mosaickedScene(Scene::Chart)[1 * kSceneWidth + 1020], 200);
}

TEST(Scene, BrightnessFollowsExposureAndGain) {
    EXPECT_EQ(sampleLevel(128, 64, 512), 480);          // power-on settings: 120 in 8-bit mode
    EXPECT_EQ(sampleLevel(128, 128, 512), 960);         // twice the exposure, twice the level
    EXPECT_LT(sampleLevel(128, 64, 0), sampleLevel(128, 64, 512));
    EXPECT_EQ(sampleLevel(255, 1068, 1023), 1023);      // saturates
    EXPECT_EQ(sampleLevel(0, 1068, 1023), 0);
    EXPECT_EQ(markerLeft(0), 0);
    EXPECT_EQ(markerLeft(84), 16);
}

} // namespace
} // namespace orvix::emulator
