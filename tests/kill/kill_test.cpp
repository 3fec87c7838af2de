// Writers killed with SIGKILL in the middle of their writes, a few dozen times: the
// settings file and a saved image are always a complete old or new version, never
// torn, never missing.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "capture/image_saving.h"
#include "imaging/surface.h"
#include "platform/posix/registry_document.h"
#include "platform/registry.h"
#include "saving/saving_support.h"
#include "support/test_environment.h"

namespace orvix::test {
namespace {

namespace fs = std::filesystem;
using platform::RegistryKey;

const std::string kRoot = "Software\\Quelm\\OrvixK62DT4Sdk";

// A fork under ThreadSanitizer costs about two seconds (its shadow memory is copied),
// and the writers are single-threaded children, so there it kills fewer of them: the
// rounds still run through the same code, the other builds kill the full count.
#if defined(__SANITIZE_THREAD__)
constexpr int kKillShare = 4;
#else
constexpr int kKillShare = 1;
#endif

// Starts `body` in a child, lets it run for a random moment and kills it.
template <typename Body>
void killWhileRunning(std::mt19937& random, int minMs, int maxMs, Body body) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        body();
        ::_exit(0);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(minMs, maxMs)(random)));
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
}

std::string text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(KilledWriters, TheSettingsFileIsAlwaysAWholeVersion) {
    const std::string folder = temporaryPath("orvix-kill-settings");
    fs::create_directories(folder);
    const std::string file = folder + "/settings.reg";
    setEnvironment("ORVIX_REGISTRY_FILE", file);
    constexpr int kKeys = 20;
    constexpr int kValues = 12;
    auto valueName = [](int v) { return "Value" + std::to_string(v); };
    {
        RegistryKey root = RegistryKey::createCurrentUser(kRoot);
        for (int k = 0; k < kKeys; ++k) {
            RegistryKey key = root.createSubkey("Key_" + std::to_string(k));
            for (int v = 0; v < kValues; ++v) ASSERT_TRUE(key.setDword(valueName(v), 0));
        }
    }
    std::mt19937 random(2024);
    int torn = 0;
    constexpr int kKills = 24 / kKillShare;
    for (int round = 1; round <= kKills; ++round) {
        killWhileRunning(random, 2, 40, [&] {
            RegistryKey root = RegistryKey::createCurrentUser(kRoot);
            for (std::uint32_t pass = 0;; ++pass) {
                for (int k = 0; k < kKeys; ++k) {
                    RegistryKey key = root.createSubkey("Key_" + std::to_string(k));
                    for (int v = 0; v < kValues; ++v) key.setDword(valueName(v), static_cast<std::uint32_t>(round) * 1000 + pass);
                }
            }
        });
        // Complete, every value there, each holding a value some writer set.
        const auto document = platform::regfile::Document::parse(text(readFile(file)));
        bool whole = document.complete();
        for (int k = 0; k < kKeys && whole; ++k) {
            for (int v = 0; v < kValues && whole; ++v) {
                whole = document.queryDword({"Software", "Quelm", "OrvixK62DT4Sdk", "Key_" + std::to_string(k)},
                                            valueName(v))
                            .has_value();
            }
        }
        if (!whole) ++torn;
    }
    EXPECT_EQ(torn, 0) << "of " << kKills << " kills";
    // The next writer is not held up by anything a killed one left.
    EXPECT_TRUE(RegistryKey::createCurrentUser(kRoot).setDword("After", 1));
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

TEST(KilledWriters, ASavedImageIsAlwaysTheOldOrTheNewFile) {
    TempFolder folder;
    Surface pictures[2];
    fillPicture(pictures[0], 1360, 1024, 24);
    ASSERT_TRUE(pictures[1].create(1360, 1024, 24));
    std::mt19937 noise(5);
    for (std::size_t i = 0; i < pictures[1].byteCount(); ++i) pictures[1].bits()[i] = static_cast<std::uint8_t>(noise());

    // The files each picture gives in each format.
    constexpr std::int32_t kFormats[] = {kImageFormatBmp,  kImageFormatRaw, kImageFormatJpeg70,
                                         kImageFormatPng,  kImageFormatTiff};
    std::vector<Bytes> expected[kImageFormatTiff + 1];
    for (std::int32_t format : kFormats) {
        for (const Surface& picture : pictures) {
            const std::string reference = folder.path("reference");
            ASSERT_TRUE(saveSurface(reference.c_str(), &picture, format));
            expected[format].push_back(readFile(reference));
        }
    }
    const std::string file = folder.path("picture");
    ASSERT_TRUE(saveSurface(file.c_str(), &pictures[0], kImageFormatBmp));
    Bytes previous = readFile(file);

    std::mt19937 random(77);
    constexpr int kKills = 30 / kKillShare;
    int bad = 0;
    for (int round = 0; round < kKills; ++round) {
        const std::int32_t format = kFormats[round % 5];
        killWhileRunning(random, 3, 80, [&] {
            for (int i = 0;; ++i) saveSurface(file.c_str(), &pictures[i % 2], format);
        });
        const Bytes now = readFile(file);
        const bool whole = now == previous || now == expected[format][0] || now == expected[format][1];
        if (!whole) ++bad;
        EXPECT_TRUE(whole) << "round " << round << ", format " << format << ": " << now.size() << " bytes";
        previous = now;
    }
    EXPECT_EQ(bad, 0) << "of " << kKills << " kills";
}

} // namespace
} // namespace orvix::test
