// Every exported function that takes a handle, called with one the library does not
// know: it returns its unknown-handle value, writes nothing through its pointers and
// queues nothing anywhere. One row per function; a check keeps the table and the
// public header in step.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "OrvixSdk_K62DT4.h"
#include "camera/api_camera.h"
#include "declared_functions.h"
#include "support/test_environment.h"

namespace orvix::test {
namespace {

// What a call may write into; filled with a pattern before each call.
struct OutParams {
    int ints[6];
    char names[10 * 256];
    CameraInfo info;
    unsigned char image[64];
};

struct Row {
    std::string name;
    int unknownHandleValue;
    std::function<int(ORVIX_HANDLE, OutParams&)> call;
};

#define HANDLE_ONLY(Name, value) Row{#Name, value, [](ORVIX_HANDLE h, OutParams&) { return Orvix_##Name(h); }}
#define WITH_INT(Name) Row{#Name, 0, [](ORVIX_HANDLE h, OutParams&) { return Orvix_##Name(h, 1); }}
#define WITH_OK(Name) Row{#Name, 0, [](ORVIX_HANDLE h, OutParams& o) { return Orvix_##Name(h, &o.ints[0]); }}
#define WITH_WINDOW(Name) Row{#Name, 0, [](ORVIX_HANDLE h, OutParams&) { return Orvix_##Name(h, ORVIX_WINDOW{}); }}
#define WITH_BUFFER(Name)                                                                                      \
    Row{#Name, 0, [](ORVIX_HANDLE h, OutParams& o) { return Orvix_##Name(h, o.image, sizeof o.image, 1); }}
#define WITH_FRAME_WINDOW(Name)                                                                                \
    Row{#Name, 0, [](ORVIX_HANDLE h, OutParams& o) {                                                            \
            return Orvix_##Name(h, ORVIX_WINDOW{}, o.image, sizeof o.image, 1);                                   \
        }}
#define PROPERTY(Name) WITH_INT(Set##Name), WITH_OK(Get##Name)
#define MONITOR(Name) WITH_INT(Monitor_Set##Name), WITH_OK(Monitor_Get##Name)

std::vector<Row> rows() {
    return {
        // frame
        HANDLE_ONLY(Release, 0),
        HANDLE_ONLY(GetLastError, 0),
        // capture, display and saving
        Row{"Orvix_SaveImage", 0,
            [](ORVIX_HANDLE h, OutParams&) { return Orvix_SaveImage(h, "unknown-handle.bmp", ORVIX_IMAGE_BMP); }},
        WITH_INT(GetStatus),
        HANDLE_ONLY(Preview, 0), WITH_FRAME_WINDOW(CallBackPreview), WITH_FRAME_WINDOW(Trigger),
        HANDLE_ONLY(StartPreview, 0), HANDLE_ONLY(StopPreview, 0), HANDLE_ONLY(Capture, 0),
        WITH_BUFFER(SnapShot), WITH_BUFFER(GetImage), HANDLE_ONLY(Close, 0),
        // capture format
        HANDLE_ONLY(Width, 0),
        HANDLE_ONLY(Height, 0),
        HANDLE_ONLY(GetColorMode, -1),
        HANDLE_ONLY(GetSubSample, -1),
        HANDLE_ONLY(GetWaitTime, -1),
        WITH_INT(SetColorMode),
        WITH_INT(SetSubSample),
        WITH_INT(SetWaitTime),
        WITH_INT(SetHalfClock),
        WITH_OK(GetHalfClock),
        WITH_INT(SetMirrorV),
        HANDLE_ONLY(GetMirrorV, 0),
        WITH_INT(GetMirrorH),
        WITH_INT(SetAutoIris),
        WITH_OK(GetAutoIris),
        Row{"Orvix_SetCaptureWindow", 0, [](ORVIX_HANDLE h, OutParams&) { return Orvix_SetCaptureWindow(h, 640, 480); }},
        Row{"Orvix_SetCaptureWindowEx", 0,
            [](ORVIX_HANDLE h, OutParams&) { return Orvix_SetCaptureWindowEx(h, 1360, 0, 640, 1024, 0, 480); }},
        Row{"Orvix_GetCaptureWindowEx", 0,
            [](ORVIX_HANDLE h, OutParams& o) {
                int* v = o.ints;
                return Orvix_GetCaptureWindowEx(h, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
            }},
        Row{"Orvix_SetPreviewWindow", 0,
            [](ORVIX_HANDLE h, OutParams&) { return Orvix_SetPreviewWindow(h, ORVIX_WINDOW{}, 0, 0, 320, 240); }},
        // device selection and raw access
        WITH_INT(SetDeviceNumber),
        Row{"Orvix_EnumDevice", 0, [](ORVIX_HANDLE h, OutParams& o) { return Orvix_EnumDevice(h, o.names); }},
        Row{"Orvix_GetDeviceName", 0,
            [](ORVIX_HANDLE h, OutParams& o) { return Orvix_GetDeviceName(h, 0, o.names, sizeof o.names); }},
        Row{"Orvix_GetCameraInfo", 0,
            [](ORVIX_HANDLE h, OutParams& o) {
                o.info.size = sizeof(CameraInfo); // what an application sets; part of the pattern check
                return Orvix_GetCameraInfo(h, &o.info);
            }},
        Row{"Orvix_WriteRegister", 0, [](ORVIX_HANDLE h, OutParams&) { return Orvix_WriteRegister(h, 8, 1); }},
        Row{"Orvix_ReadRegister", 0, [](ORVIX_HANDLE h, OutParams& o) { return Orvix_ReadRegister(h, 8, o.ints); }},
        Row{"Orvix_Fpga_WriteRegister", 0,
            [](ORVIX_HANDLE h, OutParams&) { return Orvix_Fpga_WriteRegister(h, 0x60, 1); }},
        Row{"Orvix_Fpga_ReadRegister", 0,
            [](ORVIX_HANDLE h, OutParams& o) { return Orvix_Fpga_ReadRegister(h, 0x60, o.ints); }},
        Row{"Orvix_WriteSromID", 0, [](ORVIX_HANDLE h, OutParams&) { return Orvix_WriteSromID(h, 0, 1); }},
        Row{"Orvix_ReadSromID", 0, [](ORVIX_HANDLE h, OutParams& o) { return Orvix_ReadSromID(h, 0, o.ints); }},
        // properties by id
        Row{"Orvix_SetFilterValue", 0, [](ORVIX_HANDLE h, OutParams&) { return Orvix_SetFilterValue(h, 1, 1); }},
        Row{"Orvix_GetFilterValue", 0,
            [](ORVIX_HANDLE h, OutParams& o) { return Orvix_GetFilterValue(h, 1, o.ints); }},
        PROPERTY(Brightness), PROPERTY(Contrast), PROPERTY(Hue), PROPERTY(Saturation), PROPERTY(Sharpness),
        PROPERTY(BayerGainRGB), PROPERTY(BayerGainRed), PROPERTY(BayerGainGreen), PROPERTY(BayerGainBlue),
        PROPERTY(BayerGainAuto), PROPERTY(Gamma), PROPERTY(BayerMode), PROPERTY(GlobalGain),
        PROPERTY(ColorGainRed), PROPERTY(ColorGainGreen1), PROPERTY(ColorGainGreen2), PROPERTY(ColorGainBlue),
        PROPERTY(ExposureTime), PROPERTY(GrayMode), PROPERTY(GrayGainR), PROPERTY(GrayGainG1), PROPERTY(GrayGainG2),
        PROPERTY(GrayGainB), PROPERTY(GrayOffsetR), PROPERTY(GrayOffsetG1), PROPERTY(GrayOffsetG2),
        PROPERTY(GrayOffsetB),
        // dialogs
        WITH_WINDOW(SetCameraDlg),
        WITH_WINDOW(SetImageDlg),
        WITH_WINDOW(SetAnalogDlg),
        // monitor output
        MONITOR(PreviewMode), MONITOR(ColorMode), MONITOR(CameraClock), MONITOR(BayerGainAuto),
        MONITOR(BayerGainLock), MONITOR(BayerGainRed), MONITOR(BayerGainGreen), MONITOR(BayerGainBlue),
        Row{"Orvix_Monitor_SetPreviewSize", 0,
            [](ORVIX_HANDLE h, OutParams&) { return Orvix_Monitor_SetPreviewSize(h, 800, 600); }},
        Row{"Orvix_Monitor_GetPreviewSize", 0,
            [](ORVIX_HANDLE h, OutParams& o) { return Orvix_Monitor_GetPreviewSize(h, &o.ints[0], &o.ints[1]); }},
        // unsupported
        WITH_INT(Fps), WITH_INT(GetCameraType), WITH_INT(GetIOPort), WITH_INT(Record), WITH_INT(SetCameraType),
        WITH_INT(SetCrossbar), WITH_INT(SetIOPort), WITH_INT(SetMirrorH), WITH_INT(SetSamplingRate),
        WITH_OK(GetSamplingRate), WITH_OK(GetVideoFormat),
    };
}

// The rows built by the macros carry the bare name.
std::string exportName(const Row& row) { return row.name.rfind("Orvix_", 0) == 0 ? row.name : "Orvix_" + row.name; }

OutParams pattern() {
    OutParams params;
    std::memset(&params, 0x5A, sizeof params);
    params.info.size = sizeof(CameraInfo);
    return params;
}

TEST(UnknownHandle, TheTableCoversEveryFunctionThatTakesAHandle) {
    std::multiset<std::string> inTable;
    for (const Row& row : rows()) inTable.insert(exportName(row));
    std::set<std::string> declared(std::begin(orvixDeclaredFunctions), std::end(orvixDeclaredFunctions));
    declared.erase("Orvix_Initialize");
    declared.erase("Orvix_GetDllVersion");
    for (const std::string& name : declared) EXPECT_EQ(inTable.count(name), 1u) << name;
    for (const std::string& name : inTable) EXPECT_EQ(declared.count(name), 1u) << name << " is not declared";
}

void expectUnknownEverywhere(ORVIX_HANDLE unknown, const char* which) {
    for (const Row& row : rows()) {
        OutParams params = pattern();
        const OutParams before = params;
        EXPECT_EQ(row.call(unknown, params), row.unknownHandleValue) << exportName(row) << ", " << which;
        EXPECT_EQ(std::memcmp(&params, &before, sizeof params), 0) << exportName(row) << " wrote, " << which;
    }
}

TEST(UnknownHandle, EveryFunctionReturnsItsValueTouchesNothingAndQueuesNothing) {
    resetSettings();
    ApiCamera live;
    ASSERT_EQ(live.errors(), Codes{});
    ApiCamera released;
    const ORVIX_HANDLE gone = released.get();
    released.release();

    const auto never = reinterpret_cast<ORVIX_HANDLE>(static_cast<std::uintptr_t>(0x5EEDu));
    ASSERT_NE(never, live.get());
    expectUnknownEverywhere(never, "never issued");
    expectUnknownEverywhere(gone, "released");
    expectUnknownEverywhere(nullptr, "null");

    // The cursor moved through the live camera, but nothing reached its queue.
    EXPECT_EQ(live.errors(), Codes{});
    EXPECT_EQ(Orvix_Width(live), 1360);
}

} // namespace
} // namespace orvix::test
