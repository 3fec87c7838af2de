// orvix: command-line front end of the K62DT4 camera SDK, written against the public
// C interface only.

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "OrvixSdk_K62DT4.h"
#include "numbers.h"
#include "snap.h"
#include "stream.h"
#ifndef _WIN32
#include "usb_report.h"
#endif

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr int kSlotCount = 8;
constexpr int kNameCount = 10;
constexpr int kNameSize = 256;

void printUsage(std::FILE* out) {
    std::fputs("usage: orvix <command> [arguments]\n"
               "\n"
               "commands:\n"
               "  list                      the cameras found, with their slots\n"
               "  info                      camera limits, capture format and stream settings\n"
               "  get NAME                  print one setting\n"
               "  set NAME VALUE [NAME VALUE]...\n"
               "                            change settings, in order; filter values, gains\n"
               "                            and auto iris are saved when orvix ends, capture\n"
               "                            settings last only for this command\n"
               "  names                     the settings get and set know, with their ranges\n"
               "  stream [--frames N] [--seconds S]\n"
               "                            live frames (5 s by default): in a window of its\n"
               "                            own when a display is present, else polled with\n"
               "                            GetImage; prints frames received, frame rate and\n"
               "                            frames lost to errors\n"
               "  snap [--color BITS] [--format bmp|raw|jpeg|jpeg70|jpeg20|png|tiff] [--out FILE]\n"
               "       [NAME VALUE]...      one frame saved to a file (default orvix-snap.bmp),\n"
               "                            after the settings given (as for set)\n"
               "  dialog camera|image|analog\n"
               "                            opens a settings dialog, then prints the settings\n"
#ifndef _WIN32
               "  usb-rule VID:PID[,VID:PID]...\n"
               "                            print a udev rule giving the logged-in user access\n"
               "                            to USB cameras with these ids\n"
#endif
               "  version                   print the library version\n"
               "  help                      show this text\n"
               "\n"
#ifndef _WIN32
               "USB cameras are found by their vendor and product ids (lsusb shows them):\n"
               "set ORVIX_K62DT4_USB=VID:PID, e.g. ORVIX_K62DT4_USB=4f56:6b62.\n"
#endif
               "Without a camera attached, the library can emulate one: set\n"
               "ORVIX_K62DT4_EMULATE to the slots to emulate, e.g. ORVIX_K62DT4_EMULATE=0.\n",
               out);
}

void printNoCameraHint() {
    std::fputs("orvix: no camera found.\n"
#ifndef _WIN32
               "A USB camera is found by its vendor and product ids: set ORVIX_K62DT4_USB to\n"
               "the ids lsusb shows for it, for example:  ORVIX_K62DT4_USB=4f56:6b62 orvix list\n"
#endif
               "To use the emulated camera, set ORVIX_K62DT4_EMULATE to the slots to emulate,\n"
               "for example:  ORVIX_K62DT4_EMULATE=0 orvix list\n"
               "(several cameras: ORVIX_K62DT4_EMULATE=0,3; see the README, \"Emulated camera\").\n",
               stderr);
}

const char* errorName(int code) {
    switch (code) {
    case ERR_NOT_INITIALIZED: return "not initialized, or the camera did not answer";
    case ERR_NO_CAMERA: return "no camera in the selected slot";
    case ERR_THREAD: return "capture thread could not be started";
    case ERR_WINDOW: return "preview window could not be created";
    case ERR_MEMORY: return "out of memory or buffer too small";
    case ERR_DEVICE_IO: return "device request failed";
    case ERR_GEOMETRY: return "capture window outside the sensor";
    case ERR_FRAME_TRANSFER: return "frame transfer failed";
    case ERR_PARAMETER: return "parameter out of range";
    case ERR_UNSUPPORTED: return "not supported by this camera";
    case ERR_TRANSFER_STOPPED: return "continuous transfer stopped";
    case ERR_MONITOR_REQUEST: return "monitor request failed";
    default: return "unknown error";
    }
}

// Empties the camera's error queue of answers that were expected.
void discardQueuedErrors(ORVIX_HANDLE camera) {
    while (Orvix_GetLastError(camera) != 0) {
    }
}

