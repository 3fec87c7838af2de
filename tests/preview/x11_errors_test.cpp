// The library's X11 requests against application windows that go away, with the
// application's own X error handler installed after the library opened its
// connection: a handler that ends the process on any error, as many toolkits'
// default handlers do. The library's requests (frame and error messages sent to the
// callback and notify windows, the child preview window under a destroyed parent,
// painting into it, taking it down) must fail quietly, while errors of the
// application's own connection still reach whichever handler the application has
// installed. Each case runs in a child process, so the handler that ends the
// process ends only the case.

#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

#include "OrvixSdk_K62DT4.h"
#include "support/test_environment.h"

namespace {

using namespace std::chrono_literals;

const bool kEmulationSet = (orvix::test::setEnvironment("ORVIX_K62DT4_EMULATE", "0;rate=0"), true);

constexpr int kEndedByTheApplicationHandler = 86;
constexpr int kNoDisplayInTheChild = 87;

int endProcessOnAnyError(Display*, XErrorEvent*) { _exit(kEndedByTheApplicationHandler); }

std::atomic<int> firstHandlerErrors{0};
std::atomic<int> secondHandlerErrors{0};
int countInFirst(Display*, XErrorEvent*) { return firstHandlerErrors.fetch_add(1), 0; }
int countInSecond(Display*, XErrorEvent*) { return secondHandlerErrors.fetch_add(1), 0; }

Display* openDisplay() {
    // A busy server may refuse a connection for a moment.
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (Display* d = XOpenDisplay(nullptr)) return d;
        std::this_thread::sleep_for(100ms);
    }
    return nullptr;
}

// The application's side: its own connection and windows. In a child process
// without a connection the case ends at once with kNoDisplayInTheChild.
class Application {
public:
    Application() : display_(openDisplay()) {}
    ~Application() {
        if (display_) XCloseDisplay(display_);
    }
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    Display* display() const { return display_; }

    ORVIX_WINDOW createWindow(int width, int height) {
        if (!display_) std::exit(kNoDisplayInTheChild);
        const Window w = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, static_cast<unsigned>(width),
                                             static_cast<unsigned>(height), 0, 0, 0);
        XMapWindow(display_, w);
        XSync(display_, False);
        return w;
    }
    void destroy(ORVIX_WINDOW window) {
        XDestroyWindow(display_, static_cast<Window>(window));
        XSync(display_, False);
    }
    // Frame messages that reached `window` so far.
    int framesReceived() {
        const Atom atom = XInternAtom(display_, "ORVIX_WINDOW_MESSAGE", False);
        XSync(display_, False);
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            if (event.type == ClientMessage && event.xclient.message_type == atom &&
                event.xclient.data.l[0] == ORVIX_WM_FRAME && event.xclient.data.l[2] == 0)
                ++frames_;
        }
        return frames_;
    }
    // A request of the application's own that fails (BadWindow).
    void failOneRequest() {
        XWindowAttributes attributes;
        XGetWindowAttributes(display_, 0x7FFFFFF0u, &attributes);
    }

private:
    Display* display_;
    int frames_ = 0;
};

bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 30000ms) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

// A 24-bit callback preview whose frames go to `callback`, in a child of `parent`
// (none: a top-level window), running with three frames received; the process ends
// with `failedCode` when it does not start.
ORVIX_HANDLE runningCallbackPreview(Application& app, ORVIX_WINDOW parent, ORVIX_WINDOW callback, int failedCode) {
    const ORVIX_HANDLE h = Orvix_Initialize(0);
    Orvix_SetColorMode(h, 24);
    if (parent) Orvix_SetPreviewWindow(h, parent, 10, 10, 160, 120);
    if (Orvix_CallBackPreview(h, callback, nullptr, 0, 1) != 1 ||
        !waitFor([&] { return app.framesReceived() >= 3; })) {
        Orvix_Release(h);
        std::exit(failedCode);
    }
    return h;
}

class X11ErrorsTest : public ::testing::Test {
protected:
    void SetUp() override {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        Application probe;
        if (!probe.display()) GTEST_SKIP() << "needs an X server (run under xvfb-run)";
    }
};

// The callback window and the notify window go away while frames and errors keep
// being sent to them.
TEST_F(X11ErrorsTest, MessagesToWindowsThatAreGoneDoNotReachTheApplicationHandler) {
    EXPECT_EXIT(
        {
            Application app;
            const ORVIX_WINDOW callback = app.createWindow(32, 32);
            const ORVIX_WINDOW notify = app.createWindow(32, 32);
            const ORVIX_HANDLE h = Orvix_Initialize(notify);
            std::vector<unsigned char> buffer(1360 * 1024);
            Orvix_SetColorMode(h, 8);
            // The preview opens the library's connection; the handler comes after it.
            if (Orvix_CallBackPreview(h, callback, buffer.data(), static_cast<int>(buffer.size()), 1) != 1)
                std::exit(2);
            XSetErrorHandler(&endProcessOnAnyError);
            if (!waitFor([&] { return app.framesReceived() >= 3; })) std::exit(3);

            app.destroy(callback);
            app.destroy(notify);
            std::this_thread::sleep_for(200ms); // frames keep going to the missing window
            Orvix_SetColorMode(h, 7);          // ERR_PARAMETER, posted to the missing window
            if (Orvix_GetLastError(h) != ERR_PARAMETER) std::exit(4);
            if (Orvix_Close(h) != 1 || Orvix_Release(h) != 1) std::exit(5);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

// The parent of the preview window goes away while frames are painted into its
// child, and a later preview names that parent again.
TEST_F(X11ErrorsTest, ADestroyedParentWindowEndsNeitherThePreviewNorTheProcess) {
    EXPECT_EXIT(
        {
            Application app;
            const ORVIX_WINDOW parent = app.createWindow(200, 150);
            const ORVIX_HANDLE h = runningCallbackPreview(app, parent, app.createWindow(16, 16), 2);
            XSetErrorHandler(&endProcessOnAnyError);

            app.destroy(parent); // takes the preview window with it
            const int before = app.framesReceived();
            // Frames still arrive: painting into the lost window fails quietly.
            if (!waitFor([&] { return app.framesReceived() >= before + 5; })) std::exit(4);
            if (Orvix_Close(h) != 1) std::exit(5);

            // A parent that no longer exists: the preview window cannot be made.
            if (Orvix_Preview(h) != 0) std::exit(6);
            if (Orvix_GetLastError(h) != ERR_WINDOW) std::exit(7);
            if (Orvix_Release(h) != 1) std::exit(8);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

// While the library works on its connection from its capture thread, every error of
// the application's connection reaches the handler the application has installed
// at that moment, also right after it replaced one.
TEST_F(X11ErrorsTest, ApplicationErrorsReachTheHandlerTheApplicationInstalledLast) {
    EXPECT_EXIT(
        {
            Application app;
            const ORVIX_WINDOW parent = app.createWindow(200, 150);
            const ORVIX_HANDLE h = runningCallbackPreview(app, parent, parent, 2);

            constexpr int kRounds = 200;
            for (int round = 0; round < kRounds; ++round) {
                XSetErrorHandler(round % 2 == 0 ? &countInFirst : &countInSecond);
                app.failOneRequest();
            }
            const int first = firstHandlerErrors.load();
            const int second = secondHandlerErrors.load();
            if (first != kRounds / 2 || second != kRounds / 2) {
                std::fprintf(stderr, "first handler %d, second %d errors\n", first, second);
                std::exit(4);
            }
            XSetErrorHandler(&endProcessOnAnyError);
            if (Orvix_Release(h) != 1) std::exit(5);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
