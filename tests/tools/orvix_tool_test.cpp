// The orvix tool as a user runs it: a separate process with the emulated camera and a
// settings file of its own.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/test_environment.h"

namespace orvix::test {
namespace {

struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class OrvixTool : public ::testing::Test {
protected:
    void SetUp() override {
        const char* binaryDir = std::getenv("ORVIX_TEST_BINARY_DIR");
        ASSERT_NE(binaryDir, nullptr) << "run through ctest, or set ORVIX_TEST_BINARY_DIR";
        tool_ = std::string(binaryDir) + "/bin/orvix";
        ASSERT_TRUE(std::filesystem::exists(tool_)) << tool_;
        settings_ = temporaryPath("orvix-tool-settings") + ".reg";
        errors_ = temporaryPath("orvix-tool-stderr");
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove(settings_, ignored);
        std::filesystem::remove(settings_ + ".lock", ignored);
        std::filesystem::remove(errors_, ignored);
    }

    // Runs `orvix <arguments>` with cameras emulated in `slots` ("" for none), ended
    // after two minutes (exit code 124) should it hang.
    ToolRun run(const std::string& slots, const std::string& arguments) const {
        return runWithSettings(slots, arguments, settings_);
    }
    ToolRun runWithSettings(const std::string& slots, const std::string& arguments, const std::string& settings) const {
        const std::string command = "env -u DISPLAY ORVIX_K62DT4_EMULATE='" + slots + "' ORVIX_REGISTRY_FILE='" + settings +
                                    "' timeout 120 '" + tool_ + "' " + arguments + " 2>'" + errors_ + "'";
        ToolRun result;
        FILE* pipe = popen(command.c_str(), "r");
        if (!pipe) return result;
        char buffer[512];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) result.out.append(buffer, n);
        const int status = pclose(pipe);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::ifstream errorFile(errors_);
        std::stringstream text;
        text << errorFile.rdbuf();
        result.err = text.str();
        return result;
    }

private:
    std::string tool_;
    std::string settings_;
    std::string errors_;
};

TEST_F(OrvixTool, WithoutCamerasItExplainsTheEmulation) {
    for (const char* command : {"list", "info", "get Brightness", "set Gamma 100"}) {
        const ToolRun result = run("", command);
        EXPECT_EQ(result.exitCode, 1) << command;
        EXPECT_NE(result.err.find("no camera found"), std::string::npos) << command << ": " << result.err;
        EXPECT_NE(result.err.find("ORVIX_K62DT4_EMULATE=0"), std::string::npos) << command;
    }
}

TEST_F(OrvixTool, StreamCountsFramesAndChecksItsOptions) {
    // Headless: the window-less preview polled with GetImage.
    ToolRun result = run("0", "stream --frames 4 --seconds 20");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("frames received: 4\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("frames lost to errors: 0\n"), std::string::npos) << result.out;
    for (const char* bad : {"stream --frames 0", "stream --seconds x", "stream --frames"})
        EXPECT_EQ(run("0", bad).exitCode, 2) << bad;
    EXPECT_EQ(run("", "stream").exitCode, 1);
}

TEST_F(OrvixTool, SnapSavesOneFrameInTheChosenFormat) {
    const std::string bmp = temporaryPath("orvix-snap") + ".bmp";
    ToolRun result = run("0", "snap --color 8 --out '" + bmp + "'");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "saved a 8-bit frame of 1360 x 1024 as bmp to " + bmp + "\n");
    std::ifstream file(bmp, std::ios::binary);
    char magic[2] = {};
    file.read(magic, 2);
    EXPECT_EQ(std::string(magic, 2), "BM");
    // 8 bits: file header, info header, 256 colours, 1360 x 1024 pixels.
    EXPECT_EQ(std::filesystem::file_size(bmp), 14u + 40u + 1024u + 1360u * 1024u);
    std::filesystem::remove(bmp);

    const std::string png = temporaryPath("orvix-snap") + ".png";
    result = run("0", "snap --format png --out '" + png + "'");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(std::filesystem::exists(png));
    std::filesystem::remove(png);

    for (const char* bad : {"snap --format gif", "snap --color 12", "snap --out"})
        EXPECT_EQ(run("0", bad).exitCode, 2) << bad;
}

TEST_F(OrvixTool, SnapAppliesTheSettingsGivenAfterItsOptions) {
    const std::string bmp = temporaryPath("orvix-snap") + ".bmp";
    const ToolRun result = run("0", "snap --color 8 --out '" + bmp + "' CaptureWindow 640x480+8+4 Gamma 120");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("Gamma = 120\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("frame of 640 x 480"), std::string::npos) << result.out;
    EXPECT_EQ(std::filesystem::file_size(bmp), 14u + 40u + 1024u + 640u * 480u);
    std::filesystem::remove(bmp);
    for (const char* bad : {"snap Gamma 999", "snap Gamma", "snap NoSuchSetting 1"})
        EXPECT_EQ(run("0", bad).exitCode, 2) << bad;
}

TEST_F(OrvixTool, DialogWithoutDisplayEndsAsCancelledAndPrintsTheSettings) {
    const ToolRun result = run("0", "dialog image");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("Gamma "), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("CaptureWindow    1360x1024+0+0"), std::string::npos) << result.out;
    EXPECT_EQ(run("0", "dialog").exitCode, 2);
    EXPECT_EQ(run("0", "dialog monitor").exitCode, 2);
    EXPECT_EQ(run("", "dialog camera").exitCode, 1);
}

TEST_F(OrvixTool, ListNamesCamerasByCountWithTheirSlots) {
    const ToolRun result = run("2,5", "list");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "2 cameras found\n"
                          "  OrvixK62DT4_01   slot 2\n"
                          "  OrvixK62DT4_02   slot 5\n");
}

