// Start-up and release through the exported functions, against the settings store:
// the defaults created on first use, the stored format and stream settings, and the
// gains and filters written back at release. Emulated cameras in slots 0 and 3.

#include <gtest/gtest.h>

#include "OrvixSdk_K62DT4.h"
#include "api_camera.h"
#include "stored_settings.h"
#include "support/test_environment.h"

namespace orvix::test {
namespace {

const bool kEmulationSet = (setEnvironment("ORVIX_K62DT4_EMULATE", "0,3;rate=0"), true);

class StartupApi : public StoredSettings {
protected:
    void SetUp() override {
        ASSERT_TRUE(kEmulationSet);
        StoredSettings::SetUp();
    }
};

struct Window {
    int hTotal = 0, hStart = 0, width = 0, vTotal = 0, vStart = 0, height = 0;
};

Window windowOf(ORVIX_HANDLE camera) {
    Window w;
    Orvix_GetCaptureWindowEx(camera, &w.hTotal, &w.hStart, &w.width, &w.vTotal, &w.vStart, &w.height);
    return w;
}

void expectFullFrame(ORVIX_HANDLE camera) {
    const Window w = windowOf(camera);
    EXPECT_EQ(w.hTotal, 1360);
    EXPECT_EQ(w.vTotal, 1024);
    EXPECT_EQ(w.width, 1360);
    EXPECT_EQ(w.height, 1024);
    EXPECT_EQ(w.hStart, 0);
    EXPECT_EQ(w.vStart, 0);
}

TEST_F(StartupApi, AnEmptyStoreGetsTheDefaultsAndTwentyFourBitColour) {
    ApiCamera camera;
    EXPECT_EQ(camera.errors(), Codes{});
    expectFullFrame(camera);
    EXPECT_EQ(Orvix_GetColorMode(camera), 24); // read back from the key just created
    EXPECT_EQ(Orvix_GetSubSample(camera), 0);
    EXPECT_EQ(Orvix_GetWaitTime(camera), 10);

    const std::pair<const char*, int> format[] = {{"TH", 1360}, {"TV", 1024}, {"EH", 1360}, {"EV", 1024},
                                                  {"EHS", 0},   {"EVS", 0},   {"Buf", 10}};
    for (const auto& [name, value] : format) EXPECT_EQ(stored("Size_00", name), value) << name;
    const std::pair<const char*, int> root[] = {{"Size", 0}, {"Color", 2}, {"SubSample", 0}, {"WaitTime", 10},
                                                {"Clock", 0}};
    for (const auto& [name, value] : root) EXPECT_EQ(stored("", name), value) << name;
    EXPECT_FALSE(keyExists("Size_01"));
}

TEST_F(StartupApi, TheSelectedRecordIsLoaded) {
    storeFormat(0, 1360, 1024, 1360, 1024, 0, 0, 10);
    store("Size_01", {{"TV", 1100}, {"EH", 640}, {"EV", 480}, {"EHS", 16}, {"EVS", 8}}); // no "TH"
    store("", {{"Size", 1}});
    ApiCamera camera;
    EXPECT_EQ(camera.errors(), Codes{});
    const Window w = windowOf(camera);
    EXPECT_EQ(w.hTotal, 1360); // missing: the construction value stays
    EXPECT_EQ(w.vTotal, 1100);
    EXPECT_EQ(w.width, 640);
    EXPECT_EQ(w.height, 480);
    EXPECT_EQ(w.hStart, 16);
    EXPECT_EQ(w.vStart, 8);
    EXPECT_EQ(Orvix_Width(camera), 640);
    EXPECT_EQ(Orvix_GetColorMode(camera), 8); // no "Color" stored: the construction value
}

TEST_F(StartupApi, AStoredFormatOutsideTheSensorFallsBackToTheFullFrame) {
    storeFormat(0, 1360, 1024, 800, 600, 800, 0, 4); // 800 + 800 > 1360
    store("", {{"Size", 0}});
    ApiCamera camera;
    EXPECT_EQ(camera.errors(), Codes{ERR_GEOMETRY});
    expectFullFrame(camera);
}

TEST_F(StartupApi, AMissingSelectedRecordKeepsTheFullFrame) {
    storeFormat(0, 1360, 1024, 640, 480, 0, 0, 10);
    store("", {{"Size", 3}, {"Color", 4}});
    ApiCamera camera;
    EXPECT_EQ(camera.errors(), Codes{});
    expectFullFrame(camera);
    EXPECT_EQ(Orvix_GetColorMode(camera), 48); // the stream settings are still read
}

TEST_F(StartupApi, StoredStreamSettingsAreTakenSafely) {
    store("", {{"Size", 0}, {"Color", 7}, {"SubSample", 3}, {"WaitTime", -5}, {"Clock", 1}});
    storeFormat(0, 1360, 1024, 1360, 1024, 0, 0, 10);
    ApiCamera camera;
    EXPECT_EQ(camera.errors(), Codes{});
    EXPECT_EQ(Orvix_GetColorMode(camera), -1); // kept as stored, reported as unknown
    EXPECT_EQ(Orvix_GetSubSample(camera), 3);
    EXPECT_EQ(Orvix_GetWaitTime(camera), 0); // a negative wait would never end
    // A stored sub-sample outside 0..2 fails the geometry check of any window.
    EXPECT_EQ(Orvix_SetCaptureWindowEx(camera, 1360, 0, 640, 1024, 0, 480), 0);
    EXPECT_EQ(camera.errors(), Codes{ERR_GEOMETRY});
    EXPECT_EQ(Orvix_SetSubSample(camera, 1), 1);
    EXPECT_EQ(Orvix_SetCaptureWindowEx(camera, 1360, 0, 640, 1024, 0, 480), 1);
    EXPECT_EQ(Orvix_SetColorMode(camera, 32), 1);
    EXPECT_EQ(Orvix_GetColorMode(camera), 32);
}

TEST_F(StartupApi, ReleaseWritesGainsAndFiltersEvenWhenNothingChanged) {
    {
        ApiCamera camera;
    }
    const std::pair<const char*, int> gains[] = {{"Global", 512}, {"ColorG1", 0}, {"ColorR", 0}, {"ColorB", 0},
                                                 {"ColorG2", 0},  {"Exposure", 64}, {"V_Mirror", 0}, {"AutoIris", 0}};
    for (const auto& [name, value] : gains) EXPECT_EQ(stored("Gain_00", name), value) << name;
    EXPECT_FALSE(keyExists("Gain_03")); // only the selected camera's block is written

    const std::pair<const char*, int> filter[] = {{"Brightness", 0}, {"Contrast", 0}, {"Hue", 0},
                                                  {"Saturation", 0}, {"Sharpness", 0}, {"R_Gain", 100},
                                                  {"G_Gain", 100},   {"B_Gain", 100},  {"Gamma", 100},
                                                  {"BayerMode", 3}};
    for (const auto& [name, value] : filter) EXPECT_EQ(stored("Filter", name), value) << name;
    const std::pair<const char*, int> gray[] = {{"GainR1", 128},  {"GainG1", 128},  {"GainG2", 128},
                                                {"GainB1", 128},  {"OffsetR1", 0},  {"OffsetG1", 0},
                                                {"OffsetG2", 0},  {"OffsetB1", 0}};
    for (const auto& [name, value] : gray) EXPECT_EQ(stored("Gray", name), value) << name;
}

TEST_F(StartupApi, SettingsChangedThroughPropertiesComeBackAtTheNextStart) {
    {
        ApiCamera camera;
        EXPECT_EQ(Orvix_SetBrightness(camera, 40), 1);
        EXPECT_EQ(Orvix_SetGamma(camera, 150), 1);
        EXPECT_EQ(Orvix_SetGrayOffsetB(camera, -7), 1);
        EXPECT_EQ(Orvix_SetGrayMode(camera, 2), 1);
        EXPECT_EQ(Orvix_SetGlobalGain(camera, 30), 1);
        EXPECT_EQ(Orvix_SetExposureTime(camera, 200), 1);
        EXPECT_EQ(Orvix_SetAutoIris(camera, 1), 1);
        EXPECT_EQ(Orvix_SetMirrorV(camera, 1), 1);
    }
    EXPECT_EQ(stored("Gain_00", "ColorR"), 30); // the colour gains follow the global gain
    EXPECT_EQ(stored("Gain_00", "V_Mirror"), 1);

    ApiCamera camera;
    int ok = 0;
    EXPECT_EQ(Orvix_GetBrightness(camera, &ok), 40);
    EXPECT_EQ(Orvix_GetGamma(camera, &ok), 150);
    EXPECT_EQ(Orvix_GetGrayOffsetB(camera, &ok), -7);
    EXPECT_EQ(Orvix_GetGrayMode(camera, &ok), 0); // not stored
    EXPECT_EQ(Orvix_GetGlobalGain(camera, &ok), 30);
    EXPECT_EQ(Orvix_GetExposureTime(camera, &ok), 200);
    EXPECT_EQ(Orvix_GetAutoIris(camera, &ok), 1);
    EXPECT_EQ(camera.errors(), Codes{});
}

} // namespace
} // namespace orvix::test
