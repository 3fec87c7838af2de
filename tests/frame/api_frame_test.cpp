// The frame exports, called exactly as an application calls them.

#include <gtest/gtest.h>

#include <cstdint>

#include "OrvixSdk_K62DT4.h"
#include "support/test_environment.h"

namespace {

ORVIX_HANDLE unknownHandle() { return reinterpret_cast<ORVIX_HANDLE>(static_cast<std::uintptr_t>(0x5EEDu)); }

TEST(FrameApi, VersionNeedsNoHandle) {
    EXPECT_EQ(Orvix_GetDllVersion(), 0x00180500);
    EXPECT_EQ(Orvix_GetDllVersion(), 1574144);
}

TEST(FrameApi, InitializeGivesAHandleWithTheDefaults) {
    orvix::test::resetSettings(); // start-up then writes the stored defaults: 24-bit colour
    ORVIX_HANDLE handle = Orvix_Initialize(0);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(Orvix_GetLastError(handle), 0);
    EXPECT_EQ(Orvix_Width(handle), 1360);
    EXPECT_EQ(Orvix_Height(handle), 1024);
    EXPECT_EQ(Orvix_GetWaitTime(handle), 10);
    EXPECT_EQ(Orvix_GetSubSample(handle), 0);
    EXPECT_EQ(Orvix_GetColorMode(handle), 24);
    EXPECT_EQ(Orvix_Release(handle), 1);
}

TEST(FrameApi, ReleasedHandleIsUnknownEverywhere) {
    ORVIX_HANDLE handle = Orvix_Initialize(0);
    ASSERT_EQ(Orvix_Release(handle), 1);
    EXPECT_EQ(Orvix_Release(handle), 0);
    EXPECT_EQ(Orvix_GetLastError(handle), 0);
    EXPECT_EQ(Orvix_Width(handle), 0);
    EXPECT_EQ(Orvix_GetColorMode(handle), -1);
}

TEST(FrameApi, UnknownHandleReturnsTheUnknownHandleValues) {
    ORVIX_HANDLE handle = unknownHandle();
    EXPECT_EQ(Orvix_Release(handle), 0);
    EXPECT_EQ(Orvix_GetLastError(handle), 0);
    EXPECT_EQ(Orvix_Width(handle), 0);
    EXPECT_EQ(Orvix_Height(handle), 0);
    EXPECT_EQ(Orvix_GetColorMode(handle), -1);
    EXPECT_EQ(Orvix_GetSubSample(handle), -1);
    EXPECT_EQ(Orvix_GetWaitTime(handle), -1);
    EXPECT_EQ(Orvix_Release(nullptr), 0);
    EXPECT_EQ(Orvix_GetColorMode(nullptr), -1);
}

TEST(FrameApi, HandlesOfSeveralCamerasStayApart) {
    ORVIX_HANDLE a = Orvix_Initialize(0);
    ORVIX_HANDLE b = Orvix_Initialize(0);
    ORVIX_HANDLE c = Orvix_Initialize(0);
    EXPECT_NE(a, b);
    EXPECT_NE(b, c);
    EXPECT_EQ(Orvix_Release(b), 1);
    EXPECT_EQ(Orvix_Width(a), 1360);
    EXPECT_EQ(Orvix_Width(c), 1360);
    EXPECT_EQ(Orvix_Width(b), 0);
    EXPECT_EQ(Orvix_Release(a), 1);
    EXPECT_EQ(Orvix_Release(c), 1);
}

} // namespace
