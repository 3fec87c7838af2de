// The template description and the resource script compiled into the Windows
// library: the script is the one written from the description, and the description
// keeps the rules the hosts rely on.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "dialog_templates.h"
#include "dialogs/resource_script.h"
#include "platform/language.h"

namespace orvix::test {
namespace {

using namespace dialogs;

std::string committedScriptPath() {
    const char* source = std::getenv("ORVIX_TEST_SOURCE_DIR");
    return std::string(source ? source : ".") + "/resources/dialogs.rc";
}

TEST(DialogResources, CommittedScriptMatchesTheDescription) {
    const std::string expected = resourceScript();
    if (const char* update = std::getenv("ORVIX_UPDATE_DIALOG_RC"); update && *update == '1') {
        std::ofstream(committedScriptPath(), std::ios::binary) << expected;
    }
    std::ifstream file(committedScriptPath(), std::ios::binary);
    ASSERT_TRUE(file) << committedScriptPath();
    std::stringstream committed;
    committed << file.rdbuf();
    EXPECT_EQ(committed.str(), expected)
        << "resources/dialogs.rc is out of date: run this test with ORVIX_UPDATE_DIALOG_RC=1";
}

TEST(DialogResources, EveryTemplateHasUniqueIdsInsideItsBounds) {
    std::set<int> resources;
    for (const DialogTemplate& dialog : templates::kDialogs) {
        EXPECT_TRUE(resources.insert(dialog.englishResource).second);
        EXPECT_TRUE(resources.insert(dialog.japaneseResource).second);
        std::set<int> ids;
        for (std::size_t i = 0; i < dialog.controlCount; ++i) {
            const ControlTemplate& c = dialog.controls[i];
            if (c.id != kStaticId) {
                EXPECT_TRUE(ids.insert(c.id).second) << dialog.englishResource << " " << c.id;
            }
            // Drop-down lists reach below their dialog with their open list only.
            const int height = c.kind == ControlKind::DropDownList ? 12 : c.height;
            EXPECT_LE(c.x + c.width, dialog.width) << dialog.englishResource << " " << c.id;
            EXPECT_LE(c.y + height, dialog.height) << dialog.englishResource << " " << c.id;
        }
    }
    EXPECT_EQ(resources, (std::set<int>{101, 102, 103, 104, 105, 106, 107, 108, 110, 111, 112, 113, 114, 115}));
}

TEST(DialogResources, LanguageFollowsTheLocaleName) {
    EXPECT_EQ(platform::langIdOfLocaleName("ja_JP.UTF-8"), 0x411);
    EXPECT_EQ(platform::langIdOfLocaleName("ja"), 0x411);
    EXPECT_EQ(platform::langIdOfLocaleName("en_US.UTF-8"), 0x409);
    EXPECT_EQ(platform::langIdOfLocaleName("C"), 0x409);
    EXPECT_EQ(platform::langIdOfLocaleName(nullptr), 0x409);
    EXPECT_EQ(languageOf(0x411), Language::Japanese);
    EXPECT_EQ(languageOf(0x809), Language::English);
}

} // namespace
} // namespace orvix::test
