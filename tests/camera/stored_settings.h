#pragma once
// Test helpers that put values into the settings store and read them back directly,
// below the library's key, as an installer or an earlier run would have left them.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>

#include "platform/registry.h"
#include "support/test_environment.h"

namespace orvix::test {

inline const std::string kSettingsKey = "Software\\Quelm\\OrvixK62DT4Sdk";

inline std::string subkeyOf(const std::string& subkey) {
    return subkey.empty() ? kSettingsKey : kSettingsKey + "\\" + subkey;
}

// Writes the named values into the key (created when missing); "" is the root key.
inline void store(const std::string& subkey, std::initializer_list<std::pair<const char*, std::int32_t>> values) {
    platform::RegistryKey key = platform::RegistryKey::createCurrentUser(subkeyOf(subkey));
    ASSERT_TRUE(key.isOpen()) << subkey;
    for (const auto& [name, value] : values) ASSERT_TRUE(key.setInt(name, value)) << subkey << " " << name;
}

// A "Size_%02d" record with all seven values.
inline void storeFormat(int n, std::int32_t hTotal, std::int32_t vTotal, std::int32_t width, std::int32_t height,
                        std::int32_t x, std::int32_t y, std::int32_t buffers) {
    char name[24]; // room for any int
    std::snprintf(name, sizeof name, "Size_%02d", n);
    store(name, {{"TH", hTotal}, {"TV", vTotal}, {"EH", width}, {"EV", height}, {"EHS", x}, {"EVS", y},
                 {"Buf", buffers}});
}

inline std::optional<std::int32_t> stored(const std::string& subkey, const char* name) {
    const platform::RegistryKey key = platform::RegistryKey::openCurrentUser(subkeyOf(subkey));
    std::int32_t value = 0;
    if (!key.queryInt(name, value)) return std::nullopt;
    return value;
}

inline bool keyExists(const std::string& subkey) {
    return platform::RegistryKey::openCurrentUser(subkeyOf(subkey)).isOpen();
}

// Every test starts and ends with an empty store (under Wine the registry is shared
// by all test programs of the prefix).
class StoredSettings : public ::testing::Test {
protected:
    void SetUp() override { resetSettings(); }
    void TearDown() override { resetSettings(); }
};

} // namespace orvix::test
