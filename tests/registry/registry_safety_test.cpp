// The settings file on Linux against a hostile neighbourhood: a lock another process
// does not release, FIFOs and devices where files should be, writes that fail half
// way, and other processes changing the file between queries.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "platform/posix/registry_file.h"
#include "platform/registry.h"
#include "support/test_environment.h"

namespace orvix::platform {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string kRoot = "Software\\Quelm\\OrvixK62DT4Sdk";

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t queryOr(const RegistryKey& key, const std::string& name, std::uint32_t fallback) {
    std::uint32_t value = fallback;
    key.queryDword(name, value);
    return value;
}

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Runs `body` in a child process that is killed after `seconds`; its exit code, or -1
// when it did not end by itself (it hung).
int runBounded(const std::function<int()>& body, unsigned seconds = 20) {
    const pid_t child = fork();
    if (child == 0) {
        alarm(seconds);
        _exit(body());
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) return -2;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Holds the settings lock the way another process would: an open file description
// of its own with an exclusive flock.
class ForeignLock {
public:
    explicit ForeignLock(const std::string& settingsFile)
        : fd_(::open((settingsFile + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
        locked_ = fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) == 0;
    }
    ~ForeignLock() { release(); }
    ForeignLock(const ForeignLock&) = delete;
    ForeignLock& operator=(const ForeignLock&) = delete;
    bool locked() const { return locked_; }
    void release() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
    bool locked_ = false;
};

class RegistrySafetyTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = orvix::test::temporaryPath("orvix-registry-safety");
        fs::create_directories(folder_);
        file_ = folder_ + "/settings.reg";
        orvix::test::setEnvironment("ORVIX_REGISTRY_FILE", file_);
    }
    void TearDown() override {
        orvix::test::setEnvironment("ORVIX_REGISTRY_FILE", saved_);
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    std::string saved_ = orvix::test::settingsFilePath();
    std::string folder_;
    std::string file_;
};

TEST_F(RegistrySafetyTest, AHeldLockIsWaitedForBoundedlyAndOnlyForRealChanges) {
    ASSERT_TRUE(RegistryKey::createCurrentUser(kRoot).setDword("Color", 2));
    ASSERT_TRUE(RegistryKey::createCurrentUser(kRoot + "\\Size_00").setDword("TH", 1360));
    const std::string before = readFile(file_);
    ForeignLock foreign(file_);
    ASSERT_TRUE(foreign.locked());

    // What the file holds already needs no lock.
    auto start = Clock::now();
    RegistryKey root = RegistryKey::createCurrentUser(kRoot);
    ASSERT_TRUE(root);
    EXPECT_TRUE(root.setDword("Color", 2));
    EXPECT_TRUE(root.setDword("COLOR", 2));
    EXPECT_TRUE(root.createSubkey("size_00").setDword("TH", 1360));
    EXPECT_LT(secondsSince(start), 1.0);

    // A real change waits for the lock, gives up after the bound, writes nothing.
    start = Clock::now();
    EXPECT_FALSE(root.setDword("Color", 3));
    const double waited = secondsSince(start);
    EXPECT_GE(waited, 0.9 * std::chrono::duration<double>(regfile::kLockWait).count());
    EXPECT_LT(waited, 3 * std::chrono::duration<double>(regfile::kLockWait).count());
    EXPECT_FALSE(root.createSubkey("Size_01"));
    EXPECT_EQ(readFile(file_), before);
    EXPECT_EQ(queryOr(root, "Color", 0), 2u);

    // The holder is taken for stuck: the next changes do not wait again.
    start = Clock::now();
    for (int i = 0; i < 20; ++i) EXPECT_FALSE(root.setDword("Gain" + std::to_string(i), 1));
    EXPECT_LT(secondsSince(start), 0.5 * std::chrono::duration<double>(regfile::kLockWait).count());

    // Once the lock is free, changes go through at once.
    foreign.release();
    EXPECT_TRUE(root.setDword("Color", 4));
    EXPECT_EQ(queryOr(RegistryKey::openCurrentUser(kRoot), "Color", 0), 4u);
    EXPECT_EQ(queryOr(RegistryKey::openCurrentUser(kRoot + "\\Size_00"), "TH", 0), 1360u);
}

TEST_F(RegistrySafetyTest, FifosAndDevicesAreRefusedWithoutBlocking) {
    ASSERT_EQ(::mkfifo(file_.c_str(), 0600), 0);
    const int asFile = runBounded([&] {
        if (RegistryKey::openCurrentUser(kRoot)) return 1;
        if (RegistryKey::createCurrentUser(kRoot)) return 2;
        return 0;
    });
    EXPECT_EQ(asFile, 0) << "-1: the store blocked on a FIFO as settings file";
    struct stat info {};
    ASSERT_EQ(::lstat(file_.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode)); // never replaced
    ::unlink(file_.c_str());

    // A FIFO as lock file: changes fail, nothing blocks.
    ASSERT_TRUE(RegistryKey::createCurrentUser(kRoot).setDword("Color", 1));
    fs::remove(file_ + ".lock");
    ASSERT_EQ(::mkfifo((file_ + ".lock").c_str(), 0600), 0);
    const int asLock = runBounded([&] { return RegistryKey::createCurrentUser(kRoot).setDword("Color", 5) ? 1 : 0; });
    EXPECT_EQ(asLock, 0);
    EXPECT_EQ(queryOr(RegistryKey::openCurrentUser(kRoot), "Color", 0), 1u);
    ::unlink((file_ + ".lock").c_str());

    // A FIFO left where the temporary file goes is cleared away.
    ASSERT_EQ(::mkfifo((file_ + ".tmp").c_str(), 0600), 0);
    const int asTemporary =
        runBounded([&] { return RegistryKey::createCurrentUser(kRoot).setDword("Color", 6) ? 0 : 1; });
    EXPECT_EQ(asTemporary, 0);
    EXPECT_EQ(queryOr(RegistryKey::openCurrentUser(kRoot), "Color", 0), 6u);
    EXPECT_FALSE(fs::exists(file_ + ".tmp"));

    // A device: read as no key, never written, nothing created beside it.
    orvix::test::setEnvironment("ORVIX_REGISTRY_FILE", "/dev/null");
    const int asDevice = runBounded([&] {
        if (RegistryKey::openCurrentUser(kRoot)) return 1;
        if (RegistryKey::createCurrentUser(kRoot)) return 2;
        return 0;
    });
    EXPECT_EQ(asDevice, 0);
    EXPECT_FALSE(fs::exists("/dev/null.lock"));
    EXPECT_FALSE(fs::exists("/dev/null.tmp"));
}

// The new contents cannot be written in full (the process may not write files that
// long): the change fails and the old file stays, through a symbolic link too.
TEST_F(RegistrySafetyTest, AFailedWriteLeavesTheOldContentsBehindALink) {
    const std::string target = folder_ + "/real.reg";
    fs::create_symlink(target, file_);
    ASSERT_TRUE(RegistryKey::createCurrentUser(kRoot).setDword("Color", 2));
    ASSERT_TRUE(fs::is_symlink(file_));
    const std::string before = readFile(target);
    ASSERT_FALSE(before.empty());

    const int child = runBounded([&] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{before.size() + 16, before.size() + 16};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        RegistryKey root = RegistryKey::createCurrentUser(kRoot);
        return root.setDword("AVeryLongValueNameThatMakesTheFileGrowBeyondItsLimit", 7) ? 1 : 0;
    });
    EXPECT_EQ(child, 0);
    EXPECT_TRUE(fs::is_symlink(file_));
    EXPECT_EQ(readFile(target), before);
    EXPECT_FALSE(fs::exists(target + ".tmp"));
    EXPECT_FALSE(fs::exists(file_ + ".tmp"));
}

// Other processes rewrite the file between this process's queries, many times within
// one tick of the file system's clock, each time to a file of the same size: every
// query sees the version on disk, never an older parse.
TEST_F(RegistrySafetyTest, QueriesSeeEveryVersionOtherProcessesWrite) {
    ASSERT_TRUE(RegistryKey::createCurrentUser(kRoot).setDword("Value", 0));
    RegistryKey reader = RegistryKey::openCurrentUser(kRoot);
    ASSERT_TRUE(reader);
    std::int64_t previousSize = -1;
    for (std::uint32_t round = 1; round <= 30; ++round) {
        const int written = runBounded([&] { return RegistryKey::createCurrentUser(kRoot).setDword("Value", round) ? 0 : 1; });
        ASSERT_EQ(written, 0);
        ASSERT_EQ(queryOr(reader, "Value", 0), round);
        const auto size = static_cast<std::int64_t>(fs::file_size(file_));
        if (previousSize >= 0) {
            EXPECT_EQ(size, previousSize); // the same size every time
        }
        previousSize = size;
    }
    // An edit by hand that keeps the inode is seen as well.
    std::string text = readFile(file_);
    text.replace(text.find("dword:0000001e"), 14, "dword:0000abcd");
    {
        std::ofstream out(file_, std::ios::binary | std::ios::in | std::ios::out);
        out << text;
    }
    EXPECT_EQ(queryOr(reader, "Value", 0), 0xabcdu);
}

TEST_F(RegistrySafetyTest, EveryRewriteIsNewerThanTheVersionBefore) {
    RegistryKey root = RegistryKey::createCurrentUser(kRoot);
    ASSERT_TRUE(root.setDword("Value", 0));
    struct stat before {};
    ASSERT_EQ(::stat(file_.c_str(), &before), 0);
    for (std::uint32_t value = 1; value <= 20; ++value) {
        ASSERT_TRUE(root.setDword("Value", value));
        struct stat after {};
        ASSERT_EQ(::stat(file_.c_str(), &after), 0);
        const bool later = after.st_mtim.tv_sec > before.st_mtim.tv_sec ||
                           (after.st_mtim.tv_sec == before.st_mtim.tv_sec && after.st_mtim.tv_nsec > before.st_mtim.tv_nsec);
        EXPECT_TRUE(later) << value;
        before = after;
    }
}

} // namespace
} // namespace orvix::platform
