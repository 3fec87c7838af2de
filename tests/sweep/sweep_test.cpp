// Every exported function, as the public header declares it, called with hostile
// arguments in every capture state: one parameter at a time takes each hostile value
// of its kind (extreme and odd integers, null and untouchable pointers, buffers and
// sizes that do not match, records that claim to be small, windows that do not
// exist, paths that cannot be files) while the others keep plausible values. Each
// call must return (a watchdog ends the program when one does not), raise no
// sanitizer report, return 0 or 1 where the function reports success, -1 or 0 for a
// released handle as documented, fill its `ok` with 0 or 1 (and return 0 with a 0),
// and queue only documented error codes. After each state a snapshot on a new
// handle must succeed. A second pass calls every function with unknown handles and
// out-parameters that may not be touched at all.
//
// The dialog functions open modal dialogs when a display is there; they are swept
// by a run of this program without one (ORVIX_SWEEP_EXPORTS=dialogs drops the
// display), where they fail fast. The other run needs an X server.
//
// ORVIX_SWEEP_ONLY=Orvix_SetWaitTime,... limits a run to some exports,
// ORVIX_SWEEP_KNOWN_FAILURES=call makes the calls listed as known failures, and
// ORVIX_SWEEP_VERBOSE=1 prints each call before it is made.

#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "sweep/capture_states.h"
#include "sweep/hostile_values.h"
#include "sweep/known_failures.h"
#include "sweep/sweep_table.h"
#include "support/test_environment.h"

namespace orvix::sweep {
namespace {

using namespace std::chrono_literals;

bool sweepsDialogs() {
    const char* which = std::getenv("ORVIX_SWEEP_EXPORTS");
    return which && std::strcmp(which, "dialogs") == 0;
}

// Before anything else runs: the emulated camera, and no display for the dialogs.
const bool kPrepared = [] {
    test::setEnvironment("ORVIX_K62DT4_EMULATE", kSweepEmulation);
    if (sweepsDialogs()) {
        test::unsetEnvironment("DISPLAY");
        test::unsetEnvironment("WAYLAND_DISPLAY");
    }
    return true;
}();

bool isDialog(const SweepExport& e) {
    for (const SweepParam& p : e.params)
        if (p.kind == SweepParam::Window && std::strcmp(p.name, "owner") == 0) return true;
    return false;
}

bool takesHandle(const SweepExport& e) { return !e.params.empty() && e.params[0].kind == SweepParam::Handle; }

bool hasOk(const SweepExport& e) {
    for (const SweepParam& p : e.params)
        if (p.kind == SweepParam::IntPointer && std::strcmp(p.name, "ok") == 0) return true;
    return false;
}

// Functions that return a value rather than 1 or 0: getters with an `ok`, getters of
// the handle alone, and the few whose result is a count, a version or a handle.
bool returnsValue(const SweepExport& e) {
    if (e.result == SweepResult::Handle || hasOk(e) || !takesHandle(e)) return true;
    const std::string name = e.name;
    if (name == "Orvix_EnumDevice" || name == "Orvix_Width" || name == "Orvix_Height") return true;
    return e.params.size() == 1 && name.rfind("Orvix_Get", 0) == 0;
}

// Functions that read or store a value and leave capture as it is: after them the
// next call needs no fresh start of its state. Everything else (starting and
// stopping capture, frames, files, the handle, the capture window and the device)
// is followed by one.
bool keepsCaptureState(const SweepExport& e) {
    const std::string name = e.name;
    for (const char* changes : {"Orvix_SetCaptureWindow", "Orvix_SetDeviceNumber"})
        if (name.rfind(changes, 0) == 0) return false;
    if (isDialog(e)) return false;
    for (const char* keeps : {"Orvix_Get", "Orvix_Set", "Orvix_Read", "Orvix_Write", "Orvix_Fpga_", "Orvix_Monitor_",
                              "Orvix_Width", "Orvix_Height", "Orvix_EnumDevice"})
        if (name.rfind(keeps, 0) == 0) return true;
    return false;
}

bool isDocumentedError(int code) {
    static const std::set<int> kCodes = {ERR_NOT_INITIALIZED, ERR_NO_CAMERA,       ERR_THREAD,      ERR_WINDOW,
                                         ERR_MEMORY,          ERR_DEVICE_IO,       ERR_GEOMETRY,    ERR_FRAME_TRANSFER,
                                         ERR_PARAMETER,       ERR_UNSUPPORTED,     ERR_TRANSFER_STOPPED,
                                         ERR_MONITOR_REQUEST};
    return kCodes.count(code) != 0;
}

// Ends the program when a call does not return in time: a hang is a finding, and
// the test run must not wait for it forever.
class Watchdog {
public:
    explicit Watchdog(std::chrono::seconds limit) : limit_(limit), thread_([this] { watch(); }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    void arm(const std::string& what) {
        std::lock_guard<std::mutex> lock(mutex_);
        what_ = what;
        since_ = std::chrono::steady_clock::now();
        armed_ = true;
    }
    void disarm() {
        std::lock_guard<std::mutex> lock(mutex_);
        armed_ = false;
    }

private:
    void watch() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stop_) {
            wake_.wait_for(lock, 200ms);
            if (armed_ && std::chrono::steady_clock::now() - since_ > limit_) {
                std::fprintf(stderr, "\nsweep: %s did not return within %lld s\n", what_.c_str(),
                             static_cast<long long>(limit_.count()));
                std::fflush(stderr);
                _exit(98);
            }
        }
    }

