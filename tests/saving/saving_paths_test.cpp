// Where saveSurface writes: only regular files are replaced (FIFOs, devices and
// folders are refused at once), a symbolic link is written through to its target,
// and a save that fails leaves the old file as it was.

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "capture/image_saving.h"
#include "imaging/surface.h"
#include "saving/saving_support.h"

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace orvix::test {
namespace {

namespace fs = std::filesystem;

bool leftTemporaryFiles(const std::string& folder) {
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() == ".tmp") return true;
    }
    return false;
}

TEST(SavePaths, AFolderIsNeverReplaced) {
    TempFolder folder;
    Surface picture;
    fillPicture(picture, 16, 8, 24);
    const std::string inside = folder.path("images");
    fs::create_directories(inside);
    for (std::int32_t format = 0; format <= kImageFormatTiff; ++format) {
        EXPECT_FALSE(saveSurface(inside.c_str(), &picture, format)) << format;
        EXPECT_TRUE(fs::is_directory(inside)) << format;
    }
    EXPECT_FALSE(leftTemporaryFiles(folder.path("")));
}

#ifndef _WIN32
// Runs `body` in a child that is killed after ten seconds; its exit code, -1 when it
// hung.
template <typename Body>
int runBounded(Body body) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(10);
        ::_exit(body());
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child) return -2;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SavePaths, FifosAndDevicesAreRefusedWithoutBlocking) {
    TempFolder folder;
    Surface picture;
    fillPicture(picture, 16, 8, 24);
    const std::string fifo = folder.path("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int saved = runBounded([&] {
        int accepted = 0;
        for (std::int32_t format = 0; format <= kImageFormatTiff; ++format) {
            if (saveSurface(fifo.c_str(), &picture, format)) accepted |= 1 << format;
            if (saveSurface("/dev/null", &picture, format)) accepted |= 0x80;
        }
        return accepted;
    });
    EXPECT_EQ(saved, 0) << "-1: a save blocked; otherwise the formats that were written (bit = format)";
    struct stat info {};
    ASSERT_EQ(::lstat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_FALSE(leftTemporaryFiles(folder.path("")));
}

TEST(SavePaths, ALinkIsWrittenThroughAndKept) {
    TempFolder folder;
    Surface picture;
    fillPicture(picture, 16, 8, 24);
    fs::create_directories(folder.path("real"));
    const std::string target = folder.path("real/picture.png");
    const std::string link = folder.path("latest.png");
    fs::create_symlink("real/picture.png", link); // relative, not there yet
    for (std::int32_t format = 0; format <= kImageFormatTiff; ++format) {
        const std::string reference = folder.path("reference");
        ASSERT_TRUE(saveSurface(reference.c_str(), &picture, format));
        ASSERT_TRUE(saveSurface(link.c_str(), &picture, format)) << format;
        EXPECT_TRUE(fs::is_symlink(link)) << format;
        EXPECT_EQ(readFile(target), readFile(reference)) << format;
    }
    EXPECT_FALSE(leftTemporaryFiles(folder.path("real")));
    EXPECT_FALSE(leftTemporaryFiles(folder.path("")));
}

TEST(SavePaths, ReplacedFilesKeepTheirPermissionsAndReadOnlyOnesAreKept) {
    TempFolder folder;
    Surface picture;
    fillPicture(picture, 16, 8, 8);
    const std::string file = folder.path("shared.bmp");
    writeFile(file, Bytes(10, 1));
    ::chmod(file.c_str(), 0640);
    ASSERT_TRUE(saveSurface(file.c_str(), &picture, kImageFormatBmp));
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);

    if (::geteuid() != 0) { // root may write any file
        ::chmod(file.c_str(), 0440);
        const Bytes before = readFile(file);
        EXPECT_FALSE(saveSurface(file.c_str(), &picture, kImageFormatRaw));
        EXPECT_EQ(readFile(file), before);
    }
}

// The process may not write files longer than 64 KiB: every format fails on a
// full frame of noise (which no format compresses below that), and the file behind
// a link keeps its old contents.
TEST(SavePaths, AFailedSaveThroughALinkLeavesTheOldFile) {
    TempFolder folder;
    Surface picture;
    ASSERT_TRUE(picture.create(1360, 1024, 24));
    std::mt19937 random(11);
    for (std::size_t i = 0; i < picture.byteCount(); ++i) picture.bits()[i] = static_cast<std::uint8_t>(random());
    const std::string target = folder.path("old.img");
    const std::string link = folder.path("link.img");
    const Bytes old(1000, 0x42);
    writeFile(target, old);
    fs::create_symlink(target, link);
    const int failures = runBounded([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64 * 1024, 64 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        int succeeded = 0;
        for (std::int32_t format = 0; format <= kImageFormatTiff; ++format) {
            if (saveSurface(link.c_str(), &picture, format)) succeeded |= 1 << format;
        }
        return succeeded;
    });
    EXPECT_EQ(failures, 0) << "formats that reported success (bit = format)";
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(readFile(target), old);
    EXPECT_FALSE(leftTemporaryFiles(folder.path("")));
}
#endif

} // namespace
} // namespace orvix::test
