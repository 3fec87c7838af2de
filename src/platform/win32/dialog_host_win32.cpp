// Win32 dialog host: resource templates, DialogBoxParamA for frames,
// CreateDialogParamA for pages, the controls interface over dialog-item messages.

#include <windows.h>

#include <commctrl.h>

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dialog_controls.h"
#include "platform/dialog_host.h"

namespace orvix::platform {

namespace {

using dialogs::DialogControls;
using dialogs::DialogHandler;
using dialogs::DialogKind;
using dialogs::Language;

// Wakes the dialog's thread for the posted tasks.
constexpr UINT kRunPostedMessage = WM_APP + 0x20;

std::wstring widen(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
    return wide;
}

std::string narrow(const wchar_t* wide, int length) {
    if (length <= 0) return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, length, utf8.data(), size, nullptr, nullptr);
    return utf8;
}

// The module holding the templates: the library by its file name, else the module
// of this code (a program that links the library's code statically).
HMODULE templateModule() {
    if (HMODULE library = GetModuleHandleA("OrvixSdk_K62DT4.dll")) return library;
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&templateModule), &self);
    return self;
}

void initCommonControlsOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        INITCOMMONCONTROLSEX init{sizeof(INITCOMMONCONTROLSEX),
                                  ICC_TAB_CLASSES | ICC_BAR_CLASSES | ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&init);
    });
}

class Win32Dialog;
// The object whose WM_INITDIALOG is about to arrive on this thread (the creation
// parameter stays 0).
thread_local Win32Dialog* tCreating = nullptr;

INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

class Win32Dialog final : public DialogControls {
public:
    Win32Dialog(DialogKind kind, DialogHandler& handler, Language language)
        : kind_(kind), handler_(handler), language_(language) {}

    HWND window() const { return window_; }
    DialogHandler& handler() { return handler_; }

    void attach(HWND window) {
        window_ = window;
        SetWindowLongPtrA(window, DWLP_USER, reinterpret_cast<LONG_PTR>(this));
    }

    void runPosted() {
        std::deque<std::function<void()>> tasks;
        {
            std::lock_guard<std::mutex> lock(postMutex_);
            tasks.swap(posted_);
        }
        for (auto& task : tasks) task();
    }

    void close() {
        std::lock_guard<std::mutex> lock(postMutex_);
        closed_ = true;
        posted_.clear();
    }

    // ---- DialogControls ---------------------------------------------------------------
    Language language() const override { return language_; }

    void setInt(int id, int value, bool isSigned) override {
        SetDlgItemInt(window_, id, static_cast<UINT>(value), isSigned ? TRUE : FALSE);
    }
    int getInt(int id, bool isSigned) const override {
        BOOL ok = FALSE;
        const UINT value = GetDlgItemInt(window_, id, &ok, isSigned ? TRUE : FALSE);
        return ok ? static_cast<int>(value) : 0;
    }
    void setText(int id, const std::string& utf8) override { SetDlgItemTextW(window_, id, widen(utf8).c_str()); }
    std::string text(int id) const override {
        wchar_t buffer[512];
        const int length = GetDlgItemTextW(window_, id, buffer, 512);
        return narrow(buffer, length);
    }

    void setChecked(int id, bool checked) override {
        CheckDlgButton(window_, id, checked ? BST_CHECKED : BST_UNCHECKED);
    }
    bool isChecked(int id) const override { return IsDlgButtonChecked(window_, id) == BST_CHECKED; }
    void setEnabled(int id, bool enabled) override { EnableWindow(item(id), enabled ? TRUE : FALSE); }
    bool isEnabled(int id) const override { return IsWindowEnabled(item(id)) != FALSE; }

