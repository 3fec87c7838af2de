// The property-by-id interface through the exported functions: the id table, the
// ranges, the packing of the Bayer gains, and the gain and exposure that reach the
// camera at once.

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <memory>

#include "OrvixSdk_K62DT4.h"
#include "api_camera.h"
#include "stored_settings.h"

namespace orvix::test {
namespace {

class PropertiesApi : public StoredSettings {
protected:
    void SetUp() override {
        StoredSettings::SetUp();
        camera_ = std::make_unique<ApiCamera>();
        ASSERT_EQ(Orvix_SetDeviceNumber(*camera_, 2), 1);
        ASSERT_EQ(camera_->errors(), Codes{});
    }
    void TearDown() override {
        camera_.reset();
        StoredSettings::TearDown();
    }
    ApiCamera& camera() { return *camera_; }

    int get(int id) {
        int ok = 0;
        const int value = Orvix_GetFilterValue(camera(), id, &ok);
        EXPECT_EQ(ok, 1) << "id " << id;
        return value;
    }

private:
    std::unique_ptr<ApiCamera> camera_;
};

struct Range {
    int id;
    int min;
    int max;
};

// Ids whose getter reads back what was stored.
constexpr Range kStoredRanges[] = {
    {1, -255, 255}, {2, -127, 127}, {3, -360, 360}, {4, -255, 255}, {5, 0, 30},     {7, 0, 400},
    {8, 0, 400},    {9, 0, 400},    {11, 0, 200},   {12, 0, 3},     {19, 0, 2},     {20, 0, 255},
    {21, 0, 255},   {22, 0, 255},   {23, 0, 255},   {24, -255, 255}, {25, -255, 255}, {26, -255, 255},
    {27, -255, 255},
};

TEST_F(PropertiesApi, StoredPropertiesAcceptExactlyTheirRange) {
    for (const Range& range : kStoredRanges) {
        EXPECT_EQ(Orvix_SetFilterValue(camera(), range.id, range.min), 1) << range.id;
        EXPECT_EQ(get(range.id), range.min) << range.id;
        EXPECT_EQ(Orvix_SetFilterValue(camera(), range.id, range.max), 1) << range.id;
        EXPECT_EQ(get(range.id), range.max) << range.id;
        EXPECT_EQ(Orvix_SetFilterValue(camera(), range.id, range.min - 1), 0) << range.id;
        EXPECT_EQ(Orvix_SetFilterValue(camera(), range.id, range.max + 1), 0) << range.id;
        EXPECT_EQ(camera().errors(), (Codes{ERR_PARAMETER, ERR_PARAMETER})) << range.id;
        EXPECT_EQ(get(range.id), range.max) << range.id; // a rejected value changes nothing
    }
    // The gain properties: 0..63 for gains, 0..16383 for the exposure.
    for (int id = 13; id <= 17; ++id) {
        EXPECT_EQ(Orvix_SetFilterValue(camera(), id, 63), 1) << id;
        EXPECT_EQ(Orvix_SetFilterValue(camera(), id, 64), 0) << id;
        EXPECT_EQ(Orvix_SetFilterValue(camera(), id, -1), 0) << id;
    }
    EXPECT_EQ(Orvix_SetExposureTime(camera(), 16383), 1);
    EXPECT_EQ(Orvix_SetExposureTime(camera(), 16384), 0);
    EXPECT_EQ(Orvix_SetExposureTime(camera(), -1), 0);
    EXPECT_EQ(camera().errors(), Codes(12, ERR_PARAMETER));
}

TEST_F(PropertiesApi, NamedExportsUseTheirIds) {
    // Each named setter lands where its id's getter reads, and the other way round.
    using Setter = int(ORVIX_CALL*)(ORVIX_HANDLE, int);
    using Getter = int(ORVIX_CALL*)(ORVIX_HANDLE, int*);
    struct Named {
        int id;
        Setter set;
        Getter get;
        int value;
    };
    const Named named[] = {
        {1, Orvix_SetBrightness, Orvix_GetBrightness, -17},  {2, Orvix_SetContrast, Orvix_GetContrast, 12},
        {3, Orvix_SetHue, Orvix_GetHue, -90},                {4, Orvix_SetSaturation, Orvix_GetSaturation, 44},
        {5, Orvix_SetSharpness, Orvix_GetSharpness, 7},      {7, Orvix_SetBayerGainRed, Orvix_GetBayerGainRed, 150},
        {8, Orvix_SetBayerGainGreen, Orvix_GetBayerGainGreen, 160},
        {9, Orvix_SetBayerGainBlue, Orvix_GetBayerGainBlue, 170},
        {10, Orvix_SetBayerGainAuto, Orvix_GetBayerGainAuto, 1},
        {11, Orvix_SetGamma, Orvix_GetGamma, 120},           {12, Orvix_SetBayerMode, Orvix_GetBayerMode, 2},
        {13, Orvix_SetGlobalGain, Orvix_GetGlobalGain, 33},  {18, Orvix_SetExposureTime, Orvix_GetExposureTime, 300},
        {19, Orvix_SetGrayMode, Orvix_GetGrayMode, 1},       {20, Orvix_SetGrayGainR, Orvix_GetGrayGainR, 201},
        {21, Orvix_SetGrayGainG1, Orvix_GetGrayGainG1, 202}, {22, Orvix_SetGrayGainG2, Orvix_GetGrayGainG2, 203},
        {23, Orvix_SetGrayGainB, Orvix_GetGrayGainB, 204},   {24, Orvix_SetGrayOffsetR, Orvix_GetGrayOffsetR, -1},
        {25, Orvix_SetGrayOffsetG1, Orvix_GetGrayOffsetG1, -2},
        {26, Orvix_SetGrayOffsetG2, Orvix_GetGrayOffsetG2, -3},
        {27, Orvix_SetGrayOffsetB, Orvix_GetGrayOffsetB, -4},
    };
    for (const Named& property : named) {
        EXPECT_EQ(property.set(camera(), property.value), 1) << property.id;
        EXPECT_EQ(get(property.id), property.value) << property.id;
    }
    for (const Named& property : named) {
        EXPECT_EQ(Orvix_SetFilterValue(camera(), property.id, property.value - 1), 1) << property.id;
        int ok = 0;
        EXPECT_EQ(property.get(camera(), &ok), property.value - 1) << property.id;
        EXPECT_EQ(ok, 1);
    }
    EXPECT_EQ(Orvix_SetColorGainRed(camera(), 5), 1);
    EXPECT_EQ(Orvix_SetColorGainGreen1(camera(), 5), 1);
    EXPECT_EQ(Orvix_SetColorGainGreen2(camera(), 5), 1);
    EXPECT_EQ(Orvix_SetColorGainBlue(camera(), 5), 1);
    EXPECT_EQ(Orvix_SetBayerGainRGB(camera(), 0x00030201), 1);
    EXPECT_EQ(Orvix_GetBayerGainRGB(camera(), nullptr), 0x00030201);
}

TEST_F(PropertiesApi, BayerGainRgbPacksTheLowBytes) {
    EXPECT_EQ(Orvix_SetBayerGainRGB(camera(), 0x01326496), 1); // bytes 1, 50, 100, 150
    EXPECT_EQ(Orvix_GetBayerGainRed(camera(), nullptr), 150);
    EXPECT_EQ(Orvix_GetBayerGainGreen(camera(), nullptr), 100);
    EXPECT_EQ(Orvix_GetBayerGainBlue(camera(), nullptr), 50);
    EXPECT_EQ(Orvix_GetBayerGainRGB(camera(), nullptr), 0x00326496);

    EXPECT_EQ(Orvix_SetBayerGainRed(camera(), 300), 1);
    EXPECT_EQ(Orvix_GetBayerGainRGB(camera(), nullptr), 0x0032642C);
    EXPECT_EQ(Orvix_SetBayerGainRGB(camera(), -1), 1); // no range: every byte 255
    EXPECT_EQ(Orvix_GetBayerGainRed(camera(), nullptr), 255);
    EXPECT_EQ(Orvix_GetBayerGainRGB(camera(), nullptr), 0x00FFFFFF);

    EXPECT_EQ(Orvix_SetBayerGainAuto(camera(), INT_MIN), 1);
    EXPECT_EQ(Orvix_GetBayerGainAuto(camera(), nullptr), 1);
    EXPECT_EQ(Orvix_SetBayerGainAuto(camera(), 0), 1);
    EXPECT_EQ(Orvix_GetBayerGainAuto(camera(), nullptr), 0);
    EXPECT_EQ(camera().errors(), Codes{});
}

TEST_F(PropertiesApi, GainAndExposureGettersReadWhatTheCameraWasSent) {
    EXPECT_EQ(Orvix_SetGlobalGain(camera(), 20), 1);
    int ok = 0;
    EXPECT_EQ(Orvix_GetGlobalGain(camera(), &ok), 20);
    for (int id = 14; id <= 17; ++id) {
        ok = 0;
        EXPECT_EQ(Orvix_GetFilterValue(camera(), id, &ok), 0) << id;
        EXPECT_EQ(ok, 1);
    }
    EXPECT_EQ(Orvix_SetGlobalGain(camera(), 64), 0);
    EXPECT_EQ(camera().errors(), Codes{ERR_PARAMETER});
    EXPECT_EQ(Orvix_GetGlobalGain(camera(), &ok), 20);

    EXPECT_EQ(Orvix_SetExposureTime(camera(), 5), 1);
    EXPECT_EQ(Orvix_GetExposureTime(camera(), &ok), 8); // the camera's shortest exposure
    EXPECT_EQ(Orvix_SetExposureTime(camera(), 5000), 1);
    EXPECT_EQ(Orvix_GetExposureTime(camera(), &ok), 1068);
    EXPECT_EQ(Orvix_SetExposureTime(camera(), 500), 1);
    EXPECT_EQ(Orvix_GetExposureTime(camera(), &ok), 500);
    EXPECT_EQ(camera().errors(), Codes{});
}

TEST_F(PropertiesApi, UnknownIdsAreRefused) {
    for (int id : {0, -1, 28, INT_MAX, INT_MIN}) {
        int ok = 7;
        EXPECT_EQ(Orvix_GetFilterValue(camera(), id, &ok), 0) << id;
        EXPECT_EQ(ok, 0) << id;
        EXPECT_EQ(Orvix_SetFilterValue(camera(), id, 0), 0) << id;
        EXPECT_EQ(camera().errors(), (Codes{ERR_PARAMETER, ERR_PARAMETER})) << id;
    }
    EXPECT_EQ(Orvix_GetFilterValue(camera(), 28, nullptr), 0);
    EXPECT_EQ(camera().errors(), Codes{ERR_PARAMETER});

    ORVIX_HANDLE unknown = reinterpret_cast<ORVIX_HANDLE>(static_cast<std::uintptr_t>(0x5EED));
    int ok = 7;
    EXPECT_EQ(Orvix_SetBrightness(unknown, 1), 0);
    EXPECT_EQ(Orvix_GetBrightness(unknown, &ok), 0);
    EXPECT_EQ(Orvix_GetFilterValue(unknown, 1, &ok), 0);
    EXPECT_EQ(ok, 7);
}

} // namespace
} // namespace orvix::test
