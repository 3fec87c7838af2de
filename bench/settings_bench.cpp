// The settings store on a 160 kB settings file (Linux): the library's key with 100
// stored capture formats, gains and filters, beside 150 kB of other keys, strings,
// binary values and comments, as a long-used shared file may hold.
//
//   Query1000               1,000 DWORD queries on one open key (file parsed once,
//                           then only checked for a new version)
//   OpenSubkeyAndQuery/100  the 100 format records opened and read, as the camera
//                           settings dialog loads them
//   SetCaptureWindow        Camera::setCaptureWindow (Orvix_SetCaptureWindow) of the
//                           last stored size: a scan of every record, with an
//                           emulated camera
//
// The file lives in the temporary folder (ORVIX_BENCH_DIR overrides it).

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "camera/camera.h"
#include "platform/registry.h"

namespace {

using orvix::platform::RegistryKey;

constexpr int kRecords = 100;

std::string hexDword(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

// Writes the file and points the store at it (once per process).
const std::string& largeSettingsFile() {
    static const std::string path = [] {
        const char* dir = std::getenv("ORVIX_BENCH_DIR");
        const auto folder = dir ? std::filesystem::path(dir) : std::filesystem::temp_directory_path();
        const std::string file = (folder / "orvix-bench-settings.reg").string();
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out << "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Quelm\\OrvixK62DT4Sdk]\n"
            << "\"Size\"=dword:00000000\n\"Color\"=dword:00000002\n\"SubSample\"=dword:00000000\n"
            << "\"WaitTime\"=dword:0000000a\n\"Clock\"=dword:00000000\n";
        for (int n = 0; n < kRecords; ++n) {
            char name[16];
            std::snprintf(name, sizeof name, "Size_%02d", n);
            const unsigned width = n + 1 == kRecords ? 640 : 1360 - 8 * static_cast<unsigned>(n % 50);
            out << "\n[HKEY_CURRENT_USER\\Software\\Quelm\\OrvixK62DT4Sdk\\" << name << "]\n"
                << "\"TH\"=dword:00000550\n\"TV\"=dword:00000400\n\"EH\"=dword:" << hexDword(width) << "\n"
                << "\"EV\"=dword:" << hexDword(n + 1 == kRecords ? 480 : 1024) << "\n"
                << "\"EHS\"=dword:00000000\n\"EVS\"=dword:00000000\n\"Buf\"=dword:0000000a\n";
        }
        for (int key = 0; out.tellp() < 160 * 1024; ++key) {
            out << "\n; settings of another program, kept as they are\n[HKEY_CURRENT_USER\\Software\\Vendor\\Tool\\Part_"
                << key << "]\n";
            for (int v = 0; v < 8; ++v) {
                out << "\"Path" << v << "\"=\"C:\\\\Program Files\\\\Vendor\\\\Tool\\\\part" << key << "\"\n"
                    << "\"Blob" << v << "\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,\\\n  11,12,13,14\n"
                    << "\"Count" << v << "\"=dword:" << hexDword(static_cast<unsigned>(key * 8 + v)) << "\n";
            }
        }
        out.close();
        setenv("ORVIX_REGISTRY_FILE", file.c_str(), 1);
        return file;
    }();
    return path;
}

void Query1000(benchmark::State& state) {
    largeSettingsFile();
    const RegistryKey root = RegistryKey::openCurrentUser(orvix::platform::kSettingsKeyPath);
    if (!root) return state.SkipWithError("no key");
    for (auto _ : state) {
        std::uint32_t sum = 0;
        for (int i = 0; i < 1000; ++i) {
            std::uint32_t value = 0;
            root.queryDword(i % 2 ? "WaitTime" : "Color", value);
            sum += value;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.counters["file_bytes"] = static_cast<double>(std::filesystem::file_size(largeSettingsFile()));
}

void OpenSubkeyAndQuery(benchmark::State& state) {
    largeSettingsFile();
    for (auto _ : state) {
        const RegistryKey root = RegistryKey::openCurrentUser(orvix::platform::kSettingsKeyPath);
        std::uint32_t sum = 0;
        for (int n = 0; n < state.range(0); ++n) {
            char name[16];
            std::snprintf(name, sizeof name, "Size_%02d", n);
            const RegistryKey record = root.openSubkey(name);
            for (const char* value : {"TH", "TV", "EH", "EV", "EHS", "EVS", "Buf"}) {
                std::uint32_t read = 0;
                record.queryDword(value, read);
                sum += read;
            }
        }
        benchmark::DoNotOptimize(sum);
    }
}

void SetCaptureWindow(benchmark::State& state) {
    largeSettingsFile();
    setenv("ORVIX_K62DT4_EMULATE", "0;rate=0", 1);
    auto camera = std::make_unique<orvix::Camera>();
    camera->initialize(0);
    for (auto _ : state) {
        if (camera->setCaptureWindow(640, 480) != 1) return state.SkipWithError("640 x 480 not found");
    }
}

BENCHMARK(Query1000)->Unit(benchmark::kMillisecond);
BENCHMARK(OpenSubkeyAndQuery)->Arg(kRecords)->Unit(benchmark::kMillisecond);
BENCHMARK(SetCaptureWindow)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
