// Queued errors reach an application window as posted messages (Windows build).

#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "camera/error_queue.h"
#include "platform/messages.h"

namespace orvix {
namespace {

HWND createMessageWindow() {
    return CreateWindowExA(0, "STATIC", "orvix test", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

std::vector<MSG> drainMessages(HWND window) {
    std::vector<MSG> received;
    MSG msg;
    while (PeekMessageA(&msg, window, 0x8000, 0x8FFF, PM_REMOVE)) received.push_back(msg);
    return received;
}

TEST(ErrorMessagesWin32, EachPushIsPostedOnceWithTheCode) {
    HWND window = createMessageWindow();
    ASSERT_NE(window, nullptr);
    ErrorQueue queue;
    queue.setNotifyWindow(reinterpret_cast<platform::WindowHandle>(window));
    queue.push(9);
    queue.push(7);
    const auto received = drainMessages(window);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].message, 0x8003u);
    EXPECT_EQ(received[0].wParam, 0u);
    EXPECT_EQ(received[0].lParam, 9);
    EXPECT_EQ(received[1].lParam, 7);
    DestroyWindow(window);
}

TEST(ErrorMessagesWin32, NothingIsPostedWithoutAWindow) {
    HWND window = createMessageWindow();
    ErrorQueue queue;
    queue.push(5);
    EXPECT_TRUE(drainMessages(window).empty());
    EXPECT_FALSE(platform::postWindowMessage(0, 0x8003, 0, 1));
    DestroyWindow(window);
}

} // namespace
} // namespace orvix
