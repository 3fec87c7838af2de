// The settings stores on their own: per-slot gains, filter values, and the camera
// settings dialog's copy of the format list with its gap rule and record limit.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "camera/camera_dialog_store.h"
#include "device/device_link.h"
#include "device/emulated_cameras.h"
#include "device/gain_store.h"
#include "imaging/filter_store.h"
#include "stored_settings.h"

namespace orvix::test {
namespace {

// ---- gains ----------------------------------------------------------------------------

class GainStore : public EmulatedCameras {
protected:
    void SetUp() override {
        resetSettings();
        attach({0, 3});
        link = std::make_unique<DeviceLink>();
    }
    void TearDown() override {
        link.reset();
        resetSettings();
        EmulatedCameras::TearDown();
    }
    std::unique_ptr<DeviceLink> link;
};

TEST_F(GainStore, NothingStoredGivesTheBuiltInBlock) {
    GainBlock gains{1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(loadGainSettings(*link, gains), 1);
    const GainBlock expected{512, 0, 0, 0, 0, 64, 0, 0};
    EXPECT_EQ(std::memcmp(&gains, &expected, sizeof gains), 0);
}

TEST_F(GainStore, EachSlotHasItsOwnRecord) {
    GainBlock first{700, 1, 2, 3, 4, 900, 1, 2};
    ASSERT_EQ(saveGainSettings(*link, first), 1);
    ASSERT_EQ(link->selectDevice(3), 0);
    GainBlock other{};
    EXPECT_EQ(loadGainSettings(*link, other), 1);
    EXPECT_EQ(other.globalGain, 512); // Gain_03 does not exist yet
    EXPECT_EQ(stored("Gain_00", "Global"), 700);
    EXPECT_EQ(stored("Gain_00", "ColorG2"), 4);
    EXPECT_EQ(stored("Gain_00", "AutoIris"), 2);

    ASSERT_EQ(link->selectDevice(0), 0);
    GainBlock loaded{};
    EXPECT_EQ(loadGainSettings(*link, loaded), 1);
    EXPECT_EQ(std::memcmp(&loaded, &first, sizeof loaded), 0);
}

TEST_F(GainStore, AMissingGainRepeatsTheOneBeforeItAndOtherValuesStay) {
    store("Gain_00", {{"ColorG1", 9}, {"ColorB", 7}, {"Exposure", 300}});
    GainBlock gains{1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(loadGainSettings(*link, gains), 1);
    EXPECT_EQ(gains.globalGain, 0);      // nothing read before it: the carried 0
    EXPECT_EQ(gains.colorGainGreen1, 9);
    EXPECT_EQ(gains.colorGainRed, 9);    // repeats ColorG1
    EXPECT_EQ(gains.colorGainBlue, 7);
    EXPECT_EQ(gains.colorGainGreen2, 7); // repeats ColorB
    EXPECT_EQ(gains.exposure, 300);
    EXPECT_EQ(gains.mirrorV, 7);         // missing: unchanged
    EXPECT_EQ(gains.autoIris, 8);
}

// ---- filters --------------------------------------------------------------------------

class FilterStore : public StoredSettings {};

TEST_F(FilterStore, NothingStoredGivesNeutralValues) {
    FilterSettings filter{};
    filter.grayMode = 2;
    filter.bayerGainAuto = 1;
    filter.grayGainAuto = -1;
    EXPECT_EQ(loadFilterSettings(filter), 0);
    EXPECT_EQ(loadGraySettings(filter), 0);
    EXPECT_EQ(filter.brightness, 0);
    EXPECT_EQ(filter.bayerGainRed, 100);
    EXPECT_EQ(filter.bayerGainGreen, 100);
    EXPECT_EQ(filter.bayerGainBlue, 100);
    EXPECT_EQ(filter.gamma, 100);
    EXPECT_EQ(filter.bayerMode, 3);
    EXPECT_EQ(filter.bayerGainAuto, 0);
    EXPECT_EQ(filter.grayGainR, 128);
    EXPECT_EQ(filter.grayGainB, 128);
    EXPECT_EQ(filter.grayOffsetG2, 0);
    EXPECT_EQ(filter.grayMode, 2);     // not part of the store
    EXPECT_EQ(filter.grayGainAuto, -1);
}

TEST_F(FilterStore, AMissingValueLeavesItsSetting) {
    store("Filter", {{"Brightness", -20}});
    FilterSettings filter{};
    EXPECT_EQ(loadFilterSettings(filter), 1);
    EXPECT_EQ(filter.brightness, -20);
    EXPECT_EQ(filter.gamma, 0); // not the neutral 100: the record exists
    EXPECT_EQ(filter.bayerMode, 0);
}

TEST_F(FilterStore, EveryValueRoundTrips) {
    using Field = std::int32_t FilterSettings::*;
    const Field fields[] = {
        &FilterSettings::brightness,   &FilterSettings::contrast,     &FilterSettings::hue,
        &FilterSettings::saturation,   &FilterSettings::sharpness,    &FilterSettings::bayerGainRed,
        &FilterSettings::bayerGainGreen, &FilterSettings::bayerGainBlue, &FilterSettings::gamma,
        &FilterSettings::bayerMode,    &FilterSettings::grayGainR,    &FilterSettings::grayGainG1,
        &FilterSettings::grayGainG2,   &FilterSettings::grayGainB,    &FilterSettings::grayOffsetR,
        &FilterSettings::grayOffsetG1, &FilterSettings::grayOffsetG2, &FilterSettings::grayOffsetB,
    };
    FilterSettings saved{};
    int next = -60;
    for (const Field field : fields) saved.*field = (next += 7);
    saved.grayMode = 2;
    ASSERT_EQ(saveFilterSettings(saved), 1);
    ASSERT_EQ(saveGraySettings(saved), 1);
    EXPECT_EQ(stored("Filter", "BayerMode"), saved.bayerMode);
    EXPECT_EQ(stored("Gray", "OffsetB1"), saved.grayOffsetB);
    EXPECT_FALSE(stored("Gray", "Mode").has_value());

    FilterSettings loaded{};
    ASSERT_EQ(loadFilterSettings(loaded), 1);
    ASSERT_EQ(loadGraySettings(loaded), 1);
    saved.grayMode = 0; // the gray mode is not stored
    EXPECT_EQ(std::memcmp(&loaded, &saved, sizeof loaded), 0);
}

// ---- the camera settings dialog's copy -----------------------------------------------

class DialogStore : public StoredSettings {};

TEST_F(DialogStore, WithoutTheKeyTheBuiltInCopyStays) {
    CameraDialogState state;
    EXPECT_FALSE(state.load());
    EXPECT_EQ(state.formatCount, 0);
    EXPECT_EQ(state.selectedFormat, 0);
    EXPECT_EQ(state.color, 0);
    EXPECT_EQ(state.subSample, 0);
    EXPECT_EQ(state.waitTime, 10);
    EXPECT_EQ(state.clock, 0);
    EXPECT_EQ(state.formats[0].hEffective, 0);
    EXPECT_EQ(state.formats[99].bufferCount, 10);
    EXPECT_TRUE(state.canAddFormat());
}

TEST_F(DialogStore, TheListEndsAtTheFirstGap) {
    storeFormat(0, 1360, 1024, 1360, 1024, 0, 0, 10);
    store("Size_01", {{"EH", 640}, {"EV", 480}, {"EHS", 8}}); // "Buf" missing
    storeFormat(3, 1360, 1024, 800, 600, 0, 0, 10);
    store("", {{"Size", 1}, {"Color", 4}, {"SubSample", 2}, {"WaitTime", 33}, {"Clock", 1}});
    CameraDialogState state;
    EXPECT_TRUE(state.load());
    EXPECT_EQ(state.formatCount, 2);
    EXPECT_EQ(state.formats[1].hEffective, 640);
    EXPECT_EQ(state.formats[1].hStart, 8);
    EXPECT_EQ(state.formats[1].hTotal, 0);
    EXPECT_EQ(state.formats[1].bufferCount, 10);
    EXPECT_EQ(state.formats[2].hEffective, 0); // Size_03 is never seen
    EXPECT_EQ(state.selectedFormat, 1);
    EXPECT_EQ(state.color, 4);
    EXPECT_EQ(state.subSample, 2);
    EXPECT_EQ(state.waitTime, 33);
    EXPECT_EQ(state.clock, 1);
}

TEST_F(DialogStore, AStoredSelectionOutsideTheListSelectsTheFirstRecord) {
    storeFormat(0, 1360, 1024, 1360, 1024, 0, 0, 10);
    storeFormat(1, 1360, 1024, 640, 480, 0, 0, 10);
    for (const auto& [storedSize, expected] : {std::pair{2, 2}, std::pair{3, 0}, std::pair{-1, 0}}) {
        store("", {{"Size", storedSize}});
        CameraDialogState state;
        ASSERT_TRUE(state.load());
        EXPECT_EQ(state.selectedFormat, expected) << storedSize; // 2 is the new-format entry
    }
}

TEST_F(DialogStore, SaveAddsAndOverwritesButNeverRemoves) {
    storeFormat(0, 1360, 1024, 1360, 1024, 0, 0, 10);
    storeFormat(1, 1360, 1024, 640, 480, 0, 0, 10);
    storeFormat(2, 1360, 1024, 320, 240, 0, 0, 10);
    CameraDialogState state;
    ASSERT_TRUE(state.load());
    state.formatCount = 1; // only the first record is the dialog's
    state.formats[0].hEffective = 1000;
    state.selectedFormat = 0;
    state.color = 5;
    state.waitTime = 0;
    ASSERT_TRUE(state.save());
    EXPECT_EQ(stored("Size_00", "EH"), 1000);
    EXPECT_EQ(stored("Size_02", "EH"), 320);
    EXPECT_EQ(stored("", "Color"), 5);
    EXPECT_EQ(stored("", "WaitTime"), 0);

    CameraDialogState grown;
    ASSERT_TRUE(grown.load());
    ASSERT_EQ(grown.formatCount, 3);
    grown.formats[3] = VideoFormat{1360, 1024, 100, 100, 5, 6, 10};
    grown.formatCount = 4;
    grown.selectedFormat = 3;
    ASSERT_TRUE(grown.save());
    EXPECT_EQ(stored("Size_03", "EHS"), 5);
    EXPECT_EQ(stored("Size_03", "Buf"), 10);
    EXPECT_EQ(stored("", "Size"), 3);
}

TEST_F(DialogStore, AtMostOneHundredRecordsAreReadAndWritten) {
    // 101 consecutive records; only width and height are needed here.
    for (int n = 0; n <= 100; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "Size_%02d", n);
        store(name, {{"EH", n + 1}, {"EV", 1}});
    }
    CameraDialogState state;
    ASSERT_TRUE(state.load());
    EXPECT_EQ(state.formatCount, 100);
    EXPECT_EQ(state.formats[99].hEffective, 100);
    EXPECT_FALSE(state.canAddFormat());

    resetSettings();
    state.formatCount = 150; // more than the list holds: only its 100 records go out
    ASSERT_TRUE(state.save());
    EXPECT_EQ(stored("Size_99", "EH"), 100);
    EXPECT_FALSE(keyExists("Size_100"));
}

} // namespace
} // namespace orvix::test