TEST_F(OrvixTool, InfoShowsTheCameraRecordFormatAndStreamSettings) {
    const ToolRun result = run("0", "info");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    for (const char* line : {"cameras:          OrvixK62DT4_01 (slot 0)\n", "sensor:           1360 x 1024\n",
                             "global gain:      0..1023\n", "exposure:         8..1068 lines\n",
                             "capture window:   1360x1024+0+0 (total 1360 x 1024)\n", "colour mode:      24 bits\n",
                             "sub-sample:       0 (1/1)\n", "wait time:        10 ms\n", "camera clock:     normal\n"})
        EXPECT_NE(result.out.find(line), std::string::npos) << line << "in:\n" << result.out;
}

TEST_F(OrvixTool, SetValuesAreCheckedAndFiltersAndGainsKept) {
    ToolRun result = run("0", "set Brightness 50 gamma 0x7F ExposureTime 5");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "Brightness = 50\nGamma = 127\nExposureTime = 8\n"); // the camera's shortest

    result = run("0", "get brightness");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "50\n");

    result = run("0", "set Brightness 300");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("Brightness must be between -255 and 255"), std::string::npos) << result.err;
    // A bad value anywhere stops the whole command before anything changes.
    result = run("0", "set Brightness 10 ColorMode 12");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("ColorMode must be 8, 16, 24, 32, 48 or 64 bits"), std::string::npos) << result.err;
    EXPECT_EQ(run("0", "get Brightness").out, "50\n");

    result = run("0", "set Sharpness");
    EXPECT_EQ(result.exitCode, 2);
    result = run("0", "get Sharpnes");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("unknown setting 'Sharpnes'"), std::string::npos);
}