// Reports the newest queued error of a failed call.
void reportFailure(ORVIX_HANDLE camera, const char* what) {
    const int code = Orvix_GetLastError(camera);
    if (code != 0) {
        std::fprintf(stderr, "orvix: %s failed (error %d: %s)\n", what, code, errorName(code));
    } else {
        std::fprintf(stderr, "orvix: %s was refused\n", what);
    }
}

// ---- the camera handle ------------------------------------------------------------

class Session {
public:
    Session() : handle_(Orvix_Initialize(0)) {}
    ~Session() {
        if (handle_) Orvix_Release(handle_);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    ORVIX_HANDLE handle() const { return handle_; }
    bool started() const { return handle_ != nullptr; }

private:
    ORVIX_HANDLE handle_;
};

struct FoundCamera {
    std::string name; // as Orvix_EnumDevice numbers it
    int slot = -1;
};

std::vector<FoundCamera> findCameras(ORVIX_HANDLE camera) {
    std::vector<char> names(kNameCount * kNameSize, '\0');
    const int count = Orvix_EnumDevice(camera, names.data());
    std::vector<FoundCamera> found;
    char slotName[kNameSize];
    // The n-th name belongs to the n-th occupied slot.
    for (int slot = 0; slot < kSlotCount && static_cast<int>(found.size()) < count; ++slot) {
        if (!Orvix_GetDeviceName(camera, slot, slotName, sizeof slotName)) continue;
        found.push_back({&names[found.size() * kNameSize], slot});
    }
    discardQueuedErrors(camera); // each empty slot answered "no camera"
    return found;
}

// ---- the settings get and set know ----------------------------------------------------

using IntGetter = int (*)(ORVIX_HANDLE, int* ok);
using IntSetter = int (*)(ORVIX_HANDLE, int value);

struct IntSetting {
    const char* name;
    long min;
    long max;
    IntGetter get;
    IntSetter set;
    bool saved;            // kept after orvix ends
    const char* rangeText; // when the range is not a plain min..max
    bool readBack = true;  // the getter reports what the setter stored
};

#define ORVIX_PROPERTY(Name, lo, hi)                                                   \
    IntSetting {                                                                       \
        #Name, lo, hi, [](ORVIX_HANDLE h, int* ok) { return Orvix_Get##Name(h, ok); }, \
            [](ORVIX_HANDLE h, int v) { return Orvix_Set##Name(h, v); }, true, nullptr \
    }

const IntSetting kIntSettings[] = {
    ORVIX_PROPERTY(Brightness, -255, 255),
    ORVIX_PROPERTY(Contrast, -127, 127),
    ORVIX_PROPERTY(Hue, -360, 360),
    ORVIX_PROPERTY(Saturation, -255, 255),
    ORVIX_PROPERTY(Sharpness, 0, 30),
    {"BayerGainRGB", INT_MIN, INT_MAX, [](ORVIX_HANDLE h, int* ok) { return Orvix_GetBayerGainRGB(h, ok); },
     [](ORVIX_HANDLE h, int v) { return Orvix_SetBayerGainRGB(h, v); }, true, "0x00BBGGRR (each byte 0..255)"},
    ORVIX_PROPERTY(BayerGainRed, 0, 400),
    ORVIX_PROPERTY(BayerGainGreen, 0, 400),
    ORVIX_PROPERTY(BayerGainBlue, 0, 400),
    // The library keeps neither the automatic white balance nor the gray mode.
    {"BayerGainAuto", INT_MIN, INT_MAX, [](ORVIX_HANDLE h, int* ok) { return Orvix_GetBayerGainAuto(h, ok); },
     [](ORVIX_HANDLE h, int v) { return Orvix_SetBayerGainAuto(h, v); }, false, "0 (off) or 1 (on)"},
    ORVIX_PROPERTY(Gamma, 0, 200),
    ORVIX_PROPERTY(BayerMode, 0, 3),
    ORVIX_PROPERTY(GlobalGain, 0, 63),
    ORVIX_PROPERTY(ColorGainRed, 0, 63),
    ORVIX_PROPERTY(ColorGainGreen1, 0, 63),
    ORVIX_PROPERTY(ColorGainGreen2, 0, 63),
    ORVIX_PROPERTY(ColorGainBlue, 0, 63),
    ORVIX_PROPERTY(ExposureTime, 0, 16383),
    {"GrayMode", 0, 2, [](ORVIX_HANDLE h, int* ok) { return Orvix_GetGrayMode(h, ok); },
     [](ORVIX_HANDLE h, int v) { return Orvix_SetGrayMode(h, v); }, false, nullptr},
    ORVIX_PROPERTY(GrayGainR, 0, 255),
    ORVIX_PROPERTY(GrayGainG1, 0, 255),
    ORVIX_PROPERTY(GrayGainG2, 0, 255),
    ORVIX_PROPERTY(GrayGainB, 0, 255),
    ORVIX_PROPERTY(GrayOffsetR, -255, 255),
    ORVIX_PROPERTY(GrayOffsetG1, -255, 255),
    ORVIX_PROPERTY(GrayOffsetG2, -255, 255),
    ORVIX_PROPERTY(GrayOffsetB, -255, 255),
    {"ColorMode", 8, 64, [](ORVIX_HANDLE h, int*) { return Orvix_GetColorMode(h); },
     [](ORVIX_HANDLE h, int v) { return Orvix_SetColorMode(h, v); }, false, "8, 16, 24, 32, 48 or 64 bits"},
    {"SubSample", 0, 2, [](ORVIX_HANDLE h, int*) { return Orvix_GetSubSample(h); },
     [](ORVIX_HANDLE h, int v) { return Orvix_SetSubSample(h, v); }, false, "0 (1/1), 1 (1/2) or 2 (1/4)"},
    {"WaitTime", 0, INT_MAX, [](ORVIX_HANDLE h, int*) { return Orvix_GetWaitTime(h); },
     [](ORVIX_HANDLE h, int v) { return Orvix_SetWaitTime(h, v); }, false, "0 or more milliseconds"},
    // The getter reports the camera's clock, which follows the request at capture start.
    {"HalfClock", 0, 1, [](ORVIX_HANDLE h, int* ok) { return Orvix_GetHalfClock(h, ok); },
     [](ORVIX_HANDLE h, int v) { return Orvix_SetHalfClock(h, v); }, false, nullptr, false},
    {"AutoIris", 0, 2, [](ORVIX_HANDLE h, int* ok) { return Orvix_GetAutoIris(h, ok); },
     [](ORVIX_HANDLE h, int v) { return Orvix_SetAutoIris(h, v); }, true, "0 (off), 1 (exposure) or 2 (gain)"},
};

#undef ORVIX_PROPERTY

constexpr char kWindowSetting[] = "CaptureWindow";

std::string rangeOf(const IntSetting& setting) {
    if (setting.rangeText) return setting.rangeText;
    if (setting.max == INT_MAX) return std::to_string(setting.min) + " or more";
    return std::to_string(setting.min) + ".." + std::to_string(setting.max);
}

bool sameName(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        const char ca = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a - 'A' + 'a') : *a;
        const char cb = (*b >= 'A' && *b <= 'Z') ? static_cast<char>(*b - 'A' + 'a') : *b;
        if (ca != cb) return false;
    }
    return *a == *b;
}

