// The settings file on Linux: damaged files, concurrent writers, interrupted writes
// and where the file lives.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/posix/registry_document.h"
#include "platform/posix/registry_file.h"
#include "platform/registry.h"
#include "support/test_environment.h"

namespace orvix::platform {
namespace {

namespace fs = std::filesystem;

const std::string kRoot = "Software\\Quelm\\OrvixK62DT4Sdk";

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::vector<std::string> backupsOf(const std::string& file) {
    std::vector<std::string> found;
    const fs::path path(file);
    for (const auto& entry : fs::directory_iterator(path.parent_path())) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(path.filename().string() + ".corrupt-", 0) == 0) found.push_back(entry.path().string());
    }
    return found;
}

std::uint32_t queryOr(const RegistryKey& key, const std::string& name, std::uint32_t fallback) {
    std::uint32_t value = fallback;
    key.queryDword(name, value);
    return value;
}

// Restores an environment variable when the test ends.
class SavedVariable {
public:
    explicit SavedVariable(std::string name) : name_(std::move(name)) {
        const char* value = std::getenv(name_.c_str());
        had_ = value != nullptr;
        if (had_) value_ = value;
    }
    ~SavedVariable() {
        if (had_) {
            orvix::test::setEnvironment(name_, value_);
        } else {
            orvix::test::unsetEnvironment(name_);
        }
    }

private:
    std::string name_;
    std::string value_;
    bool had_ = false;
};

// Each test works on its own settings file in its own folder.
class RegistryFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = orvix::test::temporaryPath("orvix-registry-test");
        fs::create_directories(folder_);
        file_ = folder_ + "/settings.reg";
        orvix::test::setEnvironment("ORVIX_REGISTRY_FILE", file_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    SavedVariable savedFile_{"ORVIX_REGISTRY_FILE"};
    std::string folder_;
    std::string file_;
};

const std::string kDamaged =
    "Windows Registry Editor Version 5.00\n"
    "\n"
    "[HKEY_CURRENT_USER\\Software\\Quelm\\OrvixK62DT4Sdk]\n"
    "\"Color\"=dword:00000002\n"
    "\n"
    "[HKEY_CURRENT_USER\\Software\\Quelm\\OrvixK62DT4Sdk\\Size_00]\n"
    "\"TH\"=dword:00000550\n"
    "\"TV\"=dwo\x00\x13\x99r";

TEST_F(RegistryFileTest, DamagedFileReadsItsValidPartAndIsBackedUpBeforeTheFirstRewrite) {
    writeFile(file_, kDamaged);
    {
        RegistryKey root = RegistryKey::openCurrentUser(kRoot);
        ASSERT_TRUE(root);
        EXPECT_EQ(queryOr(root, "Color", 0), 2u);
        EXPECT_EQ(queryOr(root.openSubkey("Size_00"), "TH", 0), 0x550u);
        EXPECT_EQ(queryOr(root.openSubkey("Size_00"), "TV", 77), 77u);
    }
    EXPECT_EQ(readFile(file_), kDamaged); // reading changes nothing
    EXPECT_TRUE(backupsOf(file_).empty());
    // Creating a key that exists is no change either: nothing is rewritten.
    RegistryKey root = RegistryKey::createCurrentUser(kRoot);
    ASSERT_TRUE(root);
    EXPECT_EQ(readFile(file_), kDamaged);

    ASSERT_TRUE(root.setDword("WaitTime", 20));
    const auto backups = backupsOf(file_);
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_EQ(readFile(backups[0]), kDamaged);
    const auto rewritten = regfile::Document::parse(readFile(file_));
    EXPECT_TRUE(rewritten.complete());
    EXPECT_EQ(queryOr(root, "Color", 0), 2u);
    EXPECT_EQ(queryOr(root, "WaitTime", 0), 20u);
    EXPECT_EQ(queryOr(root.openSubkey("Size_00"), "TH", 0), 0x550u);

    ASSERT_TRUE(root.setDword("Clock", 1)); // the file is sound now: no second backup
    EXPECT_EQ(backupsOf(file_).size(), 1u);

    // A second damage later gets a backup of its own beside the first.
    writeFile(file_, readFile(file_) + "[broken\n");
    ASSERT_TRUE(root.setDword("Clock", 0));
    EXPECT_EQ(backupsOf(file_).size(), 2u);
}