    const std::chrono::seconds limit_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    bool armed_ = false;
    std::string what_;
    std::chrono::steady_clock::time_point since_;
    std::thread thread_;
};

// The application's windows.
class Application {
public:
    Application() : display_(sweepsDialogs() ? nullptr : XOpenDisplay(nullptr)) {
        if (!display_) {
            // Without a display the window values are only numbers.
            world.liveWindow = static_cast<ORVIX_WINDOW>(0x00400001u);
            world.destroyedWindow = static_cast<ORVIX_WINDOW>(0x00400002u);
            world.rootWindow = static_cast<ORVIX_WINDOW>(0x00400003u);
        } else {
            world.rootWindow = DefaultRootWindow(display_);
            world.liveWindow = createWindow();
            world.destroyedWindow = createWindow();
            XDestroyWindow(display_, static_cast<Window>(world.destroyedWindow));
            XSync(display_, False);
        }
        world.folder = test::temporaryPath("sweep");
        std::string command = "mkdir -p '" + world.folder + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }
    ~Application() {
        std::string command = "rm -rf '" + world.folder + "'";
        (void)std::system(command.c_str());
        if (display_) XCloseDisplay(display_);
    }
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    bool hasDisplay() const { return display_ != nullptr; }

    // Library messages that reached the live window since the last call.
    int messagesReceived() {
        if (!display_) return 0;
        const Atom atom = XInternAtom(display_, "ORVIX_WINDOW_MESSAGE", False);
        XSync(display_, False);
        int count = 0;
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            if (event.type == ClientMessage && event.xclient.message_type == atom) ++count;
        }
        return count;
    }

    SweepWorld world;

private:
    ORVIX_WINDOW createWindow() {
        const Window w = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 160, 120, 0, 0, 0);
        XMapWindow(display_, w);
        XSync(display_, False);
        return w;
    }

    Display* display_;
};

Application& application() {
    static Application app;
    return app;
}

Watchdog& watchdog() {
    static Watchdog dog(90s);
    return dog;
}

// ORVIX_SWEEP_ONLY=<name>[,<name>...] sweeps only those exports (to look into one).
bool chosen(const SweepExport& e) {
    const char* only = std::getenv("ORVIX_SWEEP_ONLY");
    if (!only || !*only) return true;
    const std::string list = std::string(",") + only + ",";
    return list.find(std::string(",") + e.name + ",") != std::string::npos;
}

bool inThisRun(const SweepExport& e) { return sweepsDialogs() == isDialog(e) && chosen(e); }

// ORVIX_SWEEP_VERBOSE=1 prints every call before it is made.
bool verbose() {
    static const bool on = std::getenv("ORVIX_SWEEP_VERBOSE") != nullptr;
    return on;
}

// One call of the sweep.
struct Call {
    const SweepExport* e;
    const Variant* variant; // null: all arguments plausible
    std::size_t index = 0;

    std::string describe(CaptureState state) const {
        std::string text = std::string(e->name) + " in state " + nameOf(state);
        if (variant) text += " with " + variant->description;
        return text;
    }
};

class Findings {
public:
    void add(const std::string& finding) {
        if (findings_.size() < kShown) ADD_FAILURE() << finding;
        findings_.push_back(finding);
    }
    ~Findings() {
        if (findings_.size() > kShown)
            ADD_FAILURE() << findings_.size() - kShown << " further findings not shown";
    }

private:
    static constexpr std::size_t kShown = 40;
    std::vector<std::string> findings_;
};

