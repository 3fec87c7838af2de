// The Win32 dialog host under Wine: the dialog runs modally on the test's thread
// while a driver thread finds its window, reads the controls back, drives them with
// window messages as the user's actions would arrive, and closes it with OK or
// Cancel. With ORVIX_DIALOG_SCREENSHOTS set to a folder, a picture of every dialog
// and page is saved there as a BMP file.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "../camera/stored_settings.h"
#include "camera/camera.h"
#include "camera/camera_dialog.h"
#include "camera/property_ids.h"
#include "device/emulated_cameras.h"
#include "held_trigger.h"
#include "platform/dialog_host.h"

#include <windows.h>

#include <commctrl.h>

namespace orvix::test {
namespace {

using dialogs::DialogKind;
using dialogs::Language;

std::string utf8(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), size, nullptr, nullptr);
    return out;
}

struct Search {
    int id;
    HWND found;
};

BOOL CALLBACK matchVisible(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<Search*>(data);
    if (GetDlgCtrlID(window) == search->id && IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// The dialog as the driver thread sees it.
class Shown {
public:
    explicit Shown(HWND dialog) : dialog_(dialog) {}
    HWND operator()(int id) const {
        Search search{id, nullptr};
        EnumChildWindows(dialog_, matchVisible, reinterpret_cast<LPARAM>(&search));
        EXPECT_NE(search.found, nullptr) << "no visible control " << id;
        return search.found;
    }
    std::string text(int id) const {
        wchar_t buffer[256] = {};
        const int length = GetWindowTextW((*this)(id), buffer, 256);
        return utf8(std::wstring(buffer, static_cast<std::size_t>(length)));
    }
    std::string chosen(int id) const {
        HWND combo = (*this)(id);
        const LRESULT index = SendMessageW(combo, CB_GETCURSEL, 0, 0);
        if (index < 0) return std::string();
        wchar_t buffer[256] = {};
        SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer));
        return utf8(buffer);
    }
    bool enabled(int id) const { return IsWindowEnabled((*this)(id)) != FALSE; }
    bool checked(int id) const { return SendMessageW((*this)(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    int position(int id) const { return static_cast<int>(SendMessageW((*this)(id), TBM_GETPOS, 0, 0)); }
    // Typing: the edit box's text changes and it notifies its dialog.
    void type(int id, const wchar_t* text) const { SendMessageW((*this)(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)); }
    void choose(int id, int index) const {
        HWND combo = (*this)(id);
        SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        SendMessageW(GetParent(combo), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
    }
    void click(int id) const { SendMessageW((*this)(id), BM_CLICK, 0, 0); }
    void drag(int id, int position) const {
        HWND track = (*this)(id);
        SendMessageW(track, TBM_SETPOS, TRUE, position);
        SendMessageW(GetParent(track), WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, position), reinterpret_cast<LPARAM>(track));
    }
    void tab(int index) const {
        HWND tabs = (*this)(1001);
        SendMessageW(tabs, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
        NMHDR header{tabs, 1001, static_cast<UINT>(TCN_SELCHANGE)};
        SendMessageW(dialog_, WM_NOTIFY, 1001, reinterpret_cast<LPARAM>(&header));
    }
    void close(int result) const { PostMessageW(dialog_, WM_COMMAND, static_cast<WPARAM>(result), 0); }
    HWND window() const { return dialog_; }

    // A BMP picture of the window from the screen.
    void picture(const std::string& name) const {
        const char* folder = std::getenv("ORVIX_DIALOG_SCREENSHOTS");
        if (!folder || !*folder) return;
        Sleep(300);
        RECT box;
        GetWindowRect(dialog_, &box);
        const int width = box.right - box.left, height = box.bottom - box.top;
        HDC screen = GetDC(nullptr);
        HDC memory = CreateCompatibleDC(screen);
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, screen, box.left, box.top, SRCCOPY);
        GdiFlush();
        const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
        const DWORD imageSize = stride * static_cast<DWORD>(height);
        BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) + imageSize),
                              0, 0, sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)};
        std::ofstream out(std::string(folder) + "/" + name + ".bmp", std::ios::binary);
        out.write(reinterpret_cast<const char*>(&file), sizeof file);
        out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
        out.write(static_cast<const char*>(bits), imageSize);
        SelectObject(memory, old);
        DeleteObject(bitmap);
        DeleteDC(memory);
        ReleaseDC(nullptr, screen);
    }

private:
    HWND dialog_;
};

BOOL CALLBACK matchDialog(HWND window, LPARAM data) {
    char name[16] = {};
    GetClassNameA(window, name, sizeof name);
    if (std::string(name) != "#32770" || !IsWindowVisible(window) || (GetWindowLongW(window, GWL_STYLE) & WS_CHILD)) return TRUE;
    *reinterpret_cast<HWND*>(data) = window;
    return FALSE;
}

