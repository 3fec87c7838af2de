// `orvix stream`: callback preview in a window of the tool's own, counting the frame
// messages, reading the frame rate from their FrameInfo and counting the frames lost
// to errors. Without a display it runs the window-less preview and polls the newest
// image with Orvix_GetImage, counting the images that changed.

#include "stream.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "OrvixSdk_K62DT4.h"
#include "numbers.h"
#include "stream_window.h"

namespace {

using Clock = std::chrono::steady_clock;

struct StreamOptions {
    long long frames = 0; // stop after this many frames (0: no limit)
    double seconds = 0;   // stop after this long (0: no limit)
};

constexpr long long kMaxFrames = 1000000000;
constexpr double kMaxSeconds = 86400;

// False, after saying what is wrong, for an unknown option, a missing value or one
// out of range.
bool parseOptions(int argc, char** argv, StreamOptions& options) {
    for (int i = 0; i < argc; i += 2) {
        if (std::strcmp(argv[i], "--frames") != 0 && std::strcmp(argv[i], "--seconds") != 0) {
            std::fprintf(stderr, "orvix: stream has no option '%s'\n", argv[i]);
            return false;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "orvix: %s needs a value\n", argv[i]);
            return false;
        }
        const char* value = argv[i + 1];
        if (std::strcmp(argv[i], "--frames") == 0) {
            const NumberResult result = parseInteger(value, 1, kMaxFrames, options.frames);
            if (result != NumberResult::Ok) {
                std::fprintf(stderr, "orvix: %s\n", numberError("--frames", value, 1, kMaxFrames, result).c_str());
                return false;
            }
        } else {
            char* end = nullptr;
            options.seconds = std::strtod(value, &end);
            if (end == value || *end != '\0' || !(options.seconds > 0) || options.seconds > kMaxSeconds) {
                std::fprintf(stderr, "orvix: --seconds must be more than 0 and at most %.0f, not '%s'\n", kMaxSeconds,
                             value);
                return false;
            }
        }
    }
    if (options.frames == 0 && options.seconds == 0) options.seconds = 5;
    return true;
}

struct Tally {
    long long frames = 0;
    long lost = 0;
    int frameRateTenths = 0;
    bool transferStopped = false;
};

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

bool finished(const StreamOptions& options, const Tally& tally, Clock::time_point start) {
    if (tally.transferStopped) return true;
    if (options.frames > 0 && tally.frames >= options.frames) return true;
    return options.seconds > 0 && secondsSince(start) >= options.seconds;
}

int bytesPerFrame(ORVIX_HANDLE camera) {
    static const int kDivisor[] = {1, 2, 4};
    const int sub = Orvix_GetSubSample(camera);
    const int divisor = sub >= 0 && sub <= 2 ? kDivisor[sub] : 1;
    const int width = Orvix_Width(camera) / divisor;
    const int height = Orvix_Height(camera) / divisor;
    const int stride = (width * Orvix_GetColorMode(camera) / 8 + 3) & ~3;
    return stride * height;
}

void streamInWindow(StreamWindow& window, const StreamOptions& options, Tally& tally) {
    const auto start = Clock::now();
    while (!finished(options, tally, start)) {
        window.pump(20, [&](std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
            if (message != ORVIX_WM_FRAME) return;
            if (lParam == 0 && wParam != 0) {
                ++tally.frames;
                tally.frameRateTenths = reinterpret_cast<const FrameInfo*>(wParam)->frameRate;
            } else {
                ++tally.lost;
                if (lParam == ERR_TRANSFER_STOPPED) tally.transferStopped = true;
            }
        });
    }
}

// Without a window: the newest image, polled; a changed image is a new frame.
void streamHeadless(ORVIX_HANDLE camera, const StreamOptions& options, Tally& tally,
                    std::vector<unsigned char>& buffer) {
    std::vector<unsigned char> previous;
    const int size = static_cast<int>(buffer.size());
    const auto start = Clock::now();
    Clock::time_point firstFrame{};
    while (!finished(options, tally, start)) {
        if (Orvix_GetImage(camera, buffer.data(), size, 1) == 1) {
            if (buffer != previous) {
                if (tally.frames++ == 0) firstFrame = Clock::now();
                previous = buffer;
            }
        }
        for (int code = Orvix_GetLastError(camera); code != 0; code = Orvix_GetLastError(camera)) {
            if (code == ERR_FRAME_TRANSFER || code == ERR_TRANSFER_STOPPED) ++tally.lost;
            if (code == ERR_TRANSFER_STOPPED) tally.transferStopped = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const double seconds = tally.frames > 1 ? secondsSince(firstFrame) : 0;
    tally.frameRateTenths = seconds > 0 ? static_cast<int>((tally.frames - 1) * 10.0 / seconds) : 0;
}

} // namespace

int commandStream(int argc, char** argv) {
    StreamOptions options;
    if (!parseOptions(argc, argv, options)) {
        std::fputs("usage: orvix stream [--frames N] [--seconds S]\n", stderr);
        return 2;
    }
    const ORVIX_HANDLE camera = Orvix_Initialize(0);
    if (!camera) return 1;
    std::vector<char> names(10 * 256, '\0');
    if (Orvix_EnumDevice(camera, names.data()) <= 0) {
        std::fputs("orvix: no camera found (to emulate one: ORVIX_K62DT4_EMULATE=0 orvix stream)\n", stderr);
        Orvix_Release(camera);
        return 1;
    }
    while (Orvix_GetLastError(camera) != 0) {
    }

    std::vector<unsigned char> buffer(static_cast<std::size_t>(bytesPerFrame(camera)));
    Tally tally;
    int result = 0;
    const int width = Orvix_Width(camera) / (1 << Orvix_GetSubSample(camera));
    const int height = Orvix_Height(camera) / (1 << Orvix_GetSubSample(camera));
    std::unique_ptr<StreamWindow> window = StreamWindow::open(width, height, "orvix stream");
    const char* mode = window ? "callback preview in a window" : "preview without a window, polling the image";
    std::printf("streaming: %s\n", mode);
    std::fflush(stdout);
    if (window) {
        Orvix_SetPreviewWindow(camera, window->handle(), 0, 0, width, height);
        if (Orvix_CallBackPreview(camera, window->handle(), buffer.data(), static_cast<int>(buffer.size()), 1) == 1)
            streamInWindow(*window, options, tally);
        else
            result = 1;
    } else if (Orvix_StartPreview(camera) == 1) {
        streamHeadless(camera, options, tally, buffer);
    } else {
        result = 1;
    }
    if (result != 0) {
        const int code = Orvix_GetLastError(camera);
        std::fprintf(stderr, "orvix: preview could not start (error %d)\n", code);
    }
    Orvix_Close(camera);
    Orvix_Release(camera);
    if (result == 0) {
        std::printf("frames received: %lld\n", tally.frames);
        std::printf("frame rate: %d.%d frames/s\n", tally.frameRateTenths / 10, tally.frameRateTenths % 10);
        std::printf("frames lost to errors: %ld\n", tally.lost);
        if (tally.transferStopped) std::printf("the transfer stopped with an error\n");
    }
    return result;
}
