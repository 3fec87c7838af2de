// The names this camera does not support, the status query, and the monitor exports'
// forwarding, called as an application calls them, with an emulated camera in slot 0.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "OrvixSdk_K62DT4.h"
#include "camera/api_camera.h"
#include "support/test_environment.h"

namespace orvix::test {
namespace {

// The library reads the variable when the first camera opens.
const bool kEmulationSet = (setEnvironment("ORVIX_K62DT4_EMULATE", "0;rate=0"), true);

class CatalogueApi : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kEmulationSet);
        resetSettings();
    }
};

TEST_F(CatalogueApi, UnsupportedNamesQueueErrUnsupportedOncePerCall) {
    ApiCamera camera;
    ASSERT_EQ(camera.errors(), Codes{});
    const std::vector<std::pair<const char*, std::function<int(ORVIX_HANDLE)>>> unsupported = {
        {"Fps", [](ORVIX_HANDLE h) { return Orvix_Fps(h, 1); }},
        {"GetCameraType", [](ORVIX_HANDLE h) { return Orvix_GetCameraType(h, 1); }},
        {"GetIOPort", [](ORVIX_HANDLE h) { return Orvix_GetIOPort(h, 1); }},
        {"Record", [](ORVIX_HANDLE h) { return Orvix_Record(h, 1); }},
        {"SetCameraType", [](ORVIX_HANDLE h) { return Orvix_SetCameraType(h, 1); }},
        {"SetCrossbar", [](ORVIX_HANDLE h) { return Orvix_SetCrossbar(h, 1); }},
        {"SetIOPort", [](ORVIX_HANDLE h) { return Orvix_SetIOPort(h, 1); }},
        {"SetMirrorH", [](ORVIX_HANDLE h) { return Orvix_SetMirrorH(h, 1); }},
        {"SetSamplingRate", [](ORVIX_HANDLE h) { return Orvix_SetSamplingRate(h, 1); }},
    };
    for (const auto& [name, call] : unsupported) {
        EXPECT_EQ(call(camera), 0) << name;
        EXPECT_EQ(camera.errors(), Codes{ERR_UNSUPPORTED}) << name;
    }
}

TEST_F(CatalogueApi, ZeroFormatStubsWriteZeroAndQueueNothing) {
    ApiCamera camera;
    int rate = 77, format = 77;
    EXPECT_EQ(Orvix_GetSamplingRate(camera, &rate), 0);
    EXPECT_EQ(Orvix_GetVideoFormat(camera, &format), 0);
    EXPECT_EQ(rate, 0);
    EXPECT_EQ(format, 0);
    EXPECT_EQ(Orvix_GetSamplingRate(camera, nullptr), 0);
    EXPECT_EQ(Orvix_GetVideoFormat(camera, nullptr), 0);
    EXPECT_EQ(Orvix_GetStatus(camera, 5), 0);
    EXPECT_EQ(Orvix_GetMirrorH(camera, 1), 0);
    EXPECT_EQ(camera.errors(), Codes{});
}

// Each monitor setter and its getter reach the same setting: a crossed pair would
// read back another register's value.
TEST_F(CatalogueApi, MonitorExportsReachTheirSettings) {
    ApiCamera camera;
    struct Pair {
        const char* name;
        int (*set)(ORVIX_HANDLE, int);
        int (*get)(ORVIX_HANDLE, int*);
        int value, readBack;
    };
    const Pair pairs[] = {
        {"BayerGainRed", Orvix_Monitor_SetBayerGainRed, Orvix_Monitor_GetBayerGainRed, 0x111, 0x111},
        {"BayerGainGreen", Orvix_Monitor_SetBayerGainGreen, Orvix_Monitor_GetBayerGainGreen, 0x222, 0x222},
        {"BayerGainBlue", Orvix_Monitor_SetBayerGainBlue, Orvix_Monitor_GetBayerGainBlue, 0x333, 0x333},
        {"CameraClock", Orvix_Monitor_SetCameraClock, Orvix_Monitor_GetCameraClock, 2, 5},
        {"ColorMode", Orvix_Monitor_SetColorMode, Orvix_Monitor_GetColorMode, 0, 0},
        {"BayerGainAuto", Orvix_Monitor_SetBayerGainAuto, Orvix_Monitor_GetBayerGainAuto, 0, 0},
        {"BayerGainLock", Orvix_Monitor_SetBayerGainLock, Orvix_Monitor_GetBayerGainLock, 0, 0},
        {"PreviewMode", Orvix_Monitor_SetPreviewMode, Orvix_Monitor_GetPreviewMode, 0, 0},
    };
    for (const Pair& pair : pairs) {
        int ok = -1;
        EXPECT_EQ(pair.set(camera, pair.value), 1) << pair.name;
        EXPECT_EQ(pair.get(camera, &ok), pair.readBack) << pair.name;
        EXPECT_EQ(ok, 1) << pair.name;
    }
    // The gains are still their own after the flags changed register 0x60.
    int ok = 0;
    EXPECT_EQ(Orvix_Monitor_GetBayerGainRed(camera, &ok), 0x111);
    EXPECT_EQ(Orvix_Monitor_GetBayerGainBlue(camera, &ok), 0x333);
    EXPECT_EQ(Orvix_Monitor_SetPreviewMode(camera, 1), 1);
    EXPECT_EQ(Orvix_Monitor_GetPreviewMode(camera, nullptr), 1);

    int width = 0, height = 0;
    EXPECT_EQ(Orvix_Monitor_SetPreviewSize(camera, 800, 600), 1);
    EXPECT_EQ(Orvix_Monitor_GetPreviewSize(camera, &width, &height), 1);
    EXPECT_EQ(width, 800);
    EXPECT_EQ(height, 600);
    EXPECT_EQ(camera.errors(), Codes{});
}

} // namespace
} // namespace orvix::test
