// Behaviour of the settings store that is the same on every platform: on Windows it
// runs against the registry, on Linux against the settings file.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/registry.h"
#include "support/test_environment.h"

namespace orvix::platform {
namespace {

const std::string kRoot = "Software\\Quelm\\OrvixK62DT4Sdk";

class RegistryKeyTest : public ::testing::Test {
protected:
    void SetUp() override { orvix::test::resetSettings(); }
    void TearDown() override { orvix::test::resetSettings(); }
};

TEST_F(RegistryKeyTest, ValuesRoundTripThroughAFreshOpen) {
    {
        RegistryKey root = RegistryKey::createCurrentUser(kRoot);
        ASSERT_TRUE(root.isOpen());
        EXPECT_TRUE(root.setDword("Color", 2));
        EXPECT_TRUE(root.setDword("Big", 0xFFFFFFFFu));
        EXPECT_TRUE(root.setInt("Negative", -5));
        EXPECT_TRUE(root.setDword("Zero", 0));
        EXPECT_TRUE(root.setDword("Color", 5)); // overwrite
    }
    RegistryKey root = RegistryKey::openCurrentUser(kRoot);
    ASSERT_TRUE(root);
    std::uint32_t value = 0;
    EXPECT_TRUE(root.queryDword("Color", value));
    EXPECT_EQ(value, 5u);
    EXPECT_TRUE(root.queryDword("Big", value));
    EXPECT_EQ(value, 0xFFFFFFFFu);
    EXPECT_TRUE(root.queryDword("Zero", value));
    EXPECT_EQ(value, 0u);
    std::int32_t signedValue = 0;
    EXPECT_TRUE(root.queryInt("Negative", signedValue));
    EXPECT_EQ(signedValue, -5);
    EXPECT_TRUE(root.queryInt("Big", signedValue));
    EXPECT_EQ(signedValue, -1);
    EXPECT_TRUE(root.queryDword("Negative", value));
    EXPECT_EQ(value, 0xFFFFFFFBu);
}

TEST_F(RegistryKeyTest, MissingKeysAndValuesLeaveTheDestinationUntouched) {
    EXPECT_FALSE(RegistryKey::openCurrentUser(kRoot).isOpen());
    EXPECT_FALSE(RegistryKey::openCurrentUser(kRoot + "\\Size_00").isOpen());

    RegistryKey root = RegistryKey::createCurrentUser(kRoot);
    ASSERT_TRUE(root);
    ASSERT_TRUE(root.setDword("Size", 3));
    EXPECT_FALSE(root.openSubkey("Size_03").isOpen());

    std::uint32_t value = 0x12345678u;
    EXPECT_FALSE(root.queryDword("Missing", value));
    EXPECT_EQ(value, 0x12345678u);
    std::int32_t signedValue = -77;
    EXPECT_FALSE(root.queryInt("Missing", signedValue));
    EXPECT_EQ(signedValue, -77);
    // A value of the same name in another key is a different value.
    RegistryKey size = root.createSubkey("Size_00");
    ASSERT_TRUE(size.setDword("TH", 1360));
    EXPECT_FALSE(root.queryDword("TH", value));
    EXPECT_EQ(value, 0x12345678u);
}

TEST_F(RegistryKeyTest, KeysExistWithoutValuesAndCreateOpensExistingKeys) {
    {
        RegistryKey created = RegistryKey::createCurrentUser(kRoot);
        ASSERT_TRUE(created);
    }
    RegistryKey opened = RegistryKey::openCurrentUser(kRoot);
    ASSERT_TRUE(opened); // exists although it holds no value
    std::uint32_t value = 9;
    EXPECT_FALSE(opened.queryDword("Color", value));

    {
        RegistryKey created = RegistryKey::createCurrentUser(kRoot);
        ASSERT_TRUE(created.setDword("Color", 4));
    }
    RegistryKey again = RegistryKey::createCurrentUser(kRoot); // opens, keeps the values
    ASSERT_TRUE(again);
    EXPECT_TRUE(again.queryDword("Color", value));
    EXPECT_EQ(value, 4u);
}

TEST_F(RegistryKeyTest, KeysOpenedForReadingRefuseWrites) {
    ASSERT_TRUE(RegistryKey::createCurrentUser(kRoot).setDword("Color", 1));
    RegistryKey reader = RegistryKey::openCurrentUser(kRoot);
    ASSERT_TRUE(reader);
    EXPECT_FALSE(reader.setDword("Color", 3));
    std::uint32_t value = 0;
    EXPECT_TRUE(reader.queryDword("Color", value));
    EXPECT_EQ(value, 1u);
}

TEST_F(RegistryKeyTest, SubkeysAndTheKeysAboveThem) {
    RegistryKey root = RegistryKey::createCurrentUser(kRoot);
    ASSERT_TRUE(root);
    for (int n = 0; n < 3; ++n) {
        RegistryKey size = root.createSubkey("Size_0" + std::to_string(n));
        ASSERT_TRUE(size);
        EXPECT_TRUE(size.setDword("TH", 1000u + static_cast<std::uint32_t>(n)));
    }
    ASSERT_TRUE(root.createSubkey("Deep\\Er\\Est").setDword("X", 7));

    for (int n = 0; n < 3; ++n) {
        RegistryKey size = RegistryKey::openCurrentUser(kRoot).openSubkey("Size_0" + std::to_string(n));
        ASSERT_TRUE(size) << n;
        std::uint32_t value = 0;
        EXPECT_TRUE(size.queryDword("TH", value));
        EXPECT_EQ(value, 1000u + static_cast<std::uint32_t>(n));
    }
    // Creating a deep key creates the keys between.
    EXPECT_TRUE(RegistryKey::openCurrentUser(kRoot + "\\Deep").isOpen());
    EXPECT_TRUE(RegistryKey::openCurrentUser(kRoot + "\\Deep\\Er").isOpen());
    EXPECT_TRUE(RegistryKey::openCurrentUser("Software\\Quelm").isOpen());
    std::uint32_t value = 0;
    EXPECT_TRUE(RegistryKey::openCurrentUser(kRoot).openSubkey("Deep").openSubkey("Er\\Est").queryDword("X", value));
    EXPECT_EQ(value, 7u);
}

TEST_F(RegistryKeyTest, NamesCompareWithoutCase) {
    RegistryKey root = RegistryKey::createCurrentUser(kRoot);
    ASSERT_TRUE(root.setDword("WaitTime", 10));
    ASSERT_TRUE(root.createSubkey("Size_00").setDword("EHS", 8));

    RegistryKey other = RegistryKey::createCurrentUser("SOFTWARE\\quelm\\orvixk62dt4sdk");
    ASSERT_TRUE(other);
    std::uint32_t value = 0;
    EXPECT_TRUE(other.queryDword("WAITTIME", value));
    EXPECT_EQ(value, 10u);
    EXPECT_TRUE(other.setDword("waittime", 20)); // the same value, not a second one
    EXPECT_TRUE(root.queryDword("WaitTime", value));
    EXPECT_EQ(value, 20u);
    EXPECT_TRUE(other.openSubkey("SIZE_00").queryDword("ehs", value));
    EXPECT_EQ(value, 8u);
}

TEST_F(RegistryKeyTest, ClosedAndMovedFromKeysDoNothing) {
    RegistryKey root = RegistryKey::createCurrentUser(kRoot);
    ASSERT_TRUE(root.setDword("Color", 2));
    RegistryKey moved = std::move(root);
    EXPECT_TRUE(moved.isOpen());
    EXPECT_FALSE(root.isOpen()); // NOLINT(bugprone-use-after-move): moved-from state is defined
    std::uint32_t value = 5;
    EXPECT_FALSE(root.queryDword("Color", value));
    EXPECT_EQ(value, 5u);
    EXPECT_FALSE(root.setDword("Color", 3));
    EXPECT_FALSE(root.openSubkey("Size_00").isOpen());
    EXPECT_FALSE(root.createSubkey("Size_00").isOpen());

    moved.close();
    EXPECT_FALSE(moved.isOpen());
    EXPECT_FALSE(moved.queryDword("Color", value));
    RegistryKey fresh;
    EXPECT_FALSE(fresh.isOpen());
    EXPECT_TRUE(RegistryKey::openCurrentUser(kRoot).queryDword("Color", value));
    EXPECT_EQ(value, 2u); // closing wrote nothing and lost nothing
}

} // namespace
} // namespace orvix::platform