// Judges one call's result and what it queued.
void judge(const Call& call, CaptureState state, const SweepArgs& args, std::int64_t result,
           const std::vector<int>& queued, Findings& findings) {
    const SweepExport& e = *call.e;
    const std::string what = call.describe(state);
    if (state == CaptureState::Released && takesHandle(e)) {
        const std::int64_t unknown = returnsMinusOneForUnknownHandle(e.name) ? -1 : 0;
        if (result != unknown)
            findings.add(what + ": returned " + std::to_string(result) + " for a released handle, not " +
                         std::to_string(unknown));
        return;
    }
    if (!returnsValue(e) && result != 0 && result != 1)
        findings.add(what + ": returned " + std::to_string(result) + ", neither 1 nor 0");
    if (std::strcmp(e.name, "Orvix_GetDllVersion") == 0 && result != ORVIX_DLL_VERSION)
        findings.add(what + ": returned " + std::to_string(result));
    if (std::strcmp(e.name, "Orvix_GetLastError") == 0 && result != 0 && !isDocumentedError(static_cast<int>(result)))
        findings.add(what + ": returned the undocumented error code " + std::to_string(result));
    for (std::size_t i = 0; i < e.params.size(); ++i) {
        if (e.params[i].kind != SweepParam::IntPointer || std::strcmp(e.params[i].name, "ok") != 0) continue;
        const int* ok = args.intPointer(i);
        if (!ok || state == CaptureState::Released) continue;
        if (*ok != 0 && *ok != 1)
            findings.add(what + ": *ok = " + std::to_string(*ok) + " after the call, neither 1 nor 0");
        else if (*ok == 0 && result != 0)
            findings.add(what + ": *ok = 0 but the result is " + std::to_string(result));
    }
    for (int code : queued)
        if (!isDocumentedError(code)) findings.add(what + ": queued the undocumented error code " + std::to_string(code));
}

std::vector<Call> callsOf(const SweepExport& e, const std::vector<std::vector<Variant>>& variants) {
    std::vector<Call> calls{{&e, nullptr, 0}};
    for (std::size_t i = 0; i < variants.size(); ++i)
        for (const Variant& v : variants[i]) calls.push_back({&e, &v, i});
    return calls;
}

class ExportSweep : public ::testing::TestWithParam<CaptureState> {
protected:
    void SetUp() override {
        (void)kPrepared;
        if (needsDisplay(GetParam()) && !application().hasDisplay())
            GTEST_SKIP() << "the " << nameOf(GetParam()) << " state needs a display";
        if (!sweepsDialogs() && !application().hasDisplay()) GTEST_SKIP() << "needs an X server (run under xvfb-run)";
    }
};