    void clearList(int id) override { send(id, CB_RESETCONTENT, 0, 0); }
    void addListItem(int id, const std::string& utf8) override {
        const std::wstring wide = widen(utf8);
        sendW(id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
    }
    void insertListItem(int id, int index, const std::string& utf8) override {
        const std::wstring wide = widen(utf8);
        sendW(id, CB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(wide.c_str()));
    }
    void deleteListItem(int id, int index) override { send(id, CB_DELETESTRING, static_cast<WPARAM>(index), 0); }
    void selectListItem(int id, int index) override { send(id, CB_SETCURSEL, static_cast<WPARAM>(index), 0); }
    int listSelection(int id) const override { return static_cast<int>(send(id, CB_GETCURSEL, 0, 0)); }
    int listCount(int id) const override { return static_cast<int>(send(id, CB_GETCOUNT, 0, 0)); }
    std::string listItem(int id, int index) const override {
        const LRESULT length = sendW(id, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
        if (length == CB_ERR) return std::string();
        std::wstring wide(static_cast<std::size_t>(length) + 1, L'\0');
        sendW(id, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(wide.data()));
        return narrow(wide.c_str(), static_cast<int>(length));
    }

    void setTrackRange(int id, int minimum, int maximum) override {
        send(id, TBM_SETRANGEMAX, TRUE, maximum);
        send(id, TBM_SETRANGEMIN, TRUE, minimum);
    }
    void setTrackPos(int id, int position) override { send(id, TBM_SETPOS, TRUE, position); }
    int trackPos(int id) const override { return static_cast<int>(send(id, TBM_GETPOS, 0, 0)); }
    void setTrackTickFrequency(int id, int frequency) override {
        send(id, TBM_SETTICFREQ, static_cast<WPARAM>(frequency), 0);
    }
    void setTrackPageSize(int id, int size) override { send(id, TBM_SETPAGESIZE, 0, size); }
    void setUpDownRange(int id, int minimum, int maximum) override {
        send(id, UDM_SETRANGE32, static_cast<WPARAM>(minimum), maximum);
    }
    void setUpDownPos(int id, int position) override {
        send(id, UDM_SETPOS, 0, MAKELPARAM(static_cast<WORD>(position), 0));
    }
    void setUpDownBuddy(int id, int editId) override {
        send(id, UDM_SETBUDDY, reinterpret_cast<WPARAM>(item(editId)), 0);
    }

    void insertTab(int tabId, int index, const std::string& utf8) override {
        std::wstring wide = widen(utf8);
        TCITEMW tab{};
        tab.mask = TCIF_TEXT;
        tab.pszText = wide.data();
        sendW(tabId, TCM_INSERTITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&tab));
    }
    int currentTab(int tabId) const override { return static_cast<int>(send(tabId, TCM_GETCURSEL, 0, 0)); }

    DialogControls* createPage(DialogKind page, int tabId, DialogHandler& handler, bool visible) override {
        auto created = std::make_unique<Win32Dialog>(page, handler, language_);
        const int resource = dialogs::dialogTemplate(page).resource(language_);
        tCreating = created.get();
        HWND window = CreateDialogParamA(templateModule(), MAKEINTRESOURCEA(resource), item(tabId), dialogProc, 0);
        tCreating = nullptr;
        if (!window) return nullptr;
        SetWindowPos(window, nullptr, 30, 25, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | (visible ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
        pages_.push_back(std::move(created));
        return pages_.back().get();
    }
    void showPage(DialogControls& page, bool visible) override {
        ShowWindow(static_cast<Win32Dialog&>(page).window_, visible ? SW_SHOW : SW_HIDE);
    }
    bool isPageVisible(const DialogControls& page) const override {
        return IsWindowVisible(static_cast<const Win32Dialog&>(page).window_) != FALSE;
    }

    void endDialog(int result) override { EndDialog(window_, result); }

    void post(std::function<void()> task) override {
        std::lock_guard<std::mutex> lock(postMutex_);
        if (closed_ || !window_) return;
        posted_.push_back(std::move(task));
        PostMessageA(window_, kRunPostedMessage, 0, 0);
    }

private:
    HWND item(int id) const { return GetDlgItem(window_, id); }
    LRESULT send(int id, UINT message, WPARAM wParam, LPARAM lParam) const {
        return SendDlgItemMessageA(window_, id, message, wParam, lParam);
    }
    LRESULT sendW(int id, UINT message, WPARAM wParam, LPARAM lParam) const {
        return SendDlgItemMessageW(window_, id, message, wParam, lParam);
    }

    DialogKind kind_;
    DialogHandler& handler_;
    Language language_;
    HWND window_ = nullptr;
    std::vector<std::unique_ptr<Win32Dialog>> pages_;
    std::mutex postMutex_;
    std::deque<std::function<void()>> posted_;
    bool closed_ = false;
};

INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        Win32Dialog* dialog = tCreating;
        if (!dialog) return FALSE;
        dialog->attach(window);
        dialog->handler().init(*dialog);
        return FALSE;
    }
    auto* dialog = reinterpret_cast<Win32Dialog*>(GetWindowLongPtrA(window, DWLP_USER));
    if (!dialog) return FALSE;
    switch (message) {
    case WM_COMMAND:
        dialog->handler().command(LOWORD(wParam), HIWORD(wParam));
        break;
    case WM_HSCROLL:
        if (lParam) dialog->handler().scroll(GetDlgCtrlID(reinterpret_cast<HWND>(lParam)));
        break;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header && header->code == static_cast<UINT>(TCN_SELCHANGE))
            dialog->handler().tabChanged(static_cast<int>(header->idFrom));
        break;
    }
    case kRunPostedMessage:
        dialog->runPosted();
        break;
    case WM_DESTROY:
        SetWindowLongPtrA(window, DWLP_USER, 0);
        break;
    default: break;
    }
    return FALSE;
}

} // namespace

int runModalDialog(DialogKind frame, WindowHandle owner, DialogHandler& handler, Language language) {
    initCommonControlsOnce();
    Win32Dialog dialog(frame, handler, language);
    const int resource = dialogs::dialogTemplate(frame).resource(language);
    tCreating = &dialog;
    // The handler is told before the windows go, while the frame still exists, and
    // tasks posted later are dropped.
    struct CloseGuard {
        Win32Dialog& dialog;
        ~CloseGuard() { dialog.close(); }
    } guard{dialog};
    const INT_PTR result = DialogBoxParamA(templateModule(), MAKEINTRESOURCEA(resource),
                                           reinterpret_cast<HWND>(owner), dialogProc, 0);
    tCreating = nullptr;
    if (dialog.window()) handler.closing();
    return result <= 0 ? -1 : static_cast<int>(result);
}

} // namespace orvix::platform
