// The three dialog models driven through the scripted controls host against an
// emulated camera: what they show at opening, what the user's actions change in the
// Camera, the store and the device, and how OK, Cancel and Default end.

#include <gtest/gtest.h>

#include <thread>

#include "../camera/stored_settings.h"
#include "camera/camera.h"
#include "camera/dialog_runs.h"
#include "camera/camera_dialog.h"
#include "dialogs/analog_gain_dialog.h"
#include "device/device_link.h"
#include "device/emulated_cameras.h"
#include "dialog_templates.h"
#include "dialogs/scripted_controls.h"
#include "dialogs/image_filter_dialog.h"

namespace orvix::test {
namespace {

using dialogs::DialogKind;
using dialogs::Language;

class DialogModels : public EmulatedCameras {
protected:
    void SetUp() override {
        resetSettings();
        attach({0});
    }
    void TearDown() override {
        camera.reset();
        resetSettings();
        EmulatedCameras::TearDown();
    }
    Camera& open() {
        camera = std::make_unique<Camera>();
        EXPECT_EQ(camera->initialize(0), 1);
        return *camera;
    }
    std::unique_ptr<Camera> camera;
};

// ---- camera settings dialog -------------------------------------------------------------

int runCamera(Camera& camera, std::function<void(ScriptedControls&)> script,
              Language language = Language::English, const CaptureRestart& restart = {}) {
    return runCameraDialog(camera, 0, restart, scriptedRunner(std::move(script), language));
}

TEST_F(DialogModels, CameraDialogShowsTheDefaultStore) {
    Camera& cam = open();
    const int result = runCamera(cam, [](ScriptedControls& c) {
        EXPECT_EQ(c.control(1001).tabs, std::vector<std::string>{"Stream Format"});
        EXPECT_EQ(c.control(1010).items, (std::vector<std::string>{"1360 x 1024", "Custom"}));
        EXPECT_EQ(c.listSelection(1010), 0);
        EXPECT_EQ(c.listItem(1009, c.listSelection(1009)), "Color 24bit");
        EXPECT_EQ(c.listItem(1012, c.listSelection(1012)), "1/1");
        EXPECT_EQ(c.listItem(1014, c.listSelection(1014)), "Nomal");
        EXPECT_EQ(c.text(1045), "10");
        EXPECT_EQ(c.text(1039), "1360");
        EXPECT_EQ(c.text(1042), "1024");
        EXPECT_FALSE(c.isEnabled(1002));
        c.click(2);
    });
    EXPECT_EQ(result, 1);
    // H Total and V Total cannot be edited.
    const auto& dialog = dialogs::dialogTemplate(DialogKind::Camera);
    EXPECT_EQ(dialog.control(1039)->kind, dialogs::ControlKind::ReadOnlyEdit);
    EXPECT_EQ(dialog.control(1040)->kind, dialogs::ControlKind::ReadOnlyEdit);
}

TEST_F(DialogModels, CustomWithApplyAddsARecordThatCancelLeavesOutOfTheCamera) {
    Camera& cam = open();
    runCamera(cam, [](ScriptedControls& c) {
        c.choose(1010, 1);
        EXPECT_TRUE(c.isEnabled(1002));
        c.type(1041, "640");
        c.type(1042, "480");
        c.type(1043, "0");
        c.type(1044, "0");
        c.click(1002);
        EXPECT_EQ(c.control(1010).items, (std::vector<std::string>{"1360 x 1024", "640 x 480", "Custom"}));
        EXPECT_EQ(c.listSelection(1010), 1);
        EXPECT_FALSE(c.isEnabled(1002));
        c.click(2);
    });
    EXPECT_EQ(stored("Size_01", "EH"), 640);
    EXPECT_EQ(stored("Size_01", "EV"), 480);
    EXPECT_EQ(stored("Size_01", "Buf"), 10);
    EXPECT_EQ(stored("", "Size"), 1);
    EXPECT_EQ(cam.width(), 1360);
}

TEST_F(DialogModels, OkReloadsTheCameraWithoutCheckingTheGeometry) {
    Camera& cam = open();
    runCamera(cam, [](ScriptedControls& c) {
        c.choose(1009, 0);
        c.type(1043, "800");
        c.type(1041, "800");
        c.type(1045, "25");
        c.click(1);
        EXPECT_EQ(c.result(), 1);
    });
    EXPECT_EQ(cam.colorType, 0);
    EXPECT_EQ(cam.waitTime, 25);
    EXPECT_EQ(cam.format.hStart, 800);
    EXPECT_EQ(cam.format.hEffective, 800);
    EXPECT_FALSE(cam.isGeometryValid());
    // The list label of the overwritten record was replaced.
    runCamera(cam, [](ScriptedControls& c) {
        EXPECT_EQ(c.listItem(1010, 0), "800 x 1024");
        c.click(2);
    });
}

TEST_F(DialogModels, AFullListRefusesAnotherCustomRecord) {
    Camera& cam = open();
    for (int n = 0; n < 100; ++n) storeFormat(n, 1360, 1024, 100 + n, 100, 0, 0, 10);
    store("", {{"Size", 7}});
    runCamera(cam, [](ScriptedControls& c) {
        EXPECT_EQ(c.listCount(1010), 101);
        c.choose(1010, 100);
        c.type(1041, "640");
        c.click(1002);
        EXPECT_EQ(c.listCount(1010), 101);
        EXPECT_EQ(c.listSelection(1010), 7);
        EXPECT_EQ(c.text(1041), "107");
        c.click(1);
    });
    EXPECT_FALSE(keyExists("Size_100"));
    EXPECT_EQ(stored("", "Size"), 7);
    EXPECT_EQ(cam.format.hEffective, 107);
}

TEST_F(DialogModels, JapaneseListsAndTab) {
    Camera& cam = open();
    runCamera(
        cam,
        [](ScriptedControls& c) {
            EXPECT_EQ(c.control(1001).tabs, std::vector<std::string>{"ストリーム形式"});
            EXPECT_EQ(c.listItem(1009, 1), "白黒 10bit ※");
            EXPECT_EQ(c.listItem(1014, 1), "ハーフ");
            EXPECT_EQ(c.listItem(1010, 1), "カスタム");
            c.click(2);
        },
        Language::Japanese);
}

TEST_F(DialogModels, CaptureIsHeldOrRestartedAroundTheCameraDialog) {
    Camera& cam = open();
    std::vector<std::string> calls;
    CaptureRestart restart{[&](Camera&) { calls.push_back("stop"); }, [&](Camera&) { calls.push_back("preview"); },
                           [&](Camera&) { calls.push_back("capture"); }};
    cam.captureState = kCaptureTrigger;
    cam.threadRun = kThreadRun;
    runCamera(
        cam,
        [&](ScriptedControls& c) {
            EXPECT_EQ(cam.threadRun.load(), kThreadHold);
            c.click(2);
        },
        Language::English, restart);
    EXPECT_EQ(cam.threadRun.load(), kThreadRun);
    EXPECT_TRUE(calls.empty());

    cam.captureState = kCapturePreview;
    runCamera(cam, [&](ScriptedControls& c) {
        EXPECT_EQ(calls, std::vector<std::string>{"stop"});
        c.click(1);
    }, Language::English, restart);
    EXPECT_EQ(calls, (std::vector<std::string>{"stop", "preview"}));
    cam.captureState = kCaptureIdle;
}

TEST_F(DialogModels, OneDialogOfAKindAtATime) {
    Camera& cam = open();
    Camera other;
    int nested = -1;
    runCamera(cam, [&](ScriptedControls& c) {
        nested = runCameraDialog(cam, 0, {}, failingRunner());
        // A dialog of another kind may open meanwhile.
        EXPECT_EQ(runImageFilterDialog(cam, 0, failingRunner()), 1);
        c.click(2);
    });
    EXPECT_EQ(nested, 0);
    EXPECT_EQ(runCameraDialog(cam, 0, {}, failingRunner()), 1);
    // Without the device link: ERR_NOT_INITIALIZED for every kind.
    EXPECT_EQ(runCameraDialog(other, 0, {}, failingRunner()), 0);
    EXPECT_EQ(runAnalogGainDialog(other, 0, failingRunner()), 0);
    EXPECT_EQ(runImageFilterDialog(other, 0, failingRunner()), 0);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(other.errorQueue.pop(), ERR_NOT_INITIALIZED);
}

// ---- analog gain dialog -----------------------------------------------------------------

int runAnalog(Camera& camera, std::function<void(ScriptedControls&, ScriptedControls&, ScriptedControls&)> script) {
    return runAnalogGainDialog(camera, 0, scriptedRunner([&](ScriptedControls& frame) {
        ScriptedControls* gain = frame.page(DialogKind::GainPage);
        ScriptedControls* monitor = frame.page(DialogKind::MonitorPage);
        ASSERT_TRUE(gain && monitor);
        script(frame, *gain, *monitor);
    }));
}

TEST_F(DialogModels, TypedGainAndExposureReachTheCameraAtOnce) {
    Camera& cam = open();
    runAnalog(cam, [&](ScriptedControls& frame, ScriptedControls& gain, ScriptedControls& monitor) {
        EXPECT_EQ(frame.control(1001).tabs, (std::vector<std::string>{"Analog Gain", "Monitor Control"}));
        EXPECT_TRUE(gain.visible);
        EXPECT_FALSE(monitor.visible);
        EXPECT_EQ(gain.control(1014).trackMax, 1023);
        EXPECT_EQ(gain.control(1026).trackMin, 8);
        EXPECT_EQ(gain.control(1038).buddy, 1015);
        gain.type(1015, "700");
        EXPECT_EQ(cam.link->globalGain(), 700);
        for (int edit : {1019, 1021, 1023, 1025}) EXPECT_EQ(gain.text(edit), "700");
        for (int track : {1018, 1020, 1022, 1024}) EXPECT_EQ(gain.trackPos(track), 0);
        EXPECT_EQ(gain.trackPos(1014), 700);
        gain.type(1027, "5000");
        EXPECT_EQ(cam.gains.exposure, 5000);
        EXPECT_EQ(cam.link->exposure(), 1068);
        gain.drag(1026, 300);
        EXPECT_EQ(gain.text(1027), "300");
        EXPECT_EQ(cam.link->exposure(), 300);
        frame.selectTab(1001, 1);
        EXPECT_FALSE(gain.visible);
        EXPECT_TRUE(monitor.visible);
        frame.click(1);
    });
    EXPECT_EQ(cam.gains.globalGain, 700);
    EXPECT_EQ(cam.gains.colorGainRed, 700);
    EXPECT_EQ(cam.gains.exposure, 300);
}

TEST_F(DialogModels, CancelResendsTheOpeningGainAndDefaultKeepsMirrorAndIris) {
    Camera& cam = open();
    const int opening = cam.link->globalGain();
    runAnalog(cam, [&](ScriptedControls& frame, ScriptedControls& gain, ScriptedControls&) {
        gain.type(1015, "900");
        gain.click(1029);
        EXPECT_EQ(cam.gains.mirrorV, 1);
        frame.click(2);
    });
    EXPECT_EQ(cam.link->globalGain(), opening);
    EXPECT_EQ(cam.gains.globalGain, opening);
    EXPECT_EQ(cam.gains.mirrorV, 0);

    runAnalog(cam, [&](ScriptedControls& frame, ScriptedControls& gain, ScriptedControls&) {
        gain.click(1037);
        EXPECT_EQ(cam.gains.autoIris, 1);
        gain.click(1036); // the two iris boxes exclude each other
        EXPECT_FALSE(gain.isChecked(1037));
        EXPECT_EQ(cam.gains.autoIris, 2);
        gain.click(1029);
        gain.type(1015, "100");
        gain.type(1027, "500");
        frame.click(3);
        EXPECT_EQ(cam.link->globalGain(), 512);
        EXPECT_EQ(cam.link->exposure(), 64);
        EXPECT_EQ(gain.text(1015), "512");
        EXPECT_EQ(gain.text(1021), "0");
        EXPECT_EQ(gain.trackPos(1026), 64);
        EXPECT_TRUE(gain.isChecked(1029));
        EXPECT_TRUE(gain.isChecked(1036));
        frame.click(1);
    });
    EXPECT_EQ(cam.gains.globalGain, 512);
    EXPECT_EQ(cam.gains.colorGainRed, 0);
    EXPECT_EQ(cam.gains.mirrorV, 1);
    EXPECT_EQ(cam.gains.autoIris, 2);
}

TEST_F(DialogModels, MonitorPageReadsItsRegistersAtOpening) {
    Camera& cam = open();
    ASSERT_EQ(cam.link->writeFpgaRegister(0x60, 0x0003), 1);
    ASSERT_EQ(cam.link->writeFpgaRegister(0xA0, 0x0534), 1);
    ASSERT_EQ(cam.link->writeFpgaRegister(0x64, 321), 1);
    runAnalog(cam, [&](ScriptedControls& frame, ScriptedControls&, ScriptedControls& m) {
        EXPECT_FALSE(m.isChecked(1009));
        EXPECT_TRUE(m.isChecked(1035));
        EXPECT_FALSE(m.isEnabled(1035));
        EXPECT_TRUE(m.isChecked(4515));
        for (int id : {2051, 2052, 2054, 2061, 2062, 2063, 2071, 2072, 2073}) EXPECT_FALSE(m.isEnabled(id)) << id;
        EXPECT_EQ(m.text(2062), "321");
        EXPECT_EQ(m.listItem(1096, m.listSelection(1096)), "48 MHz");
        EXPECT_TRUE(m.isChecked(1100));
        m.choose(1096, 0);
        EXPECT_EQ(emulator().fpgaRegister(0, 0xA0), 0);
        // Colour on, AWB off: the gains come back and 0x60 is replaced.
        m.click(1009);
        m.click(1035);
        EXPECT_TRUE(m.isEnabled(2052));
        EXPECT_EQ(emulator().fpgaRegister(0, 0x60), 0x10);
        m.type(2052, "200");
        EXPECT_EQ(emulator().fpgaRegister(0, 0x62), 200);
        EXPECT_EQ(m.trackPos(2051), 200);
        m.choose(1010, 0);
        EXPECT_EQ(emulator().fpgaRegister(0, 0x24), 800);
        EXPECT_EQ(emulator().fpgaRegister(0, 0x32), 6);
        frame.click(2);
    });
    // Cancel does not undo the register writes.
    EXPECT_EQ(emulator().fpgaRegister(0, 0x62), 200);
}

TEST_F(DialogModels, AutoExposureFromTheCaptureThreadArrivesOnTheDialogThread) {
    Camera& cam = open();
    runAnalog(cam, [&](ScriptedControls& frame, ScriptedControls& gain, ScriptedControls&) {
        std::thread capture([&] {
            showExposureInDialog(cam, 400);
            showGlobalGainInDialog(cam, 80);
        });
        capture.join();
        EXPECT_NE(gain.text(1027), "400"); // nothing touched the controls off their thread
        frame.runPosted();
        EXPECT_EQ(gain.text(1027), "400");
        EXPECT_EQ(cam.link->exposure(), 400);
        EXPECT_EQ(cam.link->globalGain(), 80);
        frame.click(1);
    });
    EXPECT_EQ(cam.analogDialog.load(), nullptr);
    showExposureInDialog(cam, 500); // no dialog: nothing happens
    EXPECT_EQ(cam.link->exposure(), 400);
}

// ---- image filter dialog ----------------------------------------------------------------

int runFilter(Camera& camera, std::function<void(ScriptedControls&, ScriptedControls&, ScriptedControls*)> script) {
    return runImageFilterDialog(camera, 0, scriptedRunner([&](ScriptedControls& frame) {
        ScriptedControls* image = frame.page(DialogKind::ImagePage);
        ASSERT_TRUE(image);
        script(frame, *image, frame.page(DialogKind::GrayPage));
    }));
}

TEST_F(DialogModels, FilterPagesAndEnablesFollowTheColourType) {
    Camera& cam = open();
    cam.colorType = 0;
    runFilter(cam, [&](ScriptedControls& frame, ScriptedControls& image, ScriptedControls* gray) {
        EXPECT_EQ(frame.control(1001).tabs, (std::vector<std::string>{"Image Filter", "Gray Filter"}));
        ASSERT_NE(gray, nullptr);
        EXPECT_FALSE(gray->visible);
        for (int id : {2021, 2022, 2024, 2031, 2051, 2061, 2071, 2072, 2073, 2074, 1035, 1030, 1033})
            EXPECT_FALSE(image.isEnabled(id)) << id;
        for (int id : {2001, 2011, 2041, 2081, 2082, 2084}) EXPECT_TRUE(image.isEnabled(id)) << id;
        EXPECT_EQ(image.control(2021).trackMin, -360);
        EXPECT_EQ(image.control(2021).tickFrequency, 90);
        EXPECT_TRUE(gray->isEnabled(2101));
        frame.click(2);
    });
    cam.colorType = 2;
    runFilter(cam, [&](ScriptedControls& frame, ScriptedControls& image, ScriptedControls* gray) {
        EXPECT_EQ(frame.control(1001).tabs.size(), 1u);
        EXPECT_EQ(gray, nullptr);
        for (int id : {2021, 2051, 2074, 1035, 1030}) EXPECT_TRUE(image.isEnabled(id)) << id;
        EXPECT_TRUE(image.isChecked(1033)); // Bayer mode 3
        frame.click(2);
    });
}

TEST_F(DialogModels, FilterChangesAreLiveAndCancelRestoresThem) {
    Camera& cam = open();
    cam.colorType = 2;
    runFilter(cam, [&](ScriptedControls& frame, ScriptedControls& image, ScriptedControls*) {
        image.drag(2001, 100);
        EXPECT_EQ(cam.filter.brightness, 100);
        EXPECT_EQ(image.text(2002), "100");
        image.type(2012, "50");
        EXPECT_EQ(cam.filter.contrast, 50);
        EXPECT_EQ(image.trackPos(2011), 50);
        image.drag(2001, -300); // the trackbar keeps its range
        EXPECT_EQ(cam.filter.brightness, -255);
        image.click(1031);
        EXPECT_EQ(cam.filter.bayerMode, 1);
        EXPECT_FALSE(image.isChecked(1033));
        frame.click(2);
    });
    EXPECT_EQ(cam.filter.brightness, 0);
    EXPECT_EQ(cam.filter.contrast, 0);
    EXPECT_EQ(cam.filter.bayerMode, 3);
    runFilter(cam, [&](ScriptedControls& frame, ScriptedControls& image, ScriptedControls*) {
        image.drag(2001, 100);
        frame.click(1);
    });
    EXPECT_EQ(cam.filter.brightness, 100);
    // A dialog that could not be created counts as Cancel.
    EXPECT_EQ(runImageFilterDialog(cam, 0, [&](DialogKind, platform::WindowHandle, dialogs::DialogHandler&) {
                  cam.filter.brightness = 7;
                  return -1;
              }),
              1);
    EXPECT_EQ(cam.filter.brightness, 100);
}

TEST_F(DialogModels, DefaultAndOnceOnBothPages) {
    Camera& cam = open();
    cam.colorType = 1;
    cam.filter.grayMode = 2;
    cam.filter.brightness = 40;
    cam.filter.grayGainG1 = 300;
    cam.filter.grayOffsetB = -20;
    runFilter(cam, [&](ScriptedControls& frame, ScriptedControls& image, ScriptedControls* gray) {
        ASSERT_NE(gray, nullptr);
        EXPECT_TRUE(gray->isChecked(1047));
        EXPECT_EQ(gray->text(2122), "-20");
        frame.click(3);
        EXPECT_EQ(gray->text(2104), "128");
        EXPECT_EQ(gray->trackPos(2121), 0);
        EXPECT_EQ(image.text(2002), "0");
        EXPECT_EQ(image.text(2082), "100");
        EXPECT_TRUE(image.isChecked(1033));
        gray->click(1035);
        EXPECT_EQ(cam.filter.grayGainAuto, -1);
        gray->click(1035);
        EXPECT_EQ(cam.filter.grayGainAuto, 0);
        gray->click(2074);
        EXPECT_EQ(cam.filter.grayGainAuto, 1);
        frame.click(1);
    });
    EXPECT_EQ(cam.filter.grayGainG1, 128);
    EXPECT_EQ(cam.filter.grayOffsetB, 0);
    EXPECT_EQ(cam.filter.grayMode, 2);
    EXPECT_EQ(cam.filter.gamma, 100);

    cam.colorType = 3;
    runFilter(cam, [&](ScriptedControls& frame, ScriptedControls& image, ScriptedControls*) {
        image.click(1035);
        EXPECT_EQ(cam.filter.bayerGainAuto, 1);
        EXPECT_EQ(cam.filter.bayerGainOnce1, 0);
        image.click(2074);
        EXPECT_FALSE(image.isChecked(1035));
        EXPECT_EQ(cam.filter.bayerGainOnce1, 1);
        EXPECT_EQ(cam.filter.bayerGainOnce2, 1);
        frame.click(1);
    });
}

TEST_F(DialogModels, AMeasurementReloadsTheGrayPageOnTheDialogThread) {
    Camera& cam = open();
    cam.colorType = 0;
    runFilter(cam, [&](ScriptedControls& frame, ScriptedControls&, ScriptedControls* gray) {
        ASSERT_NE(gray, nullptr);
        gray->click(1046);
        gray->click(2074);
        std::thread capture([&] {
            {
                std::lock_guard<std::mutex> lock(cam.settingsMutex);
                cam.filter.grayGainR = 150;
                cam.filter.grayGainB = 90;
                cam.filter.grayGainAuto = 0;
            }
            reloadImageFilterDialog(cam);
        });
        capture.join();
        frame.runPosted();
        EXPECT_EQ(gray->text(2101), "150");
        EXPECT_EQ(gray->trackPos(2109), 90);
        frame.click(1);
    });
    EXPECT_EQ(cam.filter.grayGainR, 150);
    EXPECT_EQ(cam.filter.grayMode, 1);
    EXPECT_EQ(cam.imageDialog.load(), nullptr);
}

#ifndef _WIN32
TEST_F(DialogModels, WithoutADisplayNoDialogIsCreated) {
    Camera& cam = open();
    unsetEnvironment("DISPLAY");
    unsetEnvironment("WAYLAND_DISPLAY");
    const int gain = cam.link->globalGain();
    cam.filter.brightness = 30;
    cam.format.hEffective = 800; // not reloaded: the dialog never closed with OK
    EXPECT_EQ(runImageFilterDialog(cam, 0), 1);
    EXPECT_EQ(cam.filter.brightness, 30);
    EXPECT_EQ(runAnalogGainDialog(cam, 0), 1);
    EXPECT_EQ(cam.link->globalGain(), gain);
    EXPECT_EQ(runCameraDialog(cam, 0, {}), 1);
    EXPECT_EQ(cam.format.hEffective, 800);
    EXPECT_EQ(cam.errorQueue.pop(), 0);
}
#endif

} // namespace
} // namespace orvix::test