TEST_F(RegistryFileTest, ForeignContentSurvivesARewriteWithoutBackup) {
    const std::string foreign =
        "Windows Registry Editor Version 5.00\r\n"
        "\r\n"
        "; kept by hand\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Vendor]\r\n"
        "\"Path\"=\"C:\\\\Program Files\\\\x\"\r\n"
        "\r\n"
        "[HKEY_CURRENT_USER\\Software\\Quelm\\OrvixK62DT4Sdk]\r\n"
        "\"Label\"=hex(2):25,00,55,00,53,00,45,00,52,00,25,00,00,00,\\\r\n"
        "  00,00\r\n"
        "\"Color\"=dword:00000001\r\n"
        "\r\n";
    writeFile(file_, foreign);
    RegistryKey root = RegistryKey::createCurrentUser(kRoot);
    ASSERT_TRUE(root.setDword("Color", 3));
    ASSERT_TRUE(root.setDword("Size", 0));
    std::string expected = foreign;
    expected.replace(expected.find("dword:00000001"), 14, "dword:00000003\r\n\"Size\"=dword:00000000");
    EXPECT_EQ(readFile(file_), expected);
    EXPECT_TRUE(backupsOf(file_).empty());
    EXPECT_FALSE(fs::exists(file_ + ".tmp"));
}

TEST_F(RegistryFileTest, ConcurrentWritersInSeveralProcessesLoseNothing) {
    constexpr int kWriters = 3;
    constexpr int kValuesEach = 120;
    ASSERT_TRUE(RegistryKey::createCurrentUser(kRoot));
    std::vector<pid_t> children;
    for (int writer = 0; writer < kWriters; ++writer) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            bool ok = true;
            RegistryKey root = RegistryKey::createCurrentUser(kRoot);
            RegistryKey own = root.createSubkey("Writer_" + std::to_string(writer));
            for (int i = 0; i < kValuesEach; ++i) {
                const auto value = static_cast<std::uint32_t>(writer * 1000 + i);
                ok = root.setDword("W" + std::to_string(writer) + "_" + std::to_string(i), value) && ok;
                if (i % 10 == 0) ok = own.setDword("V" + std::to_string(i), value) && ok;
            }
            _exit(ok ? 0 : 1);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    RegistryKey root = RegistryKey::openCurrentUser(kRoot);
    ASSERT_TRUE(root);
    int missing = 0;
    for (int writer = 0; writer < kWriters; ++writer) {
        RegistryKey own = root.openSubkey("Writer_" + std::to_string(writer));
        EXPECT_TRUE(own);
        for (int i = 0; i < kValuesEach; ++i) {
            const auto value = static_cast<std::uint32_t>(writer * 1000 + i);
            if (queryOr(root, "W" + std::to_string(writer) + "_" + std::to_string(i), ~0u) != value) ++missing;
            if (i % 10 == 0 && queryOr(own, "V" + std::to_string(i), ~0u) != value) ++missing;
        }
    }
    EXPECT_EQ(missing, 0);
    EXPECT_TRUE(regfile::Document::parse(readFile(file_)).complete());
    EXPECT_TRUE(backupsOf(file_).empty());
}

TEST_F(RegistryFileTest, ACrashBetweenWriteAndRenameLeavesTheOldFile) {
    RegistryKey root = RegistryKey::createCurrentUser(kRoot);
    ASSERT_TRUE(root.setDword("Before", 1));
    const std::string before = readFile(file_);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        regfile::testHookBeforeRename.store([] { _exit(42); });
        RegistryKey writer = RegistryKey::createCurrentUser(kRoot);
        writer.setDword("Lost", 2);
        _exit(1); // the hook did not run
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 42);

    EXPECT_EQ(readFile(file_), before);
    EXPECT_TRUE(fs::exists(file_ + ".tmp")); // what the crashed writer left
    EXPECT_EQ(queryOr(root, "Lost", 0), 0u);

    // The next writer is not blocked by the dead one's lock or its left-over file.
    ASSERT_TRUE(root.setDword("After", 3));
    EXPECT_EQ(queryOr(root, "Before", 0), 1u);
    EXPECT_EQ(queryOr(root, "After", 0), 3u);
    EXPECT_EQ(queryOr(root, "Lost", 0), 0u);
    EXPECT_FALSE(fs::exists(file_ + ".tmp"));
    EXPECT_TRUE(backupsOf(file_).empty());
}

