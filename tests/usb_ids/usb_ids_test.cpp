#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/registry.h"
#include "platform/usb_cameras.h"
#include "support/test_environment.h"

namespace usb = orvix::platform::usb;
using usb::UsbId;

namespace {

TEST(UsbIds, ListsOfHexIdsParse) {
    EXPECT_EQ(usb::parseUsbIds("4f56:6b62"), (std::vector<UsbId>{{0x4f56, 0x6b62}}));
    EXPECT_EQ(usb::parseUsbIds("4F56:6B62,1:02,ffff:0"),
              (std::vector<UsbId>{{0x4f56, 0x6b62}, {0x0001, 0x0002}, {0xffff, 0x0000}}));
    EXPECT_EQ(usb::parseUsbIds("1:1,2:2,3:3,4:4,5:5,6:6,7:7,8:8")->size(), 8u);
}

TEST(UsbIds, MalformedListsMatchNothing) {
    for (const char* text : {"", "4f56", "4f56:", ":6b62", "4f56;6b62", "10000:1", "1:10000", "4f56:6b62,",
                             ",4f56:6b62", "4g56:6b62", " 4f56:6b62", "4f56:6b62 ", "0x4f:1",
                             "1:1,2:2,3:3,4:4,5:5,6:6,7:7,8:8,9:9"})
        EXPECT_FALSE(usb::parseUsbIds(text).has_value()) << '"' << text << '"';
}

TEST(UsbIds, FormatIsWhatLsusbPrints) {
    EXPECT_EQ(usb::formatUsbId({0x4f56, 0x6b62}), "4f56:6b62");
    EXPECT_EQ(usb::formatUsbId({0x1, 0xab}), "0001:00ab");
}

class ConfiguredUsbIds : public ::testing::Test {
protected:
    void SetUp() override {
        orvix::test::isolateSettings();
        orvix::test::resetSettings();
        orvix::test::unsetEnvironment(usb::kUsbIdsVariable);
    }
    void TearDown() override {
        orvix::test::unsetEnvironment(usb::kUsbIdsVariable);
        orvix::test::resetSettings();
    }
    static void storeId(const std::string& name, std::uint32_t value) {
        auto key = orvix::platform::RegistryKey::createCurrentUser(orvix::platform::kSettingsKeyPath)
                       .createSubkey(usb::kUsbIdsSubkey);
        ASSERT_TRUE(key.setDword(name, value));
    }
};

TEST_F(ConfiguredUsbIds, NoneWithoutVariableOrSettings) { EXPECT_TRUE(usb::configuredUsbIds().empty()); }

TEST_F(ConfiguredUsbIds, SettingsFileValuesInNameOrder) {
    storeId("Id3", 0x12340005);
    storeId("Id0", 0x4f566b62);
    storeId("Id8", 0x11112222); // beyond the eight slots' names: not read
    EXPECT_EQ(usb::configuredUsbIds(), (std::vector<UsbId>{{0x4f56, 0x6b62}, {0x1234, 0x0005}}));
}

TEST_F(ConfiguredUsbIds, VariableWinsAndAMalformedOneMatchesNothing) {
    storeId("Id0", 0x4f566b62);
    orvix::test::setEnvironment(usb::kUsbIdsVariable, "aaaa:bbbb");
    EXPECT_EQ(usb::configuredUsbIds(), (std::vector<UsbId>{{0xaaaa, 0xbbbb}}));
    // A typo in the variable must not quietly fall back to other devices.
    orvix::test::setEnvironment(usb::kUsbIdsVariable, "aaaa-bbbb");
    EXPECT_TRUE(usb::configuredUsbIds().empty());
}

TEST(UsbRules, AreThePackagedRuleWithTheIdsFilledIn) {
    const char* source = std::getenv("ORVIX_TEST_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    std::ifstream file(std::string(source) + "/packaging/udev/70-orvix-k62dt4.rules");
    ASSERT_TRUE(file) << "the packaged rule file";
    std::string templateRule, line;
    while (std::getline(file, line))
        if (!line.empty() && line[0] != '#') templateRule += line + "\n";
    ASSERT_FALSE(templateRule.empty());

    auto filled = [&](const char* vendor, const char* product) {
        std::string rule = templateRule;
        rule.replace(rule.find("VVVV"), 4, vendor);
        rule.replace(rule.find("PPPP"), 4, product);
        return rule;
    };
    std::string written;
    std::istringstream rules(usb::udevRules({{0x4f56, 0x6b62}, {0x0001, 0x00ab}}));
    while (std::getline(rules, line))
        if (!line.empty() && line[0] != '#') written += line + "\n";
    EXPECT_EQ(written, filled("4f56", "6b62") + filled("0001", "00ab"));
}

} // namespace
