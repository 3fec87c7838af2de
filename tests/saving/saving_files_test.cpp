// saveSurface on every depth and format: the files byte by byte (BMP, raw), their
// content hashes (the same on Linux and Windows), replaced files, refused calls,
// library errors and failed writes that leave no file, and concurrent saves.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <thread>

#include "capture/image_saving.h"
#include "imaging/surface.h"
#include "imaging/pixel_kernels.h"
#include "saving/saving_support.h"

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace orvix::test {
namespace {

constexpr int kWidth = 161;
constexpr int kHeight = 75;

std::uint32_t u32At(const Bytes& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}

// The Surface's memory rows in the opposite order.
Bytes rowsBottomUp(const Surface& s) {
    Bytes rows;
    for (int y = s.height() - 1; y >= 0; --y) {
        const std::uint8_t* row = s.bits() + static_cast<std::size_t>(y) * s.stride();
        rows.insert(rows.end(), row, row + s.stride());
    }
    return rows;
}

Bytes memoryOf(const Surface& s) { return Bytes(s.bits(), s.bits() + s.byteCount()); }

TEST(SaveSurface, RefusesBadArgumentsWithoutCreatingAFile) {
    TempFolder folder;
    const std::string file = folder.path("refused");
    Surface picture;
    fillPicture(picture, 8, 4, 24);
    for (std::int32_t format : {7, -1, 100, -2147483647 - 1}) {
        EXPECT_FALSE(saveSurface(file.c_str(), &picture, format)) << format;
    }
    Surface empty;
    Surface unusual; // a depth no library format is written from
    ASSERT_TRUE(unusual.create(8, 4, 40));
    for (std::int32_t format = 0; format <= kImageFormatTiff; ++format) {
        EXPECT_FALSE(saveSurface(nullptr, &picture, format)) << format;
        EXPECT_FALSE(saveSurface(file.c_str(), nullptr, format)) << format;
        EXPECT_FALSE(saveSurface(file.c_str(), &empty, format)) << format;
        if (format >= kImageFormatJpeg100) {
            EXPECT_FALSE(saveSurface(file.c_str(), &unusual, format)) << format;
        }
    }
    EXPECT_FALSE(fileExists(file));
}

TEST(SaveSurface, BmpFilesHoldTheSurfaceHeaderAndTheRowsBottomUp) {
    TempFolder folder;
    for (std::uint16_t bits : kDepths) {
        SCOPED_TRACE(bits);
        Surface picture;
        fillPicture(picture, kWidth, kHeight, bits);
        const std::string file = folder.path("picture.bmp");
        ASSERT_TRUE(saveSurface(file.c_str(), &picture, kImageFormatBmp));
        const Bytes data = readFile(file);
        const std::uint32_t offset = bits == 8 ? 1078 : 54;
        ASSERT_EQ(data.size(), offset + kHeight * picture.stride());
        EXPECT_EQ(u32At(data, 2), data.size());
        EXPECT_EQ(u32At(data, 10), offset);
        EXPECT_EQ(u32At(data, 18), static_cast<std::uint32_t>(kWidth));
        EXPECT_EQ(u32At(data, 22), static_cast<std::uint32_t>(kHeight)); // positive: bottom-up
        EXPECT_EQ(data[28] | (data[29] << 8), bits);
        if (bits == 8) {
            EXPECT_EQ(u32At(data, 54 + 4 * 200), 0x00C8C8C8u); // the gray ramp
        }
        EXPECT_TRUE(Bytes(data.begin() + offset, data.end()) == rowsBottomUp(picture));
    }
    Surface fullFrame;
    fillPicture(fullFrame, 1360, 1024, 24);
    const std::string file = folder.path("full.bmp");
    ASSERT_TRUE(saveSurface(file.c_str(), &fullFrame, kImageFormatBmp));
    EXPECT_EQ(readFile(file).size(), 54u + 1024u * 4080u);
}

TEST(SaveSurface, RawFilesAreThePixelMemoryTopRowFirst) {
    TempFolder folder;
    const std::string file = folder.path("picture.raw");
    Surface half;
    fillPicture(half, 680, 512, 16);
    ASSERT_TRUE(saveSurface(file.c_str(), &half, kImageFormatRaw));
    const Bytes data = readFile(file);
    EXPECT_EQ(data.size(), 680u * 2u * 512u);
    EXPECT_TRUE(data == memoryOf(half));
    for (std::uint16_t bits : kDepths) { // padding bytes included
        Surface picture;
        fillPicture(picture, kWidth, kHeight, bits);
        ASSERT_TRUE(saveSurface(file.c_str(), &picture, kImageFormatRaw));
        EXPECT_TRUE(readFile(file) == memoryOf(picture)) << bits;
    }
}

// Content hashes of the deterministic formats. The Windows build links its own
// builds of the same library releases and must write exactly these files.
TEST(SaveSurface, FilesAreTheSameOnEveryPlatform) {
    struct Expected {
        std::uint16_t bits;
        std::int32_t format;
        std::uint64_t hash;
    };
    const Expected kExpected[] = {
    {8, 0, 0x5d82f1343a06c8cbull},
    {8, 1, 0x57bb9fccaf500f7dull},
    {8, 5, 0x36127cd38316ede3ull},
    {8, 6, 0xb7176488206a9dc9ull},
    {16, 0, 0x446077736a2bbddfull},
    {16, 1, 0xcb83f0b327bf4cacull},
    {16, 5, 0xc018bcc3d8dfe0e3ull},
    {16, 6, 0x73a0562a19c15ed0ull},
    {24, 0, 0x2056046fb0855f79ull},
    {24, 1, 0xff8f187014e5930dull},
    {24, 5, 0x6ff271b2430ee3c5ull},
    {24, 6, 0x2cec9dd93412dcd1ull},
    {32, 0, 0x1610297ad556908cull},
    {32, 1, 0x74f64fe93b7ef076ull},
    {32, 5, 0x7902475b9eea0a61ull},
    {32, 6, 0x90b0278bf3ec2c2cull},
    {48, 0, 0xe54e0b4785c6250full},
    {48, 1, 0xb63a2e16c842365dull},
    {48, 5, 0x6f6dfb9f3a131f17ull},
    {48, 6, 0x253feab566491975ull},
    {64, 0, 0xbc45250bcfaa8df0ull},
    {64, 1, 0x3cbcb9af48a11f54ull},
    {64, 5, 0xb7024be000bdc61eull},
    {64, 6, 0x6995c2aba9883b3full},
    };
    TempFolder folder;
    std::string actual;
    bool same = true;
    for (std::uint16_t bits : kDepths) {
        Surface picture;
        fillPicture(picture, kWidth, kHeight, bits);
        for (std::int32_t format : {kImageFormatBmp, kImageFormatRaw, kImageFormatPng, kImageFormatTiff}) {
            const std::string file = folder.path("hashed");
            ASSERT_TRUE(saveSurface(file.c_str(), &picture, format));
            const std::uint64_t hash = fnv1a64(readFile(file));
            char line[96];
            std::snprintf(line, sizeof line, "    {%d, %d, 0x%016llxull},\n", bits, format,
                          static_cast<unsigned long long>(hash));
            actual += line;
            bool found = false;
            for (const Expected& e : kExpected) {
                if (e.bits == bits && e.format == format) found = e.hash == hash;
            }
            same = same && found;
        }
    }
    EXPECT_TRUE(same) << "hashes of this build:\n" << actual;
}

TEST(SaveSurface, ReplacesAnExistingLongerFile) {
    TempFolder folder;
    Surface picture;
    fillPicture(picture, kWidth, kHeight, 24);
    for (std::int32_t format = 0; format <= kImageFormatTiff; ++format) {
        const std::string fresh = folder.path("fresh");
        const std::string old = folder.path("old");
        writeFile(old, Bytes(200000, 0x5A));
        ASSERT_TRUE(saveSurface(fresh.c_str(), &picture, format));
        ASSERT_TRUE(saveSurface(old.c_str(), &picture, format));
        EXPECT_TRUE(readFile(old) == readFile(fresh)) << format;
    }
}

TEST(SaveSurface, LibraryErrorsFailTheSaveAndLeaveNoFile) {
    TempFolder folder;
    const std::string file = folder.path("refused");
    Surface tooWideForJpeg; // JPEG images end at 65500 pixels
    ASSERT_TRUE(tooWideForJpeg.create(65501, 1, 8));
    EXPECT_FALSE(saveSurface(file.c_str(), &tooWideForJpeg, kImageFormatJpeg70));
    EXPECT_FALSE(fileExists(file));

    Surface tooWideForPng; // beyond libpng's default width limit of a million pixels
    ASSERT_TRUE(tooWideForPng.create(1000001, 1, 8));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(saveSurface(file.c_str(), &tooWideForPng, kImageFormatPng));
    const std::string pngMessages = testing::internal::GetCapturedStderr();
    EXPECT_NE(pngMessages.find("libpng error: "), std::string::npos) << pngMessages;
    EXPECT_FALSE(fileExists(file));

    // A folder that does not exist: nothing can be opened, and libtiff says nothing.
    Surface picture;
    fillPicture(picture, 8, 4, 24);
    const std::string nowhere = folder.path("missing") + "/picture";
    for (std::int32_t format = 0; format <= kImageFormatTiff; ++format) {
        testing::internal::CaptureStderr();
        EXPECT_FALSE(saveSurface(nowhere.c_str(), &picture, format)) << format;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << format;
    }
}

#ifndef _WIN32
// In a child process whose files may not grow beyond 64 KiB, every format fails to
// write a full-frame noise image, which cannot be compressed below that, and
// leaves no file behind; libtiff prints nothing about its failed strip.
TEST(SaveSurface, FailedWritesLeaveNoHalfWrittenFile) {
    TempFolder folder;
    Surface noise;
    ASSERT_TRUE(noise.create(1360, 1024, 24));
    std::mt19937 random(7);
    for (std::size_t i = 0; i < noise.byteCount(); ++i) noise.bits()[i] = static_cast<std::uint8_t>(random());
    const std::string messages = folder.path("stderr.txt");

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        std::freopen(messages.c_str(), "w", stderr);
        const rlimit limit{64 * 1024, 64 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        int faults = 0;
        for (std::int32_t format = 0; format <= kImageFormatTiff; ++format) {
            const std::string file = folder.path("partial" + std::to_string(format));
            if (saveSurface(file.c_str(), &noise, format) || fileExists(file)) faults |= 1 << format;
        }
        std::fflush(stderr);
        ::_exit(faults);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "formats that reported success or left a file (bit = format)";
    // Only libpng's own error line (and warnings) reach standard error.
    const Bytes text = readFile(messages);
    std::string line;
    for (std::uint8_t c : text) {
        if (c != '\n') {
            line += static_cast<char>(c);
            continue;
        }
        EXPECT_EQ(line.rfind("libpng ", 0), 0u) << line;
        line.clear();
    }
    EXPECT_NE(std::string(text.begin(), text.end()).find("libpng error: "), std::string::npos);
}
#endif

// Two cameras saving at once: every file each thread writes equals the file it
// writes alone.
TEST(SaveSurface, ConcurrentSavesWriteTheSameFilesAsSingleOnes) {
    TempFolder folder;
    const auto saver = [&](int id, std::uint16_t bits, bool& same) {
        Surface picture;
        fillPicture(picture, 320 + id, 240, bits);
        Bytes reference[kImageFormatTiff + 1];
        for (std::int32_t format = 0; format <= kImageFormatTiff; ++format) {
            const std::string file = folder.path("reference" + std::to_string(id) + "-" + std::to_string(format));
            same = saveSurface(file.c_str(), &picture, format);
            reference[format] = readFile(file);
        }
        return [&, id, bits, reference]() mutable {
            Surface again;
            fillPicture(again, 320 + id, 240, bits);
            const std::string file = folder.path("concurrent" + std::to_string(id));
            for (int round = 0; round < 6; ++round) {
                for (std::int32_t format = 0; format <= kImageFormatTiff; ++format) {
                    same = same && saveSurface(file.c_str(), &again, format) && readFile(file) == reference[format];
                }
            }
        };
    };
    bool sameA = false;
    bool sameB = false;
    std::thread a(saver(0, 48, sameA));
    std::thread b(saver(1, 32, sameB));
    a.join();
    b.join();
    EXPECT_TRUE(sameA);
    EXPECT_TRUE(sameB);
}

TEST(CopyBgrFlip, MirrorsTheRowsAndDropsTheFourthByte) {
    Surface source;
    Surface mirrored;
    ASSERT_TRUE(source.create(3, 2, 32));
    ASSERT_TRUE(mirrored.create(3, 2, 24));
    for (std::size_t i = 0; i < source.byteCount(); ++i) source.bits()[i] = static_cast<std::uint8_t>(i + 1);
    mirrored.blit(copyBgrFlip, &source, nullptr, 0, 0, nullptr, 0);
    const Bytes expected = {13, 14, 15, 17, 18, 19, 21, 22, 23, 0, 0, 0, 1, 2, 3, 5, 6, 7, 9, 10, 11, 0, 0, 0};
    EXPECT_TRUE(memoryOf(mirrored) == expected);
}

} // namespace
} // namespace orvix::test
