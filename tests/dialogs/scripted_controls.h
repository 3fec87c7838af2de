#pragma once
// A controls host without windows for the dialog models: it keeps every control's
// state as the Win32 controls would (edit boxes notify their changes, trackbars keep
// their position inside the range, auto check boxes and radio groups toggle
// themselves when clicked) and lets a test act as the user.

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/dialog_controls.h"
#include "dialogs/dialog_support.h"

namespace orvix::test {

class ScriptedControls final : public dialogs::DialogControls {
public:
    ScriptedControls(dialogs::DialogKind kind, dialogs::DialogHandler& handler, dialogs::Language language);

    struct Control {
        std::string text;
        bool checked = false;
        bool enabled = true;
        std::vector<std::string> items;
        int selection = -1;
        int trackMin = 0, trackMax = 100, trackPos = 0, tickFrequency = 1, pageSize = 0;
        int upDownMin = 0, upDownMax = 100, upDownPos = 0, buddy = 0;
        std::vector<std::string> tabs;
        int currentTab = 0;
    };

    // ---- the user ------------------------------------------------------------------
    void type(int id, const std::string& text);          // edit box text, then kEditChange
    void click(int id);                                   // toggles check boxes and radios
    void choose(int id, int index);                       // list selection, then kSelectionChange
    void drag(int trackbar, int position);                // moves the trackbar, then scroll
    void selectTab(int tabId, int index);
    void runPosted();                                     // the posted tasks, in order

    const Control& control(int id) const;
    ScriptedControls* page(dialogs::DialogKind kind) const;
    bool ended() const { return result_ != -1; }
    int result() const { return result_; }
    dialogs::DialogKind kind() const { return kind_; }

    // ---- DialogControls -------------------------------------------------------------
    dialogs::Language language() const override { return language_; }
    void setInt(int id, int value, bool isSigned) override;
    int getInt(int id, bool isSigned) const override;
    void setText(int id, const std::string& utf8) override;
    std::string text(int id) const override { return control(id).text; }
    void setChecked(int id, bool checked) override { at(id).checked = checked; }
    bool isChecked(int id) const override { return control(id).checked; }
    void setEnabled(int id, bool enabled) override { at(id).enabled = enabled; }
    bool isEnabled(int id) const override { return control(id).enabled; }
    void clearList(int id) override;
    void addListItem(int id, const std::string& utf8) override { at(id).items.push_back(utf8); }
    void insertListItem(int id, int index, const std::string& utf8) override;
    void deleteListItem(int id, int index) override;
    void selectListItem(int id, int index) override;
    int listSelection(int id) const override { return control(id).selection; }
    int listCount(int id) const override { return static_cast<int>(control(id).items.size()); }
    std::string listItem(int id, int index) const override;
    void setTrackRange(int id, int minimum, int maximum) override;
    void setTrackPos(int id, int position) override;
    int trackPos(int id) const override { return control(id).trackPos; }
    void setTrackTickFrequency(int id, int frequency) override { at(id).tickFrequency = frequency; }
    void setTrackPageSize(int id, int size) override { at(id).pageSize = size; }
    void setUpDownRange(int id, int minimum, int maximum) override;
    void setUpDownPos(int id, int position) override { at(id).upDownPos = position; }
    void setUpDownBuddy(int id, int editId) override { at(id).buddy = editId; }
    void insertTab(int tabId, int index, const std::string& utf8) override;
    int currentTab(int tabId) const override { return control(tabId).currentTab; }
    DialogControls* createPage(dialogs::DialogKind page, int tabId, dialogs::DialogHandler& handler,
                               bool visible) override;
    void showPage(DialogControls& page, bool visible) override;
    bool isPageVisible(const DialogControls& page) const override;
    void endDialog(int result) override { result_ = result; }
    void post(std::function<void()> task) override;

    bool visible = true;

private:
    Control& at(int id);
    const dialogs::ControlTemplate& describe(int id) const;

    dialogs::DialogKind kind_;
    dialogs::DialogHandler& handler_;
    dialogs::Language language_;
    std::map<int, Control> controls_;
    std::vector<std::unique_ptr<ScriptedControls>> pages_;
    std::deque<std::function<void()>> posted_;
    int result_ = -1;
};

// A modal runner that opens the frame in a ScriptedControls, lets `script` play the
// user and returns the result the dialog ended with (-1 when the script did not end
// it). `failCreation` makes it act as a host that could not create the dialog.
dialogs::ModalRunner scriptedRunner(std::function<void(ScriptedControls&)> script,
                                    dialogs::Language language = dialogs::Language::English);
dialogs::ModalRunner failingRunner();

} // namespace orvix::test
