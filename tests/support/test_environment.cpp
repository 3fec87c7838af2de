#include "support/test_environment.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "emulator/emulation_config.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace orvix::test {

std::string temporaryPath(const std::string& stem) {
    static std::atomic<unsigned> sequence{0};
    static const unsigned long long processTag =
        std::random_device{}() ^
        static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    const auto dir = std::filesystem::temp_directory_path();
    return (dir / (stem + "-" + std::to_string(processTag) + "-" + std::to_string(sequence++))).string();
}

void setEnvironment(const std::string& name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name.c_str(), value.c_str());
#else
    setenv(name.c_str(), value.c_str(), 1);
#endif
}

void unsetEnvironment(const std::string& name) {
#ifdef _WIN32
    _putenv_s(name.c_str(), "");
#else
    unsetenv(name.c_str());
#endif
}

void isolateSettings() {
#ifndef _WIN32
    const char* chosen = std::getenv("ORVIX_REGISTRY_FILE");
    if (!chosen || !*chosen) setEnvironment("ORVIX_REGISTRY_FILE", temporaryPath("orvix-settings") + ".reg");
#endif
}

std::string settingsFilePath() {
#ifdef _WIN32
    return {};
#else
    const char* path = std::getenv("ORVIX_REGISTRY_FILE");
    return path ? path : "";
#endif
}

namespace {

std::string& rejectionFolder() {
    static std::string folder;
    return folder;
}

} // namespace

void watchEmulatorRejections() {
    std::string& folder = rejectionFolder();
    folder = temporaryPath("orvix-rejections");
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    setEnvironment(emulator::kRejectionReportVariable, folder);
}

std::string unexpectedRejections() {
    const std::string& folder = rejectionFolder();
    if (folder.empty()) return {};
    std::string reports;
    std::error_code error;
    for (const auto& item : std::filesystem::directory_iterator(folder, error)) {
        std::ifstream in(item.path(), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        reports += text.str();
    }
    return reports;
}

bool finishRejectionWatch() {
    const std::string reports = unexpectedRejections();
    if (!reports.empty())
        std::fprintf(stderr, "\nThe emulated driver refused requests that no test expected:\n%s", reports.c_str());
    std::error_code ignored;
    if (!rejectionFolder().empty()) std::filesystem::remove_all(rejectionFolder(), ignored);
    return reports.empty();
}

void resetSettings() {
#ifdef _WIN32
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Quelm\\OrvixK62DT4Sdk");
#else
    const std::string path = settingsFilePath();
    if (!path.empty()) {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
#endif
}

} // namespace orvix::test