const IntSetting* findIntSetting(const char* name) {
    for (const IntSetting& setting : kIntSettings)
        if (sameName(setting.name, name)) return &setting;
    return nullptr;
}

bool acceptsValue(const IntSetting& setting, long long value) {
    if (value < setting.min || value > setting.max) return false;
    if (std::strcmp(setting.name, "ColorMode") == 0) {
        return value == 8 || value == 16 || value == 24 || value == 32 || value == 48 || value == 64;
    }
    return true;
}

void printUnknownName(const char* name) {
    std::fprintf(stderr, "orvix: unknown setting '%s'; 'orvix names' lists the known ones\n", name);
}

// ---- the capture window, written WIDTHxHEIGHT[+X+Y] --------------------------------

struct WindowText {
    int width = 0;
    int height = 0;
    int x = 0;
    int y = 0;
    bool placed = false; // +X+Y given
};

constexpr int kSensorWidth = 1360;
constexpr int kSensorHeight = 1024;

// Takes the decimal digits at `text` (at least one) as a number in [min, max]; an
// explanation of what is wrong goes to `error`.
bool takeWindowNumber(const char*& text, const char* name, int min, int max, int& value, std::string& error) {
    const char* start = text;
    long long number = 0;
    bool tooLarge = false;
    while (*text >= '0' && *text <= '9') {
        number = number * 10 + (*text - '0');
        if (number > max) tooLarge = true, number = max; // no overflow on long digit runs
        ++text;
    }
    if (text == start) {
        error = std::string(name) + " is missing";
        return false;
    }
    if (tooLarge || number < min) {
        error = std::string(name) + " must be between " + std::to_string(min) + " and " + std::to_string(max) + ", not " +
                std::string(start, static_cast<std::size_t>(text - start));
        return false;
    }
    value = static_cast<int>(number);
    return true;
}