// Drives the first top-level dialog that the test's thread shows, from a thread of
// its own. The title is checked after it was found: under a code page without the
// Japanese characters the ANSI title cannot be searched for.
class Driver {
public:
    Driver(const wchar_t* title, std::function<void(const Shown&)> drive)
        : thread_([this, dialogThread = GetCurrentThreadId(), title = std::wstring(title), drive = std::move(drive)] {
              HWND dialog = nullptr;
              for (int tries = 0; tries < 200 && !dialog; ++tries) {
                  EnumThreadWindows(dialogThread, matchDialog, reinterpret_cast<LPARAM>(&dialog));
                  if (!dialog) Sleep(50);
              }
              found_ = dialog != nullptr;
              if (!dialog) return;
              Sleep(100);
              wchar_t shownTitle[64] = {};
              GetWindowTextW(dialog, shownTitle, 64);
              if (title == L"Property" || GetACP() == 932) {
                  EXPECT_EQ(utf8(shownTitle), utf8(title));
              }
              drive(Shown(dialog));
          }) {}
    ~Driver() { join(); }
    void join() {
        if (thread_.joinable()) thread_.join();
    }
    bool found() const { return found_; }

private:
    std::atomic<bool> found_{false};
    std::thread thread_;
};

class Win32DialogHost : public EmulatedCameras {
protected:
    void SetUp() override {
        resetSettings();
        open({0});
    }
    void open(std::initializer_list<int> slots, std::uint32_t triggerIntervalMs = 0) {
        camera.reset();
        attach(slots, 0, triggerIntervalMs);
        camera = std::make_unique<Camera>();
        ASSERT_EQ(camera->initialize(0), 1);
    }
    void TearDown() override {
        camera.reset();
        resetSettings();
        EmulatedCameras::TearDown();
    }
    static dialogs::ModalRunner runnerIn(Language language) {
        return [language](DialogKind frame, platform::WindowHandle owner, dialogs::DialogHandler& handler) {
            return platform::runModalDialog(frame, owner, handler, language);
        };
    }
    static std::string suffix(Language language) { return language == Language::Japanese ? "-ja" : "-en"; }
    // Japanese texts survive the ANSI dialog functions only with the Japanese code page.
    static bool japaneseCodePage() { return GetACP() == 932; }
    static const wchar_t* title(Language language) {
        return language == Language::Japanese ? L"\u30d7\u30ed\u30d1\u30c6\u30a3" : L"Property";
    }
    std::unique_ptr<Camera> camera;
};

TEST_F(Win32DialogHost, CameraDialogReadAndDrivenThroughMessages) {
    HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(owner, nullptr);
    HWND ownerSeen = nullptr;
    Driver driver(L"Property", [&](const Shown& w) {
        ownerSeen = GetWindow(w.window(), GW_OWNER);
        EXPECT_EQ(w.chosen(1010), "1360 x 1024");
        EXPECT_EQ(w.chosen(1009), "Color 24bit");
        EXPECT_EQ(w.chosen(1014), "Nomal");
        EXPECT_EQ(w.text(1045), "10");
        EXPECT_EQ(w.text(1002), "Apply(&A)");
        EXPECT_TRUE(GetWindowLongW(w(1039), GWL_STYLE) & ES_READONLY);
        EXPECT_FALSE(w.enabled(1002));
        w.choose(1010, 1);
        EXPECT_TRUE(w.enabled(1002));
        w.type(1041, L"640");
        w.type(1042, L"480");
        w.click(1002);
        EXPECT_EQ(w.chosen(1010), "640 x 480");
        EXPECT_FALSE(w.enabled(1002));
        w.choose(1012, 2);
        w.close(IDOK);
    });
    EXPECT_EQ(camera->setCameraDlg(reinterpret_cast<platform::WindowHandle>(owner), runnerIn(Language::English)), 1);
    driver.join();
    EXPECT_TRUE(driver.found());
    EXPECT_EQ(ownerSeen, owner);
    EXPECT_EQ(camera->width(), 640);
    EXPECT_EQ(camera->getSubSample(), 2);
    EXPECT_EQ(stored("", "Size"), 1);
    DestroyWindow(owner);
}

