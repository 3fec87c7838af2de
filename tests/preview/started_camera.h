#pragma once
// A Camera started on an emulated camera in slot 0, from an empty settings store,
// for the preview tests that need a whole capture.

#include <gtest/gtest.h>

#include <memory>

#include "camera/camera.h"
#include "device/emulated_cameras.h"
#include "support/test_environment.h"

namespace orvix::test {

class StartedCamera : public EmulatedCameras {
protected:
    void SetUp() override {
        resetSettings();
        attach({0});
        camera_ = std::make_unique<Camera>();
        ASSERT_EQ(camera_->initialize(0), 1);
    }
    void TearDown() override {
        camera_.reset();
        resetSettings();
        EmulatedCameras::TearDown();
    }

    Camera& camera() { return *camera_; }

private:
    std::unique_ptr<Camera> camera_;
};

} // namespace orvix::test