TEST_P(ExportSweep, HostileArgumentsInTheState) {
    const CaptureState state = GetParam();
    Application& app = application();
    CaptureStates states(app.world);
    ArgumentMemory memory;
    Findings findings;
    int calls = 0, skipped = 0;
    const auto started = std::chrono::steady_clock::now();

    for (const SweepExport& e : sweepExports()) {
        if (!inThisRun(e)) continue;
        std::vector<std::vector<Variant>> variants;
        for (std::size_t i = 0; i < e.params.size(); ++i)
            variants.push_back(hostileVariants(e, i, state == CaptureState::Idle));
        bool stateIntact = false; // each function starts from a fresh start of the state
        for (const Call& call : callsOf(e, variants)) {
            const std::string what = call.describe(state);
            if (const char* reason = knownFailure(e.name, call.variant ? call.variant->value : 0,
                                                  call.variant ? e.params[call.index].name : "", state)) {
                ++skipped;
                std::printf("known failure, not called: %s (%s)\n", what.c_str(), reason);
                continue;
            }
            if (!stateIntact) {
                std::string failure;
                watchdog().arm("entering the state for " + what);
                const bool entered = states.enter(state, failure);
                watchdog().disarm();
                if (!entered) {
                    findings.add("could not enter the state for " + what + ": " + failure);
                    continue;
                }
                // The previous calls' memory goes only now: a capture they started
                // kept its buffer until entering the state stopped it.
                memory.clear();
            }
            stateIntact = keepsCaptureState(e);
            SweepArgs args(e.params.size());
            applyDefaults(e, args, states.handle(), memory, app.world);
            if (call.variant) call.variant->apply(args, call.index, memory, app.world, call.variant->value);

            if (verbose()) std::printf("%s\n", what.c_str()), std::fflush(stdout);
            watchdog().arm(what);
            const std::int64_t result = e.call(args);
            watchdog().disarm();
            ++calls;
            if (std::strcmp(e.name, "Orvix_Release") == 0 && result == 1 && args.handle(0) == states.handle())
                states.forgetHandle();
            if (e.result == SweepResult::Handle && result != 0)
                (void)Orvix_Release(reinterpret_cast<ORVIX_HANDLE>(static_cast<std::uintptr_t>(result)));
            judge(call, state, args, result, states.drainErrors(), findings);
        }
    }

    // The library still works: a snapshot on a new handle.
    watchdog().arm(std::string("the snapshot after the sweep in state ") + nameOf(state));
    states.leave();
    memory.clear();
    test::resetSettings();
    const ORVIX_HANDLE h = Orvix_Initialize(0);
    ASSERT_NE(h, nullptr);
    void* image = memory.imageBuffer();
    EXPECT_EQ(Orvix_SnapShot(h, image, kLargestImageBytes, 1), 1) << "after the sweep in state " << nameOf(state);
    EXPECT_EQ(Orvix_Release(h), 1);
    watchdog().disarm();
    (void)app.messagesReceived(); // frames of this state's previews

    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("state %s: %d hostile calls in %.1f s, %d known failures not called\n", nameOf(state), calls,
                seconds, skipped);
}

INSTANTIATE_TEST_SUITE_P(CaptureStates, ExportSweep,
                         ::testing::Values(CaptureState::Idle, CaptureState::Preview, CaptureState::CallbackPreview,
                                           CaptureState::WindowlessPreview, CaptureState::Trigger,
                                           CaptureState::Capture, CaptureState::Unplugged, CaptureState::Released),
                         [](const ::testing::TestParamInfo<CaptureState>& info) {
                             std::string name = nameOf(info.param);
                             for (char& c : name)
                                 if (c == ' ' || c == '-') c = '_';
                             return name;
                         });

// Unknown handles (none ever given out, and one already released) with every
// pointer argument untouchable: nothing may be read or written through them, the
// result is the unknown-handle value, and no message goes out.
TEST(ExportSweepUnknownHandles, ReturnTheirValueTouchNothingAndPostNothing) {
    (void)kPrepared;
    Application& app = application();
    if (!sweepsDialogs() && !app.hasDisplay()) GTEST_SKIP() << "needs an X server (run under xvfb-run)";
    ArgumentMemory memory;
    Findings findings;
    const ORVIX_HANDLE released = Orvix_Initialize(app.world.liveWindow);
    ASSERT_NE(released, nullptr);
    ASSERT_EQ(Orvix_Release(released), 1);
    (void)app.messagesReceived();

    const ORVIX_HANDLE unknown[] = {nullptr, reinterpret_cast<ORVIX_HANDLE>(std::uintptr_t{1}),
                                    reinterpret_cast<ORVIX_HANDLE>(std::uintptr_t{0xDEADBEEF}),
                                    reinterpret_cast<ORVIX_HANDLE>(std::uintptr_t{0xFFFFFFFF}), released};
    int calls = 0;
    for (const SweepExport& e : sweepExports()) {
        if (!inThisRun(e) || !takesHandle(e)) continue;
        for (const ORVIX_HANDLE handle : unknown) {
            SweepArgs args(e.params.size());
            applyDefaults(e, args, handle, memory, app.world);
            applyUnknownHandle(e, args, handle, memory);
            const std::string what = std::string(e.name) + " with the unknown handle " +
                                     std::to_string(reinterpret_cast<std::uintptr_t>(handle));
            watchdog().arm(what);
            const std::int64_t result = e.call(args);
            watchdog().disarm();
            ++calls;
            const std::int64_t expected = returnsMinusOneForUnknownHandle(e.name) ? -1 : 0;
            if (result != expected)
                findings.add(what + ": returned " + std::to_string(result) + ", not " + std::to_string(expected));
            memory.clear();
        }
    }
    EXPECT_EQ(app.messagesReceived(), 0) << "a call with an unknown handle posted a message";
    std::printf("%d calls with unknown handles\n", calls);
}

} // namespace
} // namespace orvix::sweep
