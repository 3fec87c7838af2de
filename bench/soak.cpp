// Soak run of the library through its exported functions, as an application uses
// it, with the emulated camera delivering frames as fast as they are asked for:
//
//   soak [--frames N] [--cycles M]      (defaults: 2000 frames, 200 cycles)
//
// 1. N frames of live preview: with a display, a callback preview (a preview
//    window of the library's, every frame copied into a buffer and announced to a
//    window of this program's, which counts the messages); without one, the
//    window-less preview, frames counted as Orvix_GetImage sees them change.
// 2. M cycles of Orvix_Initialize, one Orvix_SnapShot, Orvix_Release.
//
// Before, between and after, it prints the process's resident memory, open file
// descriptors and threads (Linux /proc). Process-wide state the library sets up
// once (its X11 connection, the emulated camera) is in place after the warm-up
// cycle, so "after warm-up" is the figure the others should match.

#include <X11/Xlib.h>

#include <dirent.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "OrvixSdk_K62DT4.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Usage {
    long residentKb = 0;
    long peakKb = 0;
    int descriptors = 0;
    int threads = 0;
};

long statusField(const char* name) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t length = std::strlen(name);
    while (std::getline(status, line))
        if (line.compare(0, length, name) == 0 && line.size() > length && line[length] == ':')
            return std::strtol(line.c_str() + length + 1, nullptr, 10);
    return -1;
}

int openDescriptors() {
    DIR* dir = opendir("/proc/self/fd");
    if (!dir) return -1;
    int count = 0;
    while (const dirent* entry = readdir(dir))
        if (entry->d_name[0] != '.') ++count;
    closedir(dir);
    return count - 1; // not the descriptor of the listing itself
}

Usage usage() {
    Usage u;
    u.residentKb = statusField("VmRSS");
    u.peakKb = statusField("VmHWM");
    u.descriptors = openDescriptors();
    u.threads = static_cast<int>(statusField("Threads"));
    return u;
}

void print(const char* when, const Usage& u) {
    std::printf("%-26s resident %7ld kB (peak %7ld kB)  descriptors %4d  threads %3d\n", when, u.residentKb, u.peakKb,
                u.descriptors, u.threads);
    std::fflush(stdout);
}

bool numberAfter(int& i, int argc, char** argv, long& value) {
    if (i + 1 >= argc) return false;
    char* end = nullptr;
    value = std::strtol(argv[++i], &end, 10);
    return end && *end == '\0' && value >= 0 && value <= 100000000;
}

// A window of this program's that counts the library's frame messages.
class FrameCounter {
public:
    FrameCounter() : display_(XOpenDisplay(nullptr)) {
        if (!display_) return;
        window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 8, 8, 0, 0, 0);
        atom_ = XInternAtom(display_, "ORVIX_WINDOW_MESSAGE", False);
        XSync(display_, False);
    }
    ~FrameCounter() {
        if (!display_) return;
        XDestroyWindow(display_, window_);
        XCloseDisplay(display_);
    }
    FrameCounter(const FrameCounter&) = delete;
    FrameCounter& operator=(const FrameCounter&) = delete;

    bool ok() const { return display_ != nullptr; }
    ORVIX_WINDOW window() const { return window_; }
    // Frames announced so far, and failures reported.
    void collect(long& frames, long& failures) {
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            if (event.type != ClientMessage || event.xclient.message_type != atom_ ||
                event.xclient.data.l[0] != ORVIX_WM_FRAME)
                continue;
            if (event.xclient.data.l[2] == 0)
                ++frames;
            else
                ++failures;
        }
    }

private:
    Display* display_;
    Window window_ = 0;
    Atom atom_ = None;
};

constexpr int kImageBytes = 1360 * 1024 * 8;