TEST_F(RegistryFileTest, UnreadableFilesReadAsNoKeyAndAreNeverReplaced) {
    fs::create_directories(file_); // a folder where the file should be
    EXPECT_FALSE(RegistryKey::openCurrentUser(kRoot));
    EXPECT_FALSE(RegistryKey::createCurrentUser(kRoot));
    EXPECT_TRUE(fs::is_directory(file_));
    fs::remove(file_);

    // A file the user may not read (only meaningful when not running as root).
    writeFile(file_, "[HKEY_CURRENT_USER\\Software\\Quelm\\OrvixK62DT4Sdk]\n\"Color\"=dword:00000001\n");
    const std::string content = readFile(file_);
    fs::permissions(file_, fs::perms::none);
    if (geteuid() != 0) {
        EXPECT_FALSE(RegistryKey::openCurrentUser(kRoot));
        EXPECT_FALSE(RegistryKey::createCurrentUser(kRoot));
        EXPECT_FALSE(RegistryKey::createCurrentUser(kRoot + "\\New"));
    }
    fs::permissions(file_, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(readFile(file_), content);

    // Binary junk is readable: it holds no key, and its first rewrite keeps a copy.
    const std::string junk("\x00\x01\xFF\xFE\x80garbage\n\x00", 14);
    writeFile(file_, junk);
    EXPECT_FALSE(RegistryKey::openCurrentUser(kRoot));
    ASSERT_TRUE(RegistryKey::createCurrentUser(kRoot).setDword("Color", 2));
    ASSERT_EQ(backupsOf(file_).size(), 1u);
    EXPECT_EQ(readFile(backupsOf(file_)[0]), junk);
    EXPECT_EQ(queryOr(RegistryKey::openCurrentUser(kRoot), "Color", 0), 2u);
}

TEST_F(RegistryFileTest, PreservesPermissionsAndWritesThroughSymbolicLinks) {
    const std::string target = folder_ + "/real.reg";
    writeFile(target, "");
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink(target, file_);
    ASSERT_TRUE(RegistryKey::createCurrentUser(kRoot).setDword("Color", 2));
    EXPECT_TRUE(fs::is_symlink(file_));
    EXPECT_NE(readFile(target).find("\"Color\"=dword:00000002"), std::string::npos);
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(RegistryFileTest, DefaultLocationFollowsTheEnvironment) {
    SavedVariable savedConfig("XDG_CONFIG_HOME");
    SavedVariable savedHome("HOME");
    const std::string config = folder_ + "/config";
    const std::string home = folder_ + "/home";
    const std::string relative = "relative/config";
    auto writesTo = [&](const std::string& expected) {
        EXPECT_EQ(regfile::settingsFilePath(), expected);
        RegistryKey root = RegistryKey::createCurrentUser(kRoot);
        EXPECT_TRUE(root.setDword("Color", 4));
        EXPECT_TRUE(fs::is_regular_file(expected)) << expected;
        EXPECT_EQ(queryOr(RegistryKey::openCurrentUser(kRoot), "Color", 0), 4u);
    };

    orvix::test::setEnvironment("ORVIX_REGISTRY_FILE", "");
    orvix::test::setEnvironment("XDG_CONFIG_HOME", config);
    orvix::test::setEnvironment("HOME", home);
    writesTo(config + "/quelm/OrvixK62DT4Sdk.reg"); // folders are created
    EXPECT_EQ(fs::status(config + "/quelm").permissions() & fs::perms::all, fs::perms::owner_all);

    orvix::test::setEnvironment("XDG_CONFIG_HOME", relative); // not absolute: ignored
    writesTo(home + "/.config/quelm/OrvixK62DT4Sdk.reg");
    EXPECT_FALSE(fs::exists(relative));

    orvix::test::unsetEnvironment("XDG_CONFIG_HOME");
    fs::remove_all(home);
    writesTo(home + "/.config/quelm/OrvixK62DT4Sdk.reg");

    orvix::test::setEnvironment("ORVIX_REGISTRY_FILE", folder_ + "/chosen/file.reg");
    writesTo(folder_ + "/chosen/file.reg");
}

} // namespace
} // namespace orvix::platform
