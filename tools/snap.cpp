// `orvix snap`: takes one frame in the chosen colour mode and saves it with
// Orvix_SaveImage in the chosen format.

#include "snap.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "OrvixSdk_K62DT4.h"
#include "numbers.h"

namespace {

struct Format {
    const char* name;
    int code;
    const char* extension;
};

constexpr Format kFormats[] = {
    {"bmp", ORVIX_IMAGE_BMP, "bmp"},         {"raw", ORVIX_IMAGE_RAW, "raw"},
    {"jpeg", ORVIX_IMAGE_JPEG100, "jpg"},    {"jpeg70", ORVIX_IMAGE_JPEG70, "jpg"},
    {"jpeg20", ORVIX_IMAGE_JPEG20, "jpg"},   {"png", ORVIX_IMAGE_PNG, "png"},
    {"tiff", ORVIX_IMAGE_TIFF, "tif"},
};

const Format* findFormat(const char* name) {
    for (const Format& format : kFormats)
        if (std::strcmp(format.name, name) == 0) return &format;
    return nullptr;
}

struct SnapOptions {
    int bits = 0; // 0: the stored colour mode
    const Format* format = &kFormats[0];
    std::string out;
};

// Reads the options up to the first argument that does not start with "--"; its
// index goes to `settingsStart` (the NAME VALUE pairs begin there).
bool parseOptions(int argc, char** argv, SnapOptions& options, int& settingsStart) {
    int i = 0;
    for (; i < argc && std::strncmp(argv[i], "--", 2) == 0; i += 2) {
        if (i + 1 >= argc) return false;
        const char* value = argv[i + 1];
        if (std::strcmp(argv[i], "--color") == 0) {
            long long bits = 0;
            if (parseInteger(value, 8, 64, bits) != NumberResult::Ok) return false;
            bool known = false;
            for (int depth : {8, 16, 24, 32, 48, 64}) known = known || bits == depth;
            if (!known) return false;
            options.bits = static_cast<int>(bits);
        } else if (std::strcmp(argv[i], "--format") == 0) {
            options.format = findFormat(value);
            if (!options.format) return false;
        } else if (std::strcmp(argv[i], "--out") == 0) {
            options.out = value;
            if (options.out.empty()) return false;
        } else {
            return false;
        }
    }
    settingsStart = i;
    if ((argc - i) % 2 != 0) return false;
    if (options.out.empty()) options.out = std::string("orvix-snap.") + options.format->extension;
    return true;
}

} // namespace

int commandSnap(int argc, char** argv, const SnapSettings& settings) {
    SnapOptions options;
    int settingsStart = 0;
    if (!parseOptions(argc, argv, options, settingsStart)) {
        std::fputs("usage: orvix snap [--color 8|16|24|32|48|64] [--format bmp|raw|jpeg|jpeg70|jpeg20|png|tiff] "
                   "[--out FILE] [NAME VALUE]...\n",
                   stderr);
        return 2;
    }
    const int settingCount = argc - settingsStart;
    if (!settings.check(settingCount, argv + settingsStart)) return 2;
    const ORVIX_HANDLE camera = Orvix_Initialize(0);
    if (!camera) return 1;
    std::vector<char> names(10 * 256, '\0');
    if (Orvix_EnumDevice(camera, names.data()) <= 0) {
        std::fputs("orvix: no camera found (to emulate one: ORVIX_K62DT4_EMULATE=0 orvix snap)\n", stderr);
        Orvix_Release(camera);
        return 1;
    }
    while (Orvix_GetLastError(camera) != 0) {
    }
    int result = 0;
    if (options.bits != 0 && Orvix_SetColorMode(camera, options.bits) != 1) result = 1;
    if (result == 0 && !settings.apply(camera, settingCount, argv + settingsStart)) result = 1;
    if (result == 0 && Orvix_SnapShot(camera, nullptr, 0, 1) != 1) {
        std::fprintf(stderr, "orvix: no frame arrived (error %d)\n", Orvix_GetLastError(camera));
        result = 1;
    }
    if (result == 0 && Orvix_SaveImage(camera, options.out.c_str(), options.format->code) != 1) {
        std::fprintf(stderr, "orvix: could not write %s\n", options.out.c_str());
        result = 1;
    }
    if (result == 0)
        std::printf("saved a %d-bit frame of %d x %d as %s to %s\n", Orvix_GetColorMode(camera), Orvix_Width(camera),
                    Orvix_Height(camera), options.format->name, options.out.c_str());
    Orvix_Release(camera);
    return result;
}