TEST_F(Win32DialogHost, AnalogGainDialogPagesAndLiveGain) {
    for (Language language : {Language::English, Language::Japanese}) {
        Driver driver(title(language), [&](const Shown& w) {
            w.picture("analog-gain-win32" + suffix(language));
            w.type(1015, L"700");
            EXPECT_EQ(state(0).globalGain, 700);
            EXPECT_EQ(w.text(1021), "700");
            EXPECT_EQ(w.position(1020), 0);
            EXPECT_EQ(w.position(1014), 700);
            w.drag(1026, 300);
            EXPECT_EQ(w.text(1027), "300");
            EXPECT_EQ(state(0).exposure, 300);
            w.tab(1);
            EXPECT_TRUE(w.checked(1100));
            EXPECT_EQ(w.text(1099), "Stiil");
            w.picture("analog-monitor-win32" + suffix(language));
            if (language == Language::Japanese && japaneseCodePage()) {
                EXPECT_EQ(w.text(2), "キャンセル");
            }
            w.close(IDCANCEL);
        });
        const int before = state(0).globalGain;
        EXPECT_EQ(camera->showAnalogDialog(0, runnerIn(language)), 1);
        driver.join();
        EXPECT_TRUE(driver.found());
        EXPECT_EQ(state(0).globalGain, before);
    }
}

TEST_F(Win32DialogHost, ImageFilterDialogLiveValuesAndReload) {
    ASSERT_EQ(camera->setColorMode(8), 1);
    // The chart's white and yellow bars: the site gains measured are not the defaults.
    ASSERT_EQ(camera->setCaptureWindowEx(1360, 0, 340, 1024, 0, 760), 1);
    for (Language language : {Language::English, Language::Japanese}) {
        Driver driver(title(language), [&](const Shown& w) {
            EXPECT_FALSE(w.enabled(2021));
            EXPECT_TRUE(w.enabled(2001));
            EXPECT_TRUE(w.checked(1033));
            w.picture("filter-image-win32" + suffix(language));
            w.drag(2001, 100);
            EXPECT_EQ(camera->filterSettings().brightness, 100);
            EXPECT_EQ(w.text(2002), "100");
            w.type(2012, L"50");
            EXPECT_EQ(w.position(2011), 50);
            w.tab(1);
            w.click(1046);
            EXPECT_EQ(camera->filterSettings().grayMode, 1);
            w.click(2074); // measure the site gains on the next frame
            // This driver thread is not the dialog's: the measured gains reach the page
            // through its message loop.
            EXPECT_EQ(camera->snapShot(nullptr, 0, 1), 1);
            const std::string measured = std::to_string(camera->filterSettings().grayGainR);
            EXPECT_NE(measured, "128");
            for (int tries = 0; tries < 50 && w.text(2101) != measured; ++tries) Sleep(20);
            EXPECT_EQ(w.text(2101), measured);
            w.picture("filter-gray-win32" + suffix(language));
            w.close(IDOK);
        });
        EXPECT_EQ(camera->showImageDialog(0, runnerIn(language)), 1);
        driver.join();
        EXPECT_TRUE(driver.found());
        const FilterSettings kept = camera->filterSettings();
        EXPECT_EQ(kept.brightness, 100);
        EXPECT_NE(kept.grayGainR, 128);
        EXPECT_EQ(kept.grayGainAuto, 0); // the one measurement was made
        ASSERT_EQ(camera->setFilterValue(kPropertyBrightness, 0), 1);
        ASSERT_EQ(camera->setFilterValue(kPropertyGrayGainR, 128), 1);
    }
}

TEST_F(Win32DialogHost, CameraDialogInBothLanguages) {
    for (Language language : {Language::English, Language::Japanese}) {
        Driver driver(title(language), [&](const Shown& w) {
            if (language == Language::English || japaneseCodePage()) {
                EXPECT_EQ(w.chosen(1014), language == Language::Japanese ? "標準" : "Nomal");
            }
            w.picture("camera-win32" + suffix(language));
            PostMessageW(w.window(), WM_CLOSE, 0, 0); // the close box is Cancel
        });
        EXPECT_EQ(camera->setCameraDlg(0, runnerIn(language)), 1);
        driver.join();
        EXPECT_TRUE(driver.found());
    }
}

// A trigger capture running when the camera dialog opens is held while it is open and
// released after it (held_trigger.h).
TEST_F(Win32DialogHost, ATriggerCaptureIsHeldWhileTheCameraDialogIsOpen) {
    open({0, 3}, 20);
    std::vector<std::uint8_t> frame;
    ASSERT_TRUE(startHeldTriggerCapture(*camera, frame));
    Driver driver(L"Property", [&](const Shown& w) {
        expectTriggerHeld(*camera);
        w.close(IDOK);
    });
    EXPECT_EQ(camera->setCameraDlg(0, runnerIn(Language::English)), 1);
    driver.join();
    EXPECT_TRUE(driver.found());
    expectTriggerReleased(*camera);
}

TEST_F(Win32DialogHost, AnOwnerThatIsNoWindowFailsCreation) {
    CameraDialogState state;
    CameraDialog handler(state);
    EXPECT_EQ(platform::runModalDialog(DialogKind::Camera, 0x12345678, handler, Language::English), -1);
}

} // namespace
} // namespace orvix::test
