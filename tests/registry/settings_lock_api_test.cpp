// Start-up and release through the exported functions while another process holds
// the settings lock and does not let go: both return within the lock's bound, and the
// settings file is left as it was.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "OrvixSdk_K62DT4.h"
#include "support/test_environment.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The settings lock's bound (kLockWait of the settings store), and some slack.
constexpr double kLockWaitSeconds = 3.0;
constexpr double kSlackSeconds = 2.0;

const bool kEmulationSet = (orvix::test::setEnvironment("ORVIX_K62DT4_EMULATE", "0;rate=0"), true);

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class HeldSettingsLock : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kEmulationSet);
        file_ = orvix::test::temporaryPath("orvix-locked-settings") + ".reg";
        orvix::test::setEnvironment("ORVIX_REGISTRY_FILE", file_);
    }
    void TearDown() override {
        if (lock_ >= 0) ::close(lock_);
        orvix::test::setEnvironment("ORVIX_REGISTRY_FILE", saved_);
        std::error_code ignored;
        for (const char* suffix : {"", ".lock", ".tmp"}) fs::remove(file_ + suffix, ignored);
    }
    void holdLock() {
        lock_ = ::open((file_ + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        ASSERT_GE(lock_, 0);
        ASSERT_EQ(::flock(lock_, LOCK_EX | LOCK_NB), 0);
    }
    std::string saved_ = orvix::test::settingsFilePath();
    std::string file_;
    int lock_ = -1;
};

TEST_F(HeldSettingsLock, StartUpOnAFreshFileAndReleaseReturnWithinTheBound) {
    holdLock();
    auto start = Clock::now();
    ORVIX_HANDLE camera = Orvix_Initialize(0);
    ASSERT_NE(camera, nullptr);
    EXPECT_LT(secondsSince(start), kLockWaitSeconds + kSlackSeconds);
    EXPECT_EQ(Orvix_SetGamma(camera, 150), 1); // a filter value Release would save
    start = Clock::now();
    EXPECT_EQ(Orvix_Release(camera), 1);
    EXPECT_LT(secondsSince(start), kLockWaitSeconds + kSlackSeconds);
    EXPECT_FALSE(fs::exists(file_));
}

TEST_F(HeldSettingsLock, AStoreThatHoldsTheValuesAlreadyNeedsNoLock) {
    ORVIX_HANDLE camera = Orvix_Initialize(0); // writes the defaults
    ASSERT_NE(camera, nullptr);
    ASSERT_EQ(Orvix_Release(camera), 1); // and the gains and filters
    const std::string before = readFile(file_);
    ASSERT_FALSE(before.empty());

    holdLock();
    const auto start = Clock::now();
    camera = Orvix_Initialize(0);
    ASSERT_NE(camera, nullptr);
    EXPECT_EQ(Orvix_Release(camera), 1); // saves what is stored already
    EXPECT_LT(secondsSince(start), 1.0);
    EXPECT_EQ(readFile(file_), before);
}

} // namespace
