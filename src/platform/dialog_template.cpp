// The library's templates by kind, and the Win32 classes and styles of the described
// controls.

#include "platform/dialog_template.h"

#include "dialog_templates.h"

namespace orvix::dialogs {

const DialogTemplate& dialogTemplate(DialogKind kind) { return templates::kDialogs[static_cast<int>(kind)]; }

const char* win32ClassOf(ControlKind kind) {
    switch (kind) {
    case ControlKind::Tab: return "SysTabControl32";
    case ControlKind::Label: return "Static";
    case ControlKind::DropDownList: return "ComboBox";
    case ControlKind::Edit:
    case ControlKind::ReadOnlyEdit:
    case ControlKind::NumberEdit: return "Edit";
    case ControlKind::Trackbar: return "msctls_trackbar32";
    case ControlKind::UpDown: return "msctls_updown32";
    case ControlKind::GroupBox:
    case ControlKind::PushButton:
    case ControlKind::DefaultButton:
    case ControlKind::CheckBox:
    case ControlKind::PushLikeCheckBox:
    case ControlKind::RadioButton: break;
    }
    return "Button";
}

std::uint32_t win32StyleOf(ControlKind kind, bool startsGroup) {
    using namespace style;
    std::uint32_t s = kChild | kVisible | (startsGroup ? kGroup : 0u);
    switch (kind) {
    case ControlKind::Tab: return s | kTabStop;
    case ControlKind::GroupBox: return s | kGroupBox;
    case ControlKind::Label: return s; // SS_LEFT
    case ControlKind::DropDownList: return s | kTabStop | kVScroll | kDropDownList;
    case ControlKind::Edit: return s | kTabStop | kBorder | kEditAutoHScroll;
    case ControlKind::ReadOnlyEdit: return s | kTabStop | kBorder | kEditAutoHScroll | kEditReadOnly;
    case ControlKind::NumberEdit: return s | kTabStop | kBorder | kEditAutoHScroll | kEditNumber;
    case ControlKind::PushButton: return s | kTabStop;
    case ControlKind::DefaultButton: return s | kTabStop | kDefPushButton;
    case ControlKind::CheckBox: return s | kTabStop | kAutoCheckBox;
    case ControlKind::PushLikeCheckBox: return s | kTabStop | kAutoCheckBox | kPushLike;
    case ControlKind::RadioButton: return s | kAutoRadioButton | (startsGroup ? kTabStop : 0u);
    case ControlKind::Trackbar: return s | kTabStop | kTrackbarBoth | kTrackbarNoTicks;
    case ControlKind::UpDown:
        return s | kUpDownSetBuddyInt | kUpDownAlignRight | kUpDownArrowKeys | kUpDownNoThousands;
    }
    return s;
}

std::uint32_t win32DialogStyle(const DialogTemplate& dialog) {
    using namespace style;
    if (dialog.child) return kChild | kShellFont | kControlParent;
    return kPopup | kCaption | kSysMenu | kModalFrame | kShellFont;
}

} // namespace orvix::dialogs