bool parseWindow(const char* text, WindowText& window, std::string& error) {
    if (!takeWindowNumber(text, "WIDTH", 1, kSensorWidth, window.width, error)) return false;
    if (*text++ != 'x') return error = "WIDTH and HEIGHT are separated by 'x'", false;
    if (!takeWindowNumber(text, "HEIGHT", 1, kSensorHeight, window.height, error)) return false;
    if (*text == '\0') return true;
    if (*text++ != '+' || !takeWindowNumber(text, "X", 0, kSensorWidth - 1, window.x, error)) {
        if (error.empty()) error = "the place is written +X+Y";
        return false;
    }
    if (*text++ != '+' || !takeWindowNumber(text, "Y", 0, kSensorHeight - 1, window.y, error)) {
        if (error.empty()) error = "the place is written +X+Y";
        return false;
    }
    if (*text != '\0') return error = "unexpected text after +X+Y", false;
    window.placed = true;
    return true;
}

int getWindow(ORVIX_HANDLE camera) {
    int hTotal = 0, hStart = 0, width = 0, vTotal = 0, vStart = 0, height = 0;
    Orvix_GetCaptureWindowEx(camera, &hTotal, &hStart, &width, &vTotal, &vStart, &height);
    std::printf("%dx%d+%d+%d\n", width, height, hStart, vStart);
    return kExitOk;
}

// `value` has been checked by parseWindow.
int setWindow(ORVIX_HANDLE camera, const char* value) {
    WindowText window;
    std::string ignored;
    (void)parseWindow(value, window, ignored);
    if (!window.placed) {
        if (!Orvix_SetCaptureWindow(camera, window.width, window.height)) {
            std::fprintf(stderr, "orvix: no stored capture format is %d x %d\n", window.width, window.height);
            return kExitFailed;
        }
    } else {
        int hTotal = 0, vTotal = 0;
        Orvix_GetCaptureWindowEx(camera, &hTotal, nullptr, nullptr, &vTotal, nullptr, nullptr);
        if (!Orvix_SetCaptureWindowEx(camera, hTotal, window.x, window.width, vTotal, window.y, window.height)) {
            reportFailure(camera, "setting the capture window");
            std::fputs("orvix: X + WIDTH must be at most 1360 and Y + HEIGHT at most 1024, none negative\n", stderr);
            return kExitFailed;
        }
    }
    std::printf("%s = ", kWindowSetting);
    getWindow(camera);
    return kExitOk;
}

// ---- commands ---------------------------------------------------------------------

// Starts the camera and checks that at least one is attached.
bool startWithCamera(Session& session) {
    if (!session.started()) {
        std::fputs("orvix: the library could not start\n", stderr);
        return false;
    }
    if (findCameras(session.handle()).empty()) {
        printNoCameraHint();
        return false;
    }
    return true;
}

