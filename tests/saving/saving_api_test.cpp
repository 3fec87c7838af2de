// Orvix_SaveImage as an application calls it.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "OrvixSdk_K62DT4.h"
#include "support/test_environment.h"

namespace {

TEST(SaveImageApi, FailsWithoutAnImageAndCreatesNoFile) {
    const std::string file = orvix::test::temporaryPath("orvix-save-api") + ".img";
    EXPECT_EQ(Orvix_SaveImage(nullptr, file.c_str(), ORVIX_IMAGE_BMP), 0);
    ORVIX_HANDLE camera = Orvix_Initialize(0);
    ASSERT_NE(camera, nullptr);
    // No frame has been captured yet: nothing to save in any format.
    for (int format : {ORVIX_IMAGE_BMP, ORVIX_IMAGE_RAW, ORVIX_IMAGE_JPEG100, ORVIX_IMAGE_JPEG70,
                       ORVIX_IMAGE_JPEG20, ORVIX_IMAGE_PNG, ORVIX_IMAGE_TIFF, 7, -1}) {
        EXPECT_EQ(Orvix_SaveImage(camera, file.c_str(), format), 0) << format;
        EXPECT_EQ(Orvix_SaveImage(camera, nullptr, format), 0) << format;
    }
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(Orvix_Release(camera), 1);
}

} // namespace
