// The three dialog models driven through the scripted controls host against an
// emulated camera: what they show at opening, what the user's actions change in the
// Camera, the store and the device, and how OK, Cancel and Default end.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "../camera/emulated_frames.h"
#include "../camera/stored_settings.h"
#include "camera/camera.h"
#include "camera/property_ids.h"
#include "device/emulated_cameras.h"
#include "dialog_templates.h"
#include "dialogs/scripted_controls.h"
#include "imaging/auto_exposure.h"

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

// What the camera at slot 0 was last sent.
int sentGain() { return EmulatedCameras::state(0).globalGain; }
int sentExposure() { return EmulatedCameras::state(0).exposure; }

// A snapshot on a thread of its own, which stands for the capture thread: the frame
// is processed and what it measured is stored off the dialog's thread. The metering
// clock starts afresh, so an exposure correction the frame calls for is applied.
void snapOnAnotherThread(Camera& camera) {
    autoexposure::resetClockForTesting();
    std::thread capture([&camera] { EXPECT_EQ(camera.snapShot(nullptr, 0, 1), 1); });
    capture.join();
}

// ---- camera settings dialog -------------------------------------------------------------

int runCamera(Camera& camera, std::function<void(ScriptedControls&)> script,
              Language language = Language::English) {
    return camera.setCameraDlg(0, scriptedRunner(std::move(script), language));
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
    EXPECT_EQ(cam.getColorMode(), 8);
    EXPECT_EQ(cam.getWaitTime(), 25);
    const VideoFormat format = cam.captureConfig().window;
    EXPECT_EQ(format.hStart, 800);
    EXPECT_EQ(format.hEffective, 800);
    // The window passes the sensor's edge: the next capture start refuses it.
    EXPECT_EQ(cam.snapShot(nullptr, 0, 1), 0);
    EXPECT_EQ(cam.popError(), ERR_GEOMETRY);
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
    EXPECT_EQ(cam.width(), 107);
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

// A preview running when the dialog opens is stopped while it is open and started
// again after it with the settings it stored.
TEST_F(DialogModels, APreviewStopsForTheCameraDialogAndRestartsWithWhatItStored) {
    attach({0}, 30);
    Camera& cam = open();
    ASSERT_EQ(cam.startPreview(), 1); // without a window of its own
    ASSERT_TRUE(framesFollow(0, framesSent(0), 2));
    runCamera(cam, [&](ScriptedControls& c) {
        EXPECT_EQ(cam.captureState(), kCaptureIdle);
        const std::uint32_t sent = framesSent(0);
        std::this_thread::sleep_for(std::chrono::milliseconds(150)); // a running preview takes 4 or 5 meanwhile
        EXPECT_EQ(framesSent(0), sent) << "the preview went on under the dialog";
        c.choose(1009, 0); // 8 bits
        c.click(1);
    });
    EXPECT_EQ(cam.captureState(), kCapturePreview);
    EXPECT_TRUE(framesFollow(0, framesSent(0), 2));
    // The restarted preview processes its frames as 8-bit images: the last one fits a
    // buffer of one byte a pixel (until its first frame, GetImage finds none).
    std::vector<std::uint8_t> image(1360 * 1024);
    int copied = 0;
    for (int tries = 0; tries < 250 && !copied; ++tries) {
        copied = cam.getImage(image.data(), static_cast<std::int32_t>(image.size()), 1);
        if (!copied) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(copied, 1);
    EXPECT_EQ(cam.stopPreview(), 1);
}

// A capture prepared for snapshots is ended while the dialog is open and prepared
// again after it, in the format it stored.
TEST_F(DialogModels, APreparedCaptureEndsForTheCameraDialogAndIsPreparedAgainWithWhatItStored) {
    Camera& cam = open();
    ASSERT_EQ(cam.capture(), 1);
    ASSERT_EQ(cam.snapShot(nullptr, 0, 1), 1);
    runCamera(cam, [&](ScriptedControls& c) {
        EXPECT_EQ(cam.captureState(), kCaptureIdle);
        c.choose(1009, 0); // 8 bits
        c.click(1);
    });
    EXPECT_EQ(cam.captureState(), kCaptureSnapshotReady);
    // Its snapshots are 8-bit: one byte a pixel is room enough.
    std::vector<std::uint8_t> image(1360 * 1024);
    EXPECT_EQ(cam.snapShot(image.data(), static_cast<std::int32_t>(image.size()), 1), 1);
    EXPECT_EQ(cam.popError(), 0);
    EXPECT_EQ(cam.close(), 1);
}

TEST_F(DialogModels, OneDialogOfAKindAtATime) {
    Camera& cam = open();
    Camera other;
    int nested = -1;
    runCamera(cam, [&](ScriptedControls& c) {
        nested = cam.setCameraDlg(0, failingRunner());
        // A dialog of another kind may open meanwhile.
        EXPECT_EQ(cam.showImageDialog(0, failingRunner()), 1);
        c.click(2);
    });
    // The nested one returns at once as a cancelled dialog would, leaving no error.
    EXPECT_EQ(nested, 1);
    EXPECT_EQ(cam.popError(), 0);
    EXPECT_EQ(cam.setCameraDlg(0, failingRunner()), 1);
    // Without the device link: ERR_NOT_INITIALIZED for every kind.
    EXPECT_EQ(other.setCameraDlg(0, failingRunner()), 0);
    EXPECT_EQ(other.showAnalogDialog(0, failingRunner()), 0);
    EXPECT_EQ(other.showImageDialog(0, failingRunner()), 0);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(other.popError(), ERR_NOT_INITIALIZED);
    EXPECT_EQ(other.popError(), 0);
}

// ---- analog gain dialog -----------------------------------------------------------------

int runAnalog(Camera& camera, std::function<void(ScriptedControls&, ScriptedControls&, ScriptedControls&)> script) {
    return camera.showAnalogDialog(0, scriptedRunner([&](ScriptedControls& frame) {
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
        EXPECT_EQ(sentGain(), 700);
        for (int edit : {1019, 1021, 1023, 1025}) EXPECT_EQ(gain.text(edit), "700");
        for (int track : {1018, 1020, 1022, 1024}) EXPECT_EQ(gain.trackPos(track), 0);
        EXPECT_EQ(gain.trackPos(1014), 700);
        gain.type(1027, "5000");
        EXPECT_EQ(cam.gainBlock().exposure, 5000);
        EXPECT_EQ(sentExposure(), 1068);
        gain.drag(1026, 300);
        EXPECT_EQ(gain.text(1027), "300");
        EXPECT_EQ(sentExposure(), 300);
        frame.selectTab(1001, 1);
        EXPECT_FALSE(gain.visible);
        EXPECT_TRUE(monitor.visible);
        frame.click(1);
    });
    const GainBlock gains = cam.gainBlock();
    EXPECT_EQ(gains.globalGain, 700);
    EXPECT_EQ(gains.colorGainRed, 700);
    EXPECT_EQ(gains.exposure, 300);
}

TEST_F(DialogModels, CancelResendsTheOpeningGainAndDefaultKeepsMirrorAndIris) {
    Camera& cam = open();
    const int opening = sentGain();
    runAnalog(cam, [&](ScriptedControls& frame, ScriptedControls& gain, ScriptedControls&) {
        gain.type(1015, "900");
        EXPECT_EQ(sentGain(), 900);
        gain.click(1029);
        EXPECT_EQ(cam.gainBlock().mirrorV, 1);
        frame.click(2);
    });
    EXPECT_EQ(sentGain(), opening);
    EXPECT_EQ(cam.gainBlock().globalGain, opening);
    EXPECT_EQ(cam.gainBlock().mirrorV, 0);

    runAnalog(cam, [&](ScriptedControls& frame, ScriptedControls& gain, ScriptedControls&) {
        gain.click(1037);
        EXPECT_EQ(cam.getAutoIris(nullptr), 1);
        gain.click(1036); // the two iris boxes exclude each other
        EXPECT_FALSE(gain.isChecked(1037));
        EXPECT_EQ(cam.getAutoIris(nullptr), 2);
        gain.click(1029);
        gain.type(1015, "100");
        gain.type(1027, "500");
        frame.click(3);
        EXPECT_EQ(sentGain(), 512);
        EXPECT_EQ(sentExposure(), 64);
        EXPECT_EQ(gain.text(1015), "512");
        EXPECT_EQ(gain.text(1021), "0");
        EXPECT_EQ(gain.trackPos(1026), 64);
        EXPECT_TRUE(gain.isChecked(1029));
        EXPECT_TRUE(gain.isChecked(1036));
        frame.click(1);
    });
    const GainBlock gains = cam.gainBlock();
    EXPECT_EQ(gains.globalGain, 512);
    EXPECT_EQ(gains.colorGainRed, 0);
    EXPECT_EQ(gains.mirrorV, 1);
    EXPECT_EQ(gains.autoIris, 2);
}

TEST_F(DialogModels, MonitorPageReadsItsRegistersAtOpening) {
    Camera& cam = open();
    ASSERT_EQ(cam.fpgaWriteRegister(0x60, 0x0003), 1);
    ASSERT_EQ(cam.fpgaWriteRegister(0xA0, 0x0534), 1);
    ASSERT_EQ(cam.fpgaWriteRegister(0x64, 321), 1);
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

// Frames metered off the dialog's thread correct the exposure (auto iris 1) and then
// the gain (2); the open dialog shows each new value only when its posted work runs
// on its own thread, and once closed it is no longer reached.
TEST_F(DialogModels, AutoExposureFromTheCaptureThreadArrivesOnTheDialogThread) {
    Camera& cam = open();
    ASSERT_EQ(cam.setColorMode(8), 1);
    ASSERT_EQ(cam.setAutoIris(1), 1);
    runAnalog(cam, [&](ScriptedControls& frame, ScriptedControls& gain, ScriptedControls&) {
        gain.type(1027, "1068"); // overexposed: most of the scene saturates
        snapOnAnotherThread(cam);
        const int exposure = cam.gainBlock().exposure;
        EXPECT_LT(exposure, 1068);
        EXPECT_EQ(sentExposure(), exposure);
        EXPECT_EQ(gain.text(1027), "1068"); // nothing touched the controls off their thread
        frame.runPosted();
        EXPECT_EQ(gain.text(1027), std::to_string(exposure));

        gain.type(1027, "1068");
        gain.click(1036); // iris by gain
        const int opening = cam.gainBlock().globalGain;
        snapOnAnotherThread(cam);
        const int globalGain = cam.gainBlock().globalGain;
        EXPECT_LT(globalGain, opening);
        EXPECT_EQ(sentGain(), globalGain);
        EXPECT_EQ(gain.text(1015), std::to_string(opening));
        frame.runPosted();
        EXPECT_EQ(gain.text(1015), std::to_string(globalGain));
        EXPECT_EQ(sentExposure(), 1068);
        frame.click(1);
    });
    // No dialog: the correction reaches only the camera and the gain block.
    const int kept = cam.gainBlock().globalGain;
    snapOnAnotherThread(cam);
    EXPECT_LT(cam.gainBlock().globalGain, kept);
    EXPECT_EQ(sentGain(), cam.gainBlock().globalGain);
}

// ---- image filter dialog ----------------------------------------------------------------

int runFilter(Camera& camera, std::function<void(ScriptedControls&, ScriptedControls&, ScriptedControls*)> script) {
    return camera.showImageDialog(0, scriptedRunner([&](ScriptedControls& frame) {
        ScriptedControls* image = frame.page(DialogKind::ImagePage);
        ASSERT_TRUE(image);
        script(frame, *image, frame.page(DialogKind::GrayPage));
    }));
}

TEST_F(DialogModels, FilterPagesAndEnablesFollowTheColourType) {
    Camera& cam = open();
    ASSERT_EQ(cam.setColorMode(8), 1);
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
    ASSERT_EQ(cam.setColorMode(24), 1);
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
    ASSERT_EQ(cam.setColorMode(24), 1);
    runFilter(cam, [&](ScriptedControls& frame, ScriptedControls& image, ScriptedControls*) {
        image.drag(2001, 100);
        EXPECT_EQ(cam.filterSettings().brightness, 100);
        EXPECT_EQ(image.text(2002), "100");
        image.type(2012, "50");
        EXPECT_EQ(cam.filterSettings().contrast, 50);
        EXPECT_EQ(image.trackPos(2011), 50);
        image.drag(2001, -300); // the trackbar keeps its range
        EXPECT_EQ(cam.filterSettings().brightness, -255);
        image.click(1031);
        EXPECT_EQ(cam.filterSettings().bayerMode, 1);
        EXPECT_FALSE(image.isChecked(1033));
        frame.click(2);
    });
    EXPECT_EQ(cam.filterSettings().brightness, 0);
    EXPECT_EQ(cam.filterSettings().contrast, 0);
    EXPECT_EQ(cam.filterSettings().bayerMode, 3);
    runFilter(cam, [&](ScriptedControls& frame, ScriptedControls& image, ScriptedControls*) {
        image.drag(2001, 100);
        frame.click(1);
    });
    EXPECT_EQ(cam.filterSettings().brightness, 100);
    // A dialog that could not be created counts as Cancel: what changed meanwhile is
    // undone.
    EXPECT_EQ(cam.showImageDialog(0, [&](DialogKind, platform::WindowHandle, dialogs::DialogHandler&) {
                  EXPECT_EQ(cam.setFilterValue(kPropertyBrightness, 7), 1);
                  return -1;
              }),
              1);
    EXPECT_EQ(cam.filterSettings().brightness, 100);
}

TEST_F(DialogModels, DefaultAndOnceOnBothPages) {
    Camera& cam = open();
    ASSERT_EQ(cam.setColorMode(16), 1);
    ASSERT_EQ(cam.setFilterValue(kPropertyGrayMode, 2), 1);
    ASSERT_EQ(cam.setFilterValue(kPropertyBrightness, 40), 1);
    ASSERT_EQ(cam.setFilterValue(kPropertyGrayGainG1, 200), 1);
    ASSERT_EQ(cam.setFilterValue(kPropertyGrayOffsetB, -20), 1);
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
        EXPECT_EQ(cam.filterSettings().grayGainAuto, -1);
        gray->click(1035);
        EXPECT_EQ(cam.filterSettings().grayGainAuto, 0);
        gray->click(2074);
        EXPECT_EQ(cam.filterSettings().grayGainAuto, 1);
        frame.click(1);
    });
    const FilterSettings kept = cam.filterSettings();
    EXPECT_EQ(kept.grayGainG1, 128);
    EXPECT_EQ(kept.grayOffsetB, 0);
    EXPECT_EQ(kept.grayMode, 2);
    EXPECT_EQ(kept.gamma, 100);
    EXPECT_EQ(kept.brightness, 0);

    ASSERT_EQ(cam.setColorMode(32), 1);
    runFilter(cam, [&](ScriptedControls& frame, ScriptedControls& image, ScriptedControls*) {
        image.click(1035);
        EXPECT_EQ(cam.filterSettings().bayerGainAuto, 1);
        EXPECT_EQ(cam.filterSettings().bayerGainOnce1, 0);
        image.click(2074);
        EXPECT_FALSE(image.isChecked(1035));
        EXPECT_EQ(cam.filterSettings().bayerGainOnce1, 1);
        EXPECT_EQ(cam.filterSettings().bayerGainOnce2, 1);
        frame.click(1);
    });
}

// Gray site gains measured off the dialog's thread reach the open gray page through
// its posted work; once closed, later measurements no longer reach it.
TEST_F(DialogModels, AMeasurementReloadsTheGrayPageOnTheDialogThread) {
    Camera& cam = open();
    ASSERT_EQ(cam.setColorMode(8), 1);
    // The chart's white and yellow bars: too little blue for unity site gains.
    ASSERT_EQ(cam.setCaptureWindowEx(1360, 0, 340, 1024, 0, 760), 1);
    FilterSettings measured;
    runFilter(cam, [&](ScriptedControls& frame, ScriptedControls&, ScriptedControls* gray) {
        ASSERT_NE(gray, nullptr);
        gray->click(1046); // site gains
        gray->click(1035); // measured on every frame
        const std::string shownR = gray->text(2101);
        snapOnAnotherThread(cam);
        measured = cam.filterSettings();
        EXPECT_NE(std::to_string(measured.grayGainR), shownR);
        EXPECT_EQ(gray->text(2101), shownR); // nothing touched the controls off their thread
        frame.runPosted();
        EXPECT_EQ(gray->text(2101), std::to_string(measured.grayGainR));
        EXPECT_EQ(gray->trackPos(2100), measured.grayGainR);
        EXPECT_EQ(gray->trackPos(2109), measured.grayGainB);
        frame.click(1);
    });
    const FilterSettings kept = cam.filterSettings();
    EXPECT_EQ(kept.grayGainR, measured.grayGainR);
    EXPECT_EQ(kept.grayGainB, measured.grayGainB);
    EXPECT_EQ(kept.grayMode, 1);
    EXPECT_LT(kept.grayGainAuto, 0);
    snapOnAnotherThread(cam); // measures again, with no dialog to reload
}

#ifndef _WIN32
TEST_F(DialogModels, WithoutADisplayNoDialogIsCreated) {
    Camera& cam = open();
    unsetEnvironment("DISPLAY");
    unsetEnvironment("WAYLAND_DISPLAY");
    const int gain = sentGain();
    ASSERT_EQ(cam.setFilterValue(kPropertyBrightness, 30), 1);
    // Not reloaded from the store: the dialog never closed with OK.
    ASSERT_EQ(cam.setCaptureWindowEx(1360, 0, 800, 1024, 0, 1024), 1);
    EXPECT_EQ(cam.showImageDialog(0), 1);
    EXPECT_EQ(cam.filterSettings().brightness, 30);
    EXPECT_EQ(cam.showAnalogDialog(0), 1);
    EXPECT_EQ(sentGain(), gain);
    EXPECT_EQ(cam.setCameraDlg(0), 1);
    EXPECT_EQ(cam.width(), 800);
    EXPECT_EQ(cam.popError(), 0);
}
#endif

} // namespace
} // namespace orvix::test