int commandVersion() {
    const unsigned version = static_cast<unsigned>(Orvix_GetDllVersion());
    std::printf("OrvixSdk_K62DT4 %u.%u.%u (0x%08X)\n", (version >> 16) & 0xFFFFu, (version >> 8) & 0xFFu,
                version & 0xFFu, version);
    return kExitOk;
}

int commandList() {
    Session session;
    if (!session.started()) return kExitFailed;
    const std::vector<FoundCamera> cameras = findCameras(session.handle());
#ifndef _WIN32
    // What the bus shows, also when no camera could be opened (permissions, endpoints).
    printUsbCameras();
#endif
    if (cameras.empty()) {
        printNoCameraHint();
        return kExitFailed;
    }
    std::printf("%zu camera%s found\n", cameras.size(), cameras.size() == 1 ? "" : "s");
    for (const FoundCamera& camera : cameras) std::printf("  %-16s slot %d\n", camera.name.c_str(), camera.slot);
    return kExitOk;
}

int commandInfo() {
    Session session;
    if (!startWithCamera(session)) return kExitFailed;
    const ORVIX_HANDLE camera = session.handle();

    const std::vector<FoundCamera> cameras = findCameras(camera);
    std::printf("cameras:          ");
    for (std::size_t i = 0; i < cameras.size(); ++i)
        std::printf("%s%s (slot %d)", i ? ", " : "", cameras[i].name.c_str(), cameras[i].slot);
    std::printf("\nselected slot:    0%s\n", cameras.front().slot == 0 ? "" : " (empty)");

    CameraInfo info{};
    info.size = sizeof info;
    if (!Orvix_GetCameraInfo(camera, &info)) {
        reportFailure(camera, "reading the camera information");
        return kExitFailed;
    }
    std::printf("sensor:           %d x %d\n", info.width, info.height);
    std::printf("global gain:      %d..%d\n", info.globalGainLow, info.globalGainHigh);
    std::printf("colour gain:      %d..%d\n", info.colorGainLow, info.colorGainHigh);
    std::printf("exposure:         %d..%d lines\n", info.exposureLow, info.exposureHigh);

    int hTotal = 0, hStart = 0, width = 0, vTotal = 0, vStart = 0, height = 0;
    Orvix_GetCaptureWindowEx(camera, &hTotal, &hStart, &width, &vTotal, &vStart, &height);
    std::printf("capture window:   %dx%d+%d+%d (total %d x %d)\n", width, height, hStart, vStart, hTotal, vTotal);
    std::printf("colour mode:      %d bits\n", Orvix_GetColorMode(camera));
    static const char* const kSubSampleText[] = {"1/1", "1/2", "1/4"};
    const int subSample = Orvix_GetSubSample(camera);
    std::printf("sub-sample:       %d (%s)\n", subSample,
                subSample >= 0 && subSample <= 2 ? kSubSampleText[subSample] : "unknown");
    std::printf("wait time:        %d ms\n", Orvix_GetWaitTime(camera));
    int ok = 0;
    const int halfClock = Orvix_GetHalfClock(camera, &ok);
    std::printf("camera clock:     %s\n", !ok ? "no answer" : halfClock ? "half" : "normal");
    const int gain = Orvix_GetGlobalGain(camera, &ok);
    std::printf("global gain now:  %d\n", gain);
    const int exposure = Orvix_GetExposureTime(camera, &ok);
    std::printf("exposure now:     %d lines\n", exposure);
    discardQueuedErrors(camera); // a clock query without answer is shown above
    return kExitOk;
}

int commandNames() {
    std::printf("%-16s %-34s %s\n", "name", "values", "kept after orvix ends");
    for (const IntSetting& setting : kIntSettings)
        std::printf("%-16s %-34s %s\n", setting.name, rangeOf(setting).c_str(), setting.saved ? "yes" : "no");
    std::printf("%-16s %-34s %s\n", kWindowSetting, "WIDTHxHEIGHT or WIDTHxHEIGHT+X+Y", "no");
    return kExitOk;
}