TEST_F(OrvixTool, CaptureSettingsLastForTheCommand) {
    ToolRun result = run("0", "set ColorMode 8 SubSample 2 CaptureWindow 640x480+8+4");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "ColorMode = 8 (for this command only)\n"
                          "SubSample = 2 (for this command only)\n"
                          "CaptureWindow = 640x480+8+4\n");
    EXPECT_EQ(run("0", "get ColorMode").out, "24\n");

    result = run("0", "set CaptureWindow 1300x1024+100+0");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("error 7"), std::string::npos) << result.err;
    result = run("0", "set CaptureWindow 800x600");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("no stored capture format is 800 x 600"), std::string::npos) << result.err;
    EXPECT_EQ(run("0", "set CaptureWindow 1360x1024").exitCode, 0);
}

TEST_F(OrvixTool, NumbersOutOfRangeAreRefusedNamingTheRange) {
    struct Case {
        const char* arguments;
        const char* message;
    };
    const Case kCases[] = {
        {"stream --frames 99999999999999999999", "--frames must be between 1 and 1000000000"},
        {"stream --frames -3", "--frames must be between 1 and 1000000000"},
        {"stream --seconds 1e999", "--seconds must be more than 0 and at most 86400"},
        {"set CaptureWindow 99999999999x1", "WIDTH must be between 1 and 1360, not 99999999999"},
        {"set CaptureWindow 640x480+99999999999999999999+0", "X must be between 0 and 1359"},
        {"set CaptureWindow 640x0", "HEIGHT must be between 1 and 1024"},
        {"set Gamma 99999999999999999999", "Gamma must be between 0 and 200"},
        {"set Brightness 0xFFFFFFFFFFFFFFFFFF", "Brightness must be between -255 and 255"},
        {"set Sharpness 5x", "Sharpness must be a number between 0 and 30"},
        {"snap Gamma 4294967416", "Gamma must be between 0 and 200"},
    };
    for (const Case& c : kCases) {
        const ToolRun result = run("0", c.arguments);
        EXPECT_EQ(result.exitCode, 2) << c.arguments;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << c.arguments << ": " << result.err;
    }
    EXPECT_EQ(run("0", "snap --color 99999999999999999999").exitCode, 2);
    EXPECT_EQ(run("0", "get Gamma").out, "100\n"); // nothing was changed
}

TEST_F(OrvixTool, EveryCommandRefusesExtraArguments) {
    for (const char* command : {"list x", "info x", "names x", "version x", "help x", "get Gamma x", "set Gamma",
                                "dialog camera x", "stream --frames 2 x", "snap Gamma 120 x"}) {
        const ToolRun result = run("0", command);
        EXPECT_EQ(result.exitCode, 2) << command;
        EXPECT_TRUE(result.out.empty()) << command << ": " << result.out;
    }
}

TEST_F(OrvixTool, SetFailsWhenTheSettingsCannotBeWritten) {
    // The settings file would lie below a plain file: it can be read (as missing) but
    // never written.
    const std::string blocker = temporaryPath("orvix-tool-blocker");
    std::ofstream(blocker) << "a file, not a folder";
    const std::string unwritable = blocker + "/settings.reg";
    ToolRun result = runWithSettings("0", "set Gamma 50", unwritable);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("settings could not be written"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("Gamma = 50 was not kept"), std::string::npos) << result.err;
    // Settings that last for the command only need no store.
    result = runWithSettings("0", "set ColorMode 8 GrayMode 1", unwritable);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("GrayMode = 1 (for this command only)"), std::string::npos) << result.out;
    std::filesystem::remove(blocker);

    // A writable store keeps the value, and says nothing more.
    result = run("0", "set Gamma 50");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(run("0", "get Gamma").out, "50\n");
}

TEST_F(OrvixTool, SnapToAFifoFailsAtOnce) {
    const std::string fifo = temporaryPath("orvix-snap-fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const ToolRun result = run("0", "snap --out '" + fifo + "'");
    EXPECT_EQ(result.exitCode, 1) << "124: the tool hung on the FIFO";
    EXPECT_NE(result.err.find("could not write"), std::string::npos) << result.err;
    std::filesystem::remove(fifo);
}

} // namespace
} // namespace orvix::test
