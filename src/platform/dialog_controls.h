#pragma once
// The small controls interface the dialog models are written against, and the
// handler interface through which a host delivers a window's events to its model.
//
// One DialogControls object stands for one dialog window (a frame or a page). Its
// behaviour follows the Win32 controls the templates describe, because the models
// rely on it:
//  - setting an edit box's text (setInt) notifies the handler with kEditChange, at
//    once, as typed input does;
//  - moving a trackbar or an up-down control from the program notifies nothing;
//  - a trackbar moved by the user reports scroll(id), an up-down control moved by the
//    user sets its buddy edit box (which then notifies kEditChange);
//  - check boxes and radio buttons toggle themselves when clicked and then report
//    kClicked; a radio button unchecks the others of its group.
// Every operation runs on the dialog's own thread, except post(), which any thread
// may call.

#include <functional>
#include <string>

#include "platform/dialog_template.h"

namespace orvix::dialogs {

// Notification codes of command(): a button was clicked, a list selection changed,
// an edit box's text changed.
inline constexpr int kClicked = 0;
inline constexpr int kSelectionChange = 1;
inline constexpr int kEditChange = 0x300;

// Dialog results.
inline constexpr int kResultOk = 1;
inline constexpr int kResultCancel = 2;

class DialogControls;

class DialogHandler {
public:
    virtual ~DialogHandler() = default;
    // The window and its controls exist; fill them.
    virtual void init(DialogControls& controls) = 0;
    virtual void command(int id, int code) { (void)id, (void)code; }
    // A trackbar was moved by the user.
    virtual void scroll(int trackbarId) { (void)trackbarId; }
    // The selection of the tab control changed.
    virtual void tabChanged(int tabId) { (void)tabId; }
    // The dialog is about to go: its controls stop existing after this returns.
    virtual void closing() {}
};

class DialogControls {
public:
    virtual ~DialogControls() = default;

    virtual Language language() const = 0;

    // ---- numbers and texts ---------------------------------------------------------
    // SetDlgItemInt: the number as signed or unsigned decimal text.
    virtual void setInt(int id, int value, bool isSigned = true) = 0;
    // GetDlgItemInt: the text as a number; 0 when it holds none (or, unsigned, a
    // negative one).
    virtual int getInt(int id, bool isSigned = true) const = 0;
    virtual void setText(int id, const std::string& utf8) = 0;
    virtual std::string text(int id) const = 0;

    // ---- buttons ---------------------------------------------------------------------
    virtual void setChecked(int id, bool checked) = 0;
    virtual bool isChecked(int id) const = 0;
    virtual void setEnabled(int id, bool enabled) = 0;
    virtual bool isEnabled(int id) const = 0;

    // ---- drop-down lists -------------------------------------------------------------
    virtual void clearList(int id) = 0;
    virtual void addListItem(int id, const std::string& utf8) = 0;
    virtual void insertListItem(int id, int index, const std::string& utf8) = 0;
    virtual void deleteListItem(int id, int index) = 0;
    virtual void selectListItem(int id, int index) = 0;
    virtual int listSelection(int id) const = 0; // -1 for none
    virtual int listCount(int id) const = 0;
    virtual std::string listItem(int id, int index) const = 0;

    // ---- trackbars and up-down controls ----------------------------------------------
    virtual void setTrackRange(int id, int minimum, int maximum) = 0;
    virtual void setTrackPos(int id, int position) = 0;
    virtual int trackPos(int id) const = 0;
    virtual void setTrackTickFrequency(int id, int frequency) = 0;
    virtual void setTrackPageSize(int id, int size) = 0;
    virtual void setUpDownRange(int id, int minimum, int maximum) = 0;
    virtual void setUpDownPos(int id, int position) = 0;
    virtual void setUpDownBuddy(int id, int editId) = 0;

    // ---- tabs and pages --------------------------------------------------------------
    virtual void insertTab(int tabId, int index, const std::string& utf8) = 0;
    virtual int currentTab(int tabId) const = 0;
    // Creates a child page from its template inside the tab control `tabId`, at
    // (30, 25) in the tab control without resizing; its handler's init runs before
    // this returns. The page lives as long as this dialog. Null when creation failed.
    virtual DialogControls* createPage(DialogKind page, int tabId, DialogHandler& handler, bool visible) = 0;
    virtual void showPage(DialogControls& page, bool visible) = 0;
    virtual bool isPageVisible(const DialogControls& page) const = 0;

    // Ends the modal dialog with that result (frames only).
    virtual void endDialog(int result) = 0;

    // Runs `task` on the dialog's thread, soon; callable from any thread. Tasks
    // still waiting when the dialog closes are dropped.
    virtual void post(std::function<void()> task) = 0;
};

} // namespace orvix::dialogs
