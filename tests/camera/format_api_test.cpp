// Capture format, device selection and raw device access through the exported
// functions, with emulated cameras in slots 2 and 5 (slot 0, selected at start-up,
// is empty).

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "OrvixSdk_K62DT4.h"
#include "api_camera.h"
#include "stored_settings.h"
#include "support/test_environment.h"

namespace orvix::test {
namespace {

// The library reads the variable when the first camera opens.
const bool kEmulationSet = (setEnvironment("ORVIX_K62DT4_EMULATE", "2,5;rate=0"), true);

class FormatApi : public StoredSettings {
protected:
    void SetUp() override {
        ASSERT_TRUE(kEmulationSet);
        StoredSettings::SetUp();
    }
};

TEST_F(FormatApi, ColorModeSubSampleAndWaitTimeRejectBadValues) {
    ApiCamera camera;
    ASSERT_EQ(camera.errors(), Codes{});
    const int modes[] = {8, 16, 24, 32, 48, 64};
    for (int bits : modes) {
        EXPECT_EQ(Orvix_SetColorMode(camera, bits), 1);
        EXPECT_EQ(Orvix_GetColorMode(camera), bits);
    }
    for (int bad : {12, 0, -8, 7, 65}) {
        EXPECT_EQ(Orvix_SetColorMode(camera, bad), 0) << bad;
        EXPECT_EQ(camera.errors(), Codes{ERR_PARAMETER}) << bad;
        EXPECT_EQ(Orvix_GetColorMode(camera), 64);
    }

    EXPECT_EQ(Orvix_SetSubSample(camera, 2), 1);
    for (int bad : {3, -1}) {
        EXPECT_EQ(Orvix_SetSubSample(camera, bad), 0);
        EXPECT_EQ(Orvix_GetSubSample(camera), 2);
    }
    EXPECT_EQ(Orvix_SetWaitTime(camera, 0), 1);
    EXPECT_EQ(Orvix_SetWaitTime(camera, -1), 0);
    EXPECT_EQ(Orvix_GetWaitTime(camera), 0);
    EXPECT_EQ(camera.errors(), Codes{}); // sub-sample and wait time refuse silently

    EXPECT_EQ(Orvix_SetAutoIris(camera, 2), 1);
    EXPECT_EQ(Orvix_SetAutoIris(camera, 3), 0);
    EXPECT_EQ(camera.errors(), Codes{ERR_PARAMETER});
    int ok = 0;
    EXPECT_EQ(Orvix_GetAutoIris(camera, &ok), 2);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(Orvix_GetAutoIris(camera, nullptr), 2);
}

TEST_F(FormatApi, MirrorAndHalfClockReportTheDeviceNotTheRequest) {
    ApiCamera camera;
    EXPECT_EQ(Orvix_SetMirrorV(camera, 5), 1);
    EXPECT_EQ(Orvix_GetMirrorV(camera), 0);
    EXPECT_EQ(Orvix_GetMirrorH(camera, 1), 0);

    // Slot 0 is empty: the clock query gets no answer.
    int ok = 7;
    EXPECT_EQ(Orvix_GetHalfClock(camera, &ok), 0);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(camera.errors(), Codes{ERR_NOT_INITIALIZED});

    ASSERT_EQ(Orvix_SetDeviceNumber(camera, 2), 1);
    EXPECT_EQ(Orvix_SetHalfClock(camera, 1), 1);
    EXPECT_EQ(Orvix_GetHalfClock(camera, &ok), 0); // changes only at the next capture start
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(camera.errors(), Codes{});
}

TEST_F(FormatApi, CaptureWindowExKeepsRejectedValues) {
    ApiCamera camera;
    EXPECT_EQ(Orvix_SetCaptureWindowEx(camera, 1360, 0, 1360, 1024, 0, 1024), 1);
    EXPECT_EQ(Orvix_SetCaptureWindowEx(camera, 1360, 100, 640, 1024, 8, 480), 1);

    EXPECT_EQ(Orvix_SetCaptureWindowEx(camera, 1400, 100, 1300, 1100, 0, 1024), 0);
    EXPECT_EQ(camera.errors(), Codes{ERR_GEOMETRY});
    int hTotal = 0, hStart = 0, width = 0, vTotal = 0, vStart = 0, height = 0;
    EXPECT_EQ(Orvix_GetCaptureWindowEx(camera, &hTotal, &hStart, &width, &vTotal, &vStart, &height), 1);
    EXPECT_EQ(hTotal, 1400);
    EXPECT_EQ(hStart, 100);
    EXPECT_EQ(width, 1300);
    EXPECT_EQ(vTotal, 1100);
    EXPECT_EQ(vStart, 0);
    EXPECT_EQ(height, 1024);
    EXPECT_EQ(Orvix_Width(camera), 1300);
    EXPECT_EQ(Orvix_GetCaptureWindowEx(camera, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 1);

    struct Window {
        int x, width, y, height;
    };
    const Window bad[] = {{-1, 10, 0, 10}, {0, -1, 0, 10}, {0, 10, -1, 10}, {0, 10, 0, -1},
                          {0, 1361, 0, 10}, {0, 10, 0, 1025}, {1, 1360, 0, 10}, {0, 10, 1, 1024},
                          {1361, 0, 0, 10}, {0, 10, 1025, 0}};
    for (const Window& w : bad) {
        EXPECT_EQ(Orvix_SetCaptureWindowEx(camera, 1360, w.x, w.width, 1024, w.y, w.height), 0)
            << w.x << " " << w.width << " " << w.y << " " << w.height;
        EXPECT_EQ(camera.errors(), Codes{ERR_GEOMETRY});
    }
    // Windows the device link cannot copy: below 4 x 3 pixels, also at the edges.
    const Window tooSmall[] = {{0, 0, 0, 0}, {1360, 0, 1024, 0}, {0, 1, 0, 1}, {0, 3, 0, 3}, {0, 1360, 0, 1},
                               {0, 4, 0, 2}, {0, 3, 0, 1024}};
    for (const Window& w : tooSmall) {
        EXPECT_EQ(Orvix_SetCaptureWindowEx(camera, 1360, w.x, w.width, 1024, w.y, w.height), 0)
            << w.x << " " << w.width << " " << w.y << " " << w.height;
        EXPECT_EQ(camera.errors(), Codes{ERR_GEOMETRY});
    }
    // The smallest window at the far edges is on the sensor, and is captured.
    EXPECT_EQ(Orvix_SetCaptureWindowEx(camera, 1360, 1356, 4, 1024, 1021, 3), 1);
    ASSERT_EQ(Orvix_SetDeviceNumber(camera, 2), 1);
    std::uint8_t small[64] = {}; // 4 x 3 at up to 64 bits per pixel
    EXPECT_EQ(Orvix_SnapShot(camera, small, sizeof small, 1), 1);
    EXPECT_EQ(Orvix_SetCaptureWindowEx(camera, 1360, 360, 1000, 1024, 24, 1000), 1);
    EXPECT_EQ(camera.errors(), Codes{});
}

TEST_F(FormatApi, CaptureWindowChoosesTheFirstStoredRecordOfThatSizeUpToTheGap) {
    storeFormat(0, 1360, 1024, 1360, 1024, 0, 0, 10);
    storeFormat(1, 1500, 1100, 640, 480, 16, 8, 4);
    storeFormat(2, 1360, 1024, 640, 480, 0, 0, 10); // same size, later: never chosen
    store("Size_03", {{"EH", 320}, {"EV", 240}});   // the other values read as 0
    storeFormat(4, 1360, 1024, 1000, 600, 800, 0, 6); // outside the sensor
    storeFormat(6, 1360, 1024, 800, 600, 0, 0, 10);   // after the gap
    store("", {{"Size", 0}});
    ApiCamera camera;
    ASSERT_EQ(camera.errors(), Codes{});

    int hTotal = 0, hStart = 0, width = 0, vTotal = 0, vStart = 0, height = 0;
    auto window = [&] { Orvix_GetCaptureWindowEx(camera, &hTotal, &hStart, &width, &vTotal, &vStart, &height); };

    EXPECT_EQ(Orvix_SetCaptureWindow(camera, 640, 480), 1);
    window();
    EXPECT_EQ(hTotal, 1500);
    EXPECT_EQ(vTotal, 1100);
    EXPECT_EQ(hStart, 16);
    EXPECT_EQ(vStart, 8);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);

    EXPECT_EQ(Orvix_SetCaptureWindow(camera, 320, 240), 1);
    window();
    EXPECT_EQ(hTotal, 0);
    EXPECT_EQ(hStart, 0);
    EXPECT_EQ(vStart, 0);
    EXPECT_EQ(width, 320);

    EXPECT_EQ(Orvix_SetCaptureWindow(camera, 800, 600), 0); // only behind the gap
    EXPECT_EQ(Orvix_SetCaptureWindow(camera, 123, 45), 0);
    EXPECT_EQ(camera.errors(), Codes{});
    window();
    EXPECT_EQ(width, 320);

    // A stored record outside the sensor: the full frame, still a success.
    EXPECT_EQ(Orvix_SetCaptureWindow(camera, 1000, 600), 1);
    EXPECT_EQ(camera.errors(), Codes{ERR_GEOMETRY});
    window();
    EXPECT_EQ(hTotal, 1360);
    EXPECT_EQ(vTotal, 1024);
    EXPECT_EQ(hStart, 0);
    EXPECT_EQ(vStart, 0);
    EXPECT_EQ(width, 1360);
    EXPECT_EQ(height, 1024);

    // The selection in the store is not changed.
    EXPECT_EQ(stored("", "Size"), 0);
}

TEST_F(FormatApi, CaptureWindowWithoutStoredFormatsFails) {
    ApiCamera camera; // creates the defaults: Size_00 only
    EXPECT_EQ(Orvix_SetCaptureWindow(camera, 800, 600), 0);
    EXPECT_EQ(Orvix_SetCaptureWindow(camera, 1360, 1024), 1);
    resetSettings();
    EXPECT_EQ(Orvix_SetCaptureWindow(camera, 1360, 1024), 0); // no key at all
    EXPECT_EQ(camera.errors(), Codes{});
    EXPECT_EQ(Orvix_Width(camera), 1360);
}

TEST_F(FormatApi, EnumerationCountsCamerasAndNamesNumberSlots) {
    ApiCamera camera;
    std::vector<char> names(10 * 256, 'x');
    EXPECT_EQ(Orvix_EnumDevice(camera, names.data()), 2);
    EXPECT_STREQ(&names[0], "OrvixK62DT4_01");
    EXPECT_STREQ(&names[256], "OrvixK62DT4_02");
    for (int entry = 2; entry < 10; ++entry) EXPECT_EQ(names[static_cast<std::size_t>(entry) * 256], '\0') << entry;

    char name[16];
    EXPECT_EQ(Orvix_GetDeviceName(camera, 5, name, sizeof name), 1);
    EXPECT_STREQ(name, "OrvixK62DT4_06");
    EXPECT_EQ(Orvix_GetDeviceName(camera, 2, name, sizeof name), 1);
    EXPECT_STREQ(name, "OrvixK62DT4_03");
    EXPECT_EQ(camera.errors(), Codes{});

    EXPECT_EQ(Orvix_GetDeviceName(camera, 0, name, sizeof name), 0);
    EXPECT_EQ(camera.errors(), Codes{ERR_NO_CAMERA});
    EXPECT_EQ(Orvix_GetDeviceName(camera, 8, name, sizeof name), 0);
    EXPECT_EQ(Orvix_GetDeviceName(camera, -1, name, sizeof name), 0);
    EXPECT_EQ(camera.errors(), Codes{});
    EXPECT_EQ(Orvix_GetDeviceName(camera, 5, name, 15), 0);
    EXPECT_EQ(camera.errors(), Codes{ERR_PARAMETER});

    // Null buffers are refused instead of written through.
    EXPECT_EQ(Orvix_GetDeviceName(camera, 5, nullptr, 256), 0);
    EXPECT_EQ(camera.errors(), Codes{ERR_PARAMETER});
    EXPECT_EQ(Orvix_EnumDevice(camera, nullptr), 0);
    EXPECT_EQ(camera.errors(), Codes{ERR_PARAMETER});
}

TEST_F(FormatApi, DeviceNumberSelectsOnlyOccupiedSlots) {
    ApiCamera camera;
    EXPECT_EQ(Orvix_SetDeviceNumber(camera, 3), 0);
    EXPECT_EQ(camera.errors(), Codes{ERR_NO_CAMERA});
    EXPECT_EQ(Orvix_SetDeviceNumber(camera, 8), 0);
    EXPECT_EQ(Orvix_SetDeviceNumber(camera, -1), 0);
    EXPECT_EQ(camera.errors(), (Codes{ERR_NO_CAMERA, ERR_NO_CAMERA}));

    ASSERT_EQ(Orvix_SetDeviceNumber(camera, 5), 1);
    // Now the selected camera answers.
    int ok = 0;
    Orvix_GetHalfClock(camera, &ok);
    EXPECT_EQ(ok, 1);
    // Gain and exposure are the link's last values, the colour gains 0.
    EXPECT_EQ(Orvix_GetGlobalGain(camera, &ok), 512);
    EXPECT_EQ(Orvix_GetExposureTime(camera, &ok), 64);
}

TEST_F(FormatApi, CameraInfoChecksTheRecordSize) {
    ApiCamera camera;
    CameraInfo info{};
    info.size = 32;
    EXPECT_EQ(Orvix_GetCameraInfo(camera, &info), 0);
    EXPECT_EQ(camera.errors(), Codes{ERR_MEMORY});
    EXPECT_EQ(info.width, 0);
    EXPECT_EQ(Orvix_GetCameraInfo(camera, nullptr), 0);
    EXPECT_EQ(camera.errors(), Codes{ERR_PARAMETER});

    info.size = 36;
    EXPECT_EQ(Orvix_GetCameraInfo(camera, &info), 1);
    const int expected[] = {36, 1360, 1024, 0, 1023, 0, 0, 8, 1068};
    int fields[9];
    static_assert(sizeof fields == sizeof info, "nine int32 fields");
    std::memcpy(fields, &info, sizeof info);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(fields[i], expected[i]) << "field " << i;
}

TEST_F(FormatApi, RegisterAccessMasksAddressAndValue) {
    ApiCamera camera;
    // Slot 0 holds no camera: writes fail.
    EXPECT_EQ(Orvix_WriteRegister(camera, 0x20, 1), 0);
    EXPECT_EQ(Orvix_Fpga_WriteRegister(camera, 0x40, 1), 0);
    EXPECT_EQ(camera.errors(), (Codes{ERR_DEVICE_IO, ERR_DEVICE_IO}));
    ASSERT_EQ(Orvix_SetDeviceNumber(camera, 2), 1);

    int ok = 0;
    EXPECT_EQ(Orvix_WriteRegister(camera, 0x120, 0x12345), 1); // register 0x20, value 0x2345
    EXPECT_EQ(Orvix_ReadRegister(camera, 0x20, &ok), 0x2345);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(Orvix_ReadRegister(camera, 0x320, &ok), 0x2345);
    EXPECT_EQ(Orvix_ReadRegister(camera, 0x25, nullptr), 0); // never written
    EXPECT_EQ(Orvix_WriteRegister(camera, 0xC0, 1), 0); // 0xC0..0xFF hold no sensor register
    EXPECT_EQ(Orvix_ReadRegister(camera, 0x1C0, &ok), 0);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(camera.errors(), (Codes{ERR_DEVICE_IO, ERR_DEVICE_IO}));

    EXPECT_EQ(Orvix_Fpga_WriteRegister(camera, 0x40, 0xBEEF), 1);
    EXPECT_EQ(Orvix_Fpga_ReadRegister(camera, 0x40, &ok), 0xBEEF); // zero-extended
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(Orvix_Fpga_WriteRegister(camera, 0x08, 1), 0); // no FPGA register below 0x10
    EXPECT_EQ(camera.errors(), Codes{ERR_DEVICE_IO});

    EXPECT_EQ(Orvix_WriteSromID(camera, 3, 0x1AB), 1);
    EXPECT_EQ(Orvix_ReadSromID(camera, 3, &ok), 0xAB);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(Orvix_WriteSromID(camera, 8, 1), 0);
    EXPECT_EQ(Orvix_ReadSromID(camera, 8, &ok), 0);
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(camera.errors(), (Codes{ERR_NOT_INITIALIZED, ERR_NOT_INITIALIZED}));
}

TEST_F(FormatApi, PreviewPlacementNeedsOnlyTheLink) {
    ApiCamera camera;
    EXPECT_EQ(Orvix_SetPreviewWindow(camera, 0, 10, 20, 640, 480), 1);
    EXPECT_EQ(camera.errors(), Codes{});
}

TEST_F(FormatApi, UnknownHandleLeavesOutParametersAlone) {
    ORVIX_HANDLE unknown = reinterpret_cast<ORVIX_HANDLE>(static_cast<std::uintptr_t>(0x5EED));
    int ok = 7;
    int value = 7;
    char names[10 * 256] = {'x'};
    CameraInfo info{};
    info.size = 36;
    EXPECT_EQ(Orvix_SetColorMode(unknown, 8), 0);
    EXPECT_EQ(Orvix_GetHalfClock(unknown, &ok), 0);
    EXPECT_EQ(Orvix_GetAutoIris(unknown, &ok), 0);
    EXPECT_EQ(Orvix_ReadRegister(unknown, 0, &ok), 0);
    EXPECT_EQ(Orvix_ReadSromID(unknown, 0, &ok), 0);
    EXPECT_EQ(ok, 7);
    EXPECT_EQ(Orvix_GetCaptureWindowEx(unknown, &value, &value, &value, &value, &value, &value), 0);
    EXPECT_EQ(value, 7);
    EXPECT_EQ(Orvix_EnumDevice(unknown, names), 0);
    EXPECT_EQ(names[0], 'x');
    EXPECT_EQ(Orvix_GetCameraInfo(unknown, &info), 0);
    EXPECT_EQ(info.width, 0);
    EXPECT_EQ(Orvix_SetDeviceNumber(unknown, 2), 0);
    EXPECT_EQ(Orvix_GetMirrorV(unknown), 0);
}

} // namespace
} // namespace orvix::test
