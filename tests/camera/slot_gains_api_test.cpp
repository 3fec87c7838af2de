// Each camera slot keeps its own stored gain block: switching the handle to another
// camera and back, and releasing it, leaves every slot's record as it was stored,
// and the selected camera works with its own values.

#include <gtest/gtest.h>

#include "OrvixSdk_K62DT4.h"
#include "camera/api_camera.h"
#include "camera/stored_settings.h"

namespace orvix::test {
namespace {

const bool kEmulationSet = (setEnvironment("ORVIX_K62DT4_EMULATE", "0,3;rate=0"), true);

class SlotGains : public StoredSettings {
protected:
    void SetUp() override {
        ASSERT_TRUE(kEmulationSet);
        StoredSettings::SetUp();
        store("Gain_00", {{"Global", 100}, {"ColorG1", 11}, {"ColorR", 12}, {"ColorB", 13}, {"ColorG2", 14},
                          {"Exposure", 200}, {"V_Mirror", 0}, {"AutoIris", 1}});
        store("Gain_03", {{"Global", 300}, {"ColorG1", 31}, {"ColorR", 6}, {"ColorB", 33}, {"ColorG2", 34},
                          {"Exposure", 400}, {"V_Mirror", 0}, {"AutoIris", 2}});
    }

    static void expectRecord(const char* slot, std::initializer_list<std::pair<const char*, std::int32_t>> values) {
        for (const auto& [name, value] : values) EXPECT_EQ(stored(slot, name), value) << slot << " " << name;
    }
};

TEST_F(SlotGains, ASlotRoundTripAndAReleaseKeepEveryRecordAsStored) {
    {
        ApiCamera camera;
        EXPECT_EQ(Orvix_GetFilterValue(camera, 13, nullptr), 100);
        ASSERT_EQ(Orvix_SetDeviceNumber(camera, 3), 1);
        // Camera 3 works with its own block.
        int ok = 0;
        EXPECT_EQ(Orvix_GetFilterValue(camera, 13, &ok), 300);
        EXPECT_EQ(Orvix_GetFilterValue(camera, 18, &ok), 400);
        EXPECT_EQ(Orvix_GetAutoIris(camera, &ok), 2);
        ASSERT_EQ(Orvix_SetDeviceNumber(camera, 0), 1);
        EXPECT_EQ(Orvix_GetAutoIris(camera, &ok), 1);
        EXPECT_EQ(Orvix_GetFilterValue(camera, 18, &ok), 200);
        ASSERT_EQ(Orvix_SetDeviceNumber(camera, 3), 1);
        EXPECT_EQ(camera.errors(), Codes{});
    } // released on slot 3
    expectRecord("Gain_00", {{"Global", 100}, {"ColorG1", 11}, {"ColorR", 12}, {"ColorB", 13}, {"ColorG2", 14},
                             {"Exposure", 200}, {"AutoIris", 1}});
    expectRecord("Gain_03", {{"Global", 300}, {"ColorG1", 31}, {"ColorR", 6}, {"ColorB", 33}, {"ColorG2", 34},
                             {"Exposure", 400}, {"AutoIris", 2}});
}

TEST_F(SlotGains, AChangeIsSavedUnderTheSlotItWasMadeFor) {
    {
        ApiCamera camera;
        ASSERT_EQ(Orvix_SetDeviceNumber(camera, 3), 1);
        ASSERT_EQ(Orvix_SetFilterValue(camera, 18, 500), 1); // camera 3's exposure
        ASSERT_EQ(Orvix_SetDeviceNumber(camera, 0), 1);
        EXPECT_EQ(Orvix_GetFilterValue(camera, 18, nullptr), 200);
    }
    EXPECT_EQ(stored("Gain_03", "Exposure"), 500);
    EXPECT_EQ(stored("Gain_00", "Exposure"), 200);
}

} // namespace
} // namespace orvix::test
