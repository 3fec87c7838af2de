// Queued errors reach an application window as ClientMessages (needs an X server).

#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <chrono>
#include <cstdlib>
#include <vector>

#include "camera/error_queue.h"
#include "platform/messages.h"

namespace orvix {
namespace {

struct ReceivedMessage {
    long message, wParam, lParam;
};

class X11Receiver {
public:
    X11Receiver() {
        display_ = XOpenDisplay(nullptr);
        if (!display_) return;
        window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 10, 10, 0, 0, 0);
        atom_ = XInternAtom(display_, platform::kWindowMessageAtom, False);
        XSync(display_, False);
    }
    ~X11Receiver() {
        if (!display_) return;
        XDestroyWindow(display_, window_);
        XCloseDisplay(display_);
    }
    bool ok() const { return display_ != nullptr; }
    platform::WindowHandle window() const { return window_; }

    // Collects library messages until `count` arrived or a second has passed.
    std::vector<ReceivedMessage> collect(std::size_t count) {
        std::vector<ReceivedMessage> received;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        while (received.size() < count && std::chrono::steady_clock::now() < deadline) {
            while (XPending(display_) > 0) {
                XEvent event;
                XNextEvent(display_, &event);
                if (event.type == ClientMessage && event.xclient.message_type == atom_) {
                    received.push_back({event.xclient.data.l[0], event.xclient.data.l[1], event.xclient.data.l[2]});
                }
            }
            XSync(display_, False);
        }
        return received;
    }

private:
    Display* display_ = nullptr;
    Window window_ = 0;
    Atom atom_ = None;
};

TEST(ErrorMessagesX11, EachPushIsPostedOnceWithTheCode) {
    X11Receiver receiver;
    ASSERT_TRUE(receiver.ok()) << "needs an X server (run under xvfb-run)";
    ErrorQueue queue;
    queue.setNotifyWindow(receiver.window());
    queue.push(9);
    queue.push(7);
    queue.push(13);
    const auto received = receiver.collect(3);
    ASSERT_EQ(received.size(), 3u);
    const long expected[] = {9, 7, 13};
    for (std::size_t i = 0; i < received.size(); ++i) {
        EXPECT_EQ(received[i].message, 0x8003);
        EXPECT_EQ(received[i].wParam, 0);
        EXPECT_EQ(received[i].lParam, expected[i]);
    }
}

TEST(ErrorMessagesX11, NothingIsPostedWithoutAWindow) {
    X11Receiver receiver;
    ASSERT_TRUE(receiver.ok());
    ErrorQueue queue;
    queue.push(5);
    EXPECT_TRUE(receiver.collect(1).empty());
}

TEST(ErrorMessagesX11, AWindowThatNoLongerExistsIsHarmless) {
    X11Receiver receiver;
    ASSERT_TRUE(receiver.ok());
    ErrorQueue queue;
    queue.setNotifyWindow(0x7FFFFFF0u); // no such window: the X error is swallowed
    EXPECT_EQ(queue.push(6), 1);
    EXPECT_EQ(queue.pop(), 6);
    EXPECT_FALSE(platform::postWindowMessage(0, 0x8003, 0, 1));
}

TEST(ErrorMessagesX11, WithoutADisplayPostingIsSkipped) {
    // Only meaningful before the library opened its connection, so the child is a
    // fresh run of this program rather than a fork of it.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            unsetenv("DISPLAY");
            ErrorQueue queue;
            queue.setNotifyWindow(1234);
            std::exit(queue.push(3) == 1 && !platform::postWindowMessage(1234, 0x8003, 0, 3) ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
} // namespace orvix
