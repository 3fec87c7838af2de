// The settings store against values the registry holds in other types.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/registry.h"
#include "support/test_environment.h"

namespace orvix::platform {
namespace {

const char* const kRoot = "Software\\Quelm\\OrvixK62DT4Sdk";

class RegistryWin32Test : public ::testing::Test {
protected:
    void SetUp() override {
        orvix::test::resetSettings();
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kRoot, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        if (key_) RegCloseKey(key_);
        orvix::test::resetSettings();
    }
    void setRaw(const char* name, DWORD type, const void* data, DWORD size) {
        ASSERT_EQ(RegSetValueExA(key_, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    }
    HKEY key_ = nullptr;
};

TEST_F(RegistryWin32Test, OnlyFourByteDwordValuesAreRead) {
    const std::uint32_t four = 4;
    const std::uint64_t eight = 8;
    const char text[] = "12";
    setRaw("Binary", REG_BINARY, &four, sizeof four);
    setRaw("Quad", REG_QWORD, &eight, sizeof eight);
    setRaw("Text", REG_SZ, text, sizeof text);
    setRaw("Short", REG_DWORD, &four, 2);
    setRaw("Good", REG_DWORD, &four, sizeof four);

    RegistryKey root = RegistryKey::openCurrentUser(kRoot);
    ASSERT_TRUE(root);
    for (const char* name : {"Binary", "Quad", "Text", "Short"}) {
        std::uint32_t value = 0xABCDu;
        EXPECT_FALSE(root.queryDword(name, value)) << name;
        EXPECT_EQ(value, 0xABCDu) << name;
    }
    std::uint32_t value = 0;
    EXPECT_TRUE(root.queryDword("Good", value));
    EXPECT_EQ(value, 4u);
}

TEST_F(RegistryWin32Test, WritesAreRegDwordAndReplaceOtherTypes) {
    const char text[] = "old";
    setRaw("Color", REG_SZ, text, sizeof text);
    RegistryKey root = RegistryKey::createCurrentUser(kRoot);
    ASSERT_TRUE(root.setDword("Color", 0x01020304u));

    DWORD type = 0;
    BYTE data[16] = {};
    DWORD size = sizeof data;
    ASSERT_EQ(RegQueryValueExA(key_, "Color", nullptr, &type, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    ASSERT_EQ(size, 4u);
    std::uint32_t stored = 0;
    std::memcpy(&stored, data, sizeof stored);
    EXPECT_EQ(stored, 0x01020304u);
}

} // namespace
} // namespace orvix::platform