int commandGet(int argc, char** argv) {
    if (argc != 1) {
        std::fputs("usage: orvix get NAME   ('orvix names' lists the names)\n", stderr);
        return kExitUsage;
    }
    const IntSetting* setting = findIntSetting(argv[0]);
    if (!setting && !sameName(argv[0], kWindowSetting)) {
        printUnknownName(argv[0]);
        return kExitUsage;
    }
    Session session;
    if (!startWithCamera(session)) return kExitFailed;
    if (!setting) return getWindow(session.handle());
    int ok = 1;
    const int value = setting->get(session.handle(), &ok);
    if (!ok) {
        reportFailure(session.handle(), setting->name);
        return kExitFailed;
    }
    std::printf("%d\n", value);
    return kExitOk;
}

// Checks NAME VALUE before the camera starts: a known name and a value in its range.
bool checkSetting(const char* name, const char* text) {
    if (sameName(name, kWindowSetting)) {
        WindowText window;
        std::string error;
        if (parseWindow(text, window, error)) return true;
        std::fprintf(stderr,
                     "orvix: %s takes WIDTHxHEIGHT (a stored format) or WIDTHxHEIGHT+X+Y on the 1360 x 1024 "
                     "sensor, not '%s': %s\n",
                     kWindowSetting, text, error.c_str());
        return false;
    }
    const IntSetting* setting = findIntSetting(name);
    if (!setting) {
        printUnknownName(name);
        return false;
    }
    long long value = 0;
    const NumberResult parsed = parseInteger(text, setting->min, setting->max, value);
    if (parsed == NumberResult::Ok && acceptsValue(*setting, value)) return true;
    if (setting->rangeText) {
        std::fprintf(stderr, "orvix: %s must be %s, not '%s'\n", setting->name, setting->rangeText, text);
    } else {
        const NumberResult reason = parsed == NumberResult::Ok ? NumberResult::OutOfRange : parsed;
        std::fprintf(stderr, "orvix: %s\n", numberError(setting->name, text, setting->min, setting->max, reason).c_str());
    }
    return false;
}

// A setting the library keeps, with the value it took.
struct KeptValue {
    const IntSetting* setting;
    int value;
};

// Applies one checked NAME VALUE and prints the result; a setting that is kept goes
// to `kept` (when given) with the value the camera took.
int setOne(ORVIX_HANDLE camera, const char* name, const char* text, std::vector<KeptValue>* kept = nullptr) {
    if (sameName(name, kWindowSetting)) return setWindow(camera, text);
    const IntSetting* setting = findIntSetting(name);
    long long value = 0;
    (void)parseInteger(text, setting->min, setting->max, value);
    if (!setting->set(camera, static_cast<int>(value))) {
        reportFailure(camera, setting->name);
        return kExitFailed;
    }
    int ok = 1;
    const int now = setting->readBack ? setting->get(camera, &ok) : static_cast<int>(value);
    std::printf("%s = %d%s\n", setting->name, now, setting->saved ? "" : " (for this command only)");
    if (kept && setting->saved && setting->readBack && ok) kept->push_back({setting, now});
    return kExitOk;
}

// The library saves the kept settings when the camera is released, without telling
// whether the settings store took them: a fresh start-up reads them back. True when
// every value came back.
bool settingsReachedTheStore(const std::vector<KeptValue>& kept) {
    if (kept.empty()) return true;
    Session again;
    if (!again.started()) return false;
    bool all = true;
    for (const KeptValue& value : kept) {
        int ok = 1;
        const int stored = value.setting->get(again.handle(), &ok);
        if (!ok || stored != value.value) {
            std::fprintf(stderr, "orvix: %s = %d was not kept (it reads back as %d)\n", value.setting->name,
                         value.value, stored);
            all = false;
        }
    }
    discardQueuedErrors(again.handle());
    return all;
}