// Runs the preview until `frames` frames arrived; false when they stopped coming.
bool previewFrames(long frames, std::vector<unsigned char>& buffer) {
    const ORVIX_HANDLE h = Orvix_Initialize(0);
    if (!h) return false;
    FrameCounter counter;
    long seen = 0, failures = 0;
    auto lastProgress = Clock::now();
    bool ok = true;
    if (counter.ok()) {
        std::printf("preview: callback preview, frames counted from their messages\n");
        ok = Orvix_CallBackPreview(h, counter.window(), buffer.data(), kImageBytes, 1) == 1;
        while (ok && seen < frames) {
            const long before = seen;
            counter.collect(seen, failures);
            if (seen != before) lastProgress = Clock::now();
            ok = Clock::now() - lastProgress < std::chrono::seconds(10);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    } else {
        std::printf("preview: window-less (no display), frames counted as the image changes\n");
        std::vector<unsigned char> previous(kImageBytes, 0);
        ok = Orvix_StartPreview(h) == 1;
        while (ok && seen < frames) {
            if (Orvix_GetImage(h, buffer.data(), kImageBytes, 1) == 1 &&
                std::memcmp(buffer.data(), previous.data(), kImageBytes) != 0) {
                previous.swap(buffer);
                ++seen;
                lastProgress = Clock::now();
            }
            ok = Clock::now() - lastProgress < std::chrono::seconds(10);
        }
    }
    Orvix_StopPreview(h);
    Orvix_Close(h);
    Orvix_Release(h);
    std::printf("preview: %ld frames, %ld failures reported\n", seen, failures);
    return ok;
}

bool openReleaseCycle(std::vector<unsigned char>& buffer) {
    const ORVIX_HANDLE h = Orvix_Initialize(0);
    if (!h) return false;
    const bool snapped = Orvix_SnapShot(h, buffer.data(), kImageBytes, 1) == 1;
    return Orvix_Release(h) == 1 && snapped;
}

} // namespace

int main(int argc, char** argv) {
    long frames = 2000, cycles = 200;
    for (int i = 1; i < argc; ++i) {
        const bool known = (std::strcmp(argv[i], "--frames") == 0 && numberAfter(i, argc, argv, frames)) ||
                           (std::strcmp(argv[i], "--cycles") == 0 && numberAfter(i, argc, argv, cycles));
        if (!known) {
            std::fprintf(stderr, "usage: soak [--frames N] [--cycles M]   (0 to 100000000 each)\n");
            return 2;
        }
    }
    // The emulated camera at full speed, unless the caller chose an emulation.
    setenv("ORVIX_K62DT4_EMULATE", "0;rate=0", 0);
    std::printf("soak: %ld preview frames, %ld open/release cycles, emulation \"%s\"\n", frames, cycles,
                std::getenv("ORVIX_K62DT4_EMULATE"));

    std::vector<unsigned char> buffer(kImageBytes);
    print("at start", usage());
    if (!openReleaseCycle(buffer)) {
        std::fprintf(stderr, "soak: no emulated camera\n");
        return 1;
    }
    const Usage warm = usage();
    print("after warm-up", warm);

    const auto previewStart = Clock::now();
    const bool previewed = previewFrames(frames, buffer);
    const double previewSeconds = std::chrono::duration<double>(Clock::now() - previewStart).count();
    const Usage afterPreview = usage();
    print("after the preview", afterPreview);

    const auto cyclesStart = Clock::now();
    long failedCycles = 0;
    for (long c = 0; c < cycles; ++c)
        if (!openReleaseCycle(buffer)) ++failedCycles;
    const double cycleSeconds = std::chrono::duration<double>(Clock::now() - cyclesStart).count();
    const Usage afterCycles = usage();
    print("after the cycles", afterCycles);

    std::printf("preview %.1f s (%.0f frames/s)%s; cycles %.1f s (%.1f ms each), %ld failed\n", previewSeconds,
                previewSeconds > 0 ? static_cast<double>(frames) / previewSeconds : 0.0,
                previewed ? "" : ", FRAMES STOPPED", cycleSeconds,
                cycles > 0 ? cycleSeconds * 1000.0 / static_cast<double>(cycles) : 0.0, failedCycles);
    std::printf("change from warm-up: resident %+ld kB, descriptors %+d, threads %+d\n",
                afterCycles.residentKb - warm.residentKb, afterCycles.descriptors - warm.descriptors,
                afterCycles.threads - warm.threads);
    return previewed && failedCycles == 0 ? 0 : 1;
}