int commandSet(int argc, char** argv) {
    if (argc < 2 || argc % 2 != 0) {
        std::fputs("usage: orvix set NAME VALUE [NAME VALUE]...   ('orvix names' lists the names)\n", stderr);
        return kExitUsage;
    }
    for (int i = 0; i < argc; i += 2)
        if (!checkSetting(argv[i], argv[i + 1])) return kExitUsage;
    std::vector<KeptValue> kept;
    {
        Session session;
        if (!startWithCamera(session)) return kExitFailed;
        for (int i = 0; i < argc; i += 2) {
            const int result = setOne(session.handle(), argv[i], argv[i + 1], &kept);
            if (result != kExitOk) return result;
        }
    } // the release saves the kept settings
    if (!settingsReachedTheStore(kept)) {
        std::fputs("orvix: the settings could not be written to the settings store; the values above lasted only "
                   "for this command\n",
                   stderr);
        return kExitFailed;
    }
    return kExitOk;
}

// ---- snap's settings and the dialogs ------------------------------------------------

bool checkSnapSettings(int count, char** pairs) {
    for (int i = 0; i + 1 < count; i += 2)
        if (!checkSetting(pairs[i], pairs[i + 1])) return false;
    return true;
}

bool applySnapSettings(ORVIX_HANDLE camera, int count, char** pairs) {
    for (int i = 0; i + 1 < count; i += 2)
        if (setOne(camera, pairs[i], pairs[i + 1]) != kExitOk) return false;
    return true;
}

// Every setting get knows, one line each, as the camera now holds it.
void printSettings(ORVIX_HANDLE camera) {
    for (const IntSetting& setting : kIntSettings) {
        int ok = 1;
        const int value = setting.get(camera, &ok);
        if (ok) std::printf("%-16s %d\n", setting.name, value);
    }
    std::printf("%-16s ", kWindowSetting);
    getWindow(camera);
    discardQueuedErrors(camera);
}

using DialogExport = int(ORVIX_CALL*)(ORVIX_HANDLE, ORVIX_WINDOW);

int commandDialog(int argc, char** argv) {
    static const struct {
        const char* name;
        DialogExport open;
    } kDialogs[] = {
        {"camera", &Orvix_SetCameraDlg},
        {"image", &Orvix_SetImageDlg},
        {"analog", &Orvix_SetAnalogDlg},
    };
    DialogExport open = nullptr;
    for (const auto& dialog : kDialogs)
        if (argc == 1 && std::strcmp(argv[0], dialog.name) == 0) open = dialog.open;
    if (!open) {
        std::fputs("usage: orvix dialog camera|image|analog\n", stderr);
        return kExitUsage;
    }
    Session session;
    if (!startWithCamera(session)) return kExitFailed;
    if (open(session.handle(), 0) != 1) {
        reportFailure(session.handle(), "opening the dialog");
        return kExitFailed;
    }
    printSettings(session.handle());
    return kExitOk;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        printUsage(stderr);
        return kExitUsage;
    }
    const std::string command = argv[1];
    const bool takesNoArguments = command == "version" || command == "--version" || command == "help" ||
                                  command == "--help" || command == "-h" || command == "list" || command == "info" ||
                                  command == "names";
    if (takesNoArguments && argc > 2) {
        std::fprintf(stderr, "orvix: '%s' takes no arguments, not '%s'\n\n", command.c_str(), argv[2]);
        printUsage(stderr);
        return kExitUsage;
    }
    if (command == "version" || command == "--version") return commandVersion();
    if (command == "help" || command == "--help" || command == "-h") {
        printUsage(stdout);
        return kExitOk;
    }
    if (command == "list") return commandList();
    if (command == "info") return commandInfo();
    if (command == "names") return commandNames();
    if (command == "get") return commandGet(argc - 2, argv + 2);
    if (command == "set") return commandSet(argc - 2, argv + 2);
    if (command == "stream") return commandStream(argc - 2, argv + 2);
    if (command == "snap") return commandSnap(argc - 2, argv + 2, SnapSettings{&checkSnapSettings, &applySnapSettings});
    if (command == "dialog") return commandDialog(argc - 2, argv + 2);
#ifndef _WIN32
    if (command == "usb-rule") return commandUsbRule(argc - 2, argv + 2);
#endif
    std::fprintf(stderr, "orvix: unknown command '%s'\n\n", command.c_str());
    printUsage(stderr);
    return kExitUsage;
}
