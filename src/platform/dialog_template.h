#pragma once
// The shape of a dialog template as the library describes it once for every host:
// the dialog (resource numbers of both languages, title, size in dialog units) and
// its controls in tab order (id, kind, texts of both languages, position in dialog
// units). The Win32 host compiles the same description into its resource script;
// the GTK host builds its windows from it at run time.

#include <cstddef>
#include <cstdint>

namespace orvix::dialogs {

// Id of a control that is never addressed (labels, group boxes).
inline constexpr int kStaticId = -1;

enum class ControlKind : std::uint8_t {
    Tab,
    GroupBox,
    Label,
    DropDownList,
    Edit,          // text, left-aligned, scrolls horizontally
    ReadOnlyEdit,
    NumberEdit,    // accepts digits only
    PushButton,
    DefaultButton,
    CheckBox,
    PushLikeCheckBox,
    RadioButton,
    Trackbar,      // horizontal, both-sided, no ticks drawn
    UpDown,        // right-aligned to its buddy, arrow keys, sets the buddy's integer
};

enum class Language : std::uint8_t { English, Japanese };

// The language of the dialogs: Japanese when the system default language id is 0x411.
inline constexpr std::uint16_t kJapaneseLangId = 0x411;
inline constexpr std::uint16_t kEnglishLangId = 0x409;
inline constexpr Language languageOf(std::uint16_t langId) {
    return langId == kJapaneseLangId ? Language::Japanese : Language::English;
}

struct ControlTemplate {
    int id;
    ControlKind kind;
    const char* english; // UTF-8; nullptr for controls without text
    const char* japanese; // UTF-8; nullptr: the English text
    int x, y, width, height;

    const char* text(Language language) const {
        return language == Language::Japanese && japanese ? japanese : english;
    }
};

enum class DialogKind : std::uint8_t {
    Camera,        // camera settings, modal
    AnalogFrame,   // analog gain frame, modal
    GainPage,      // child of the analog frame
    MonitorPage,   // child of the analog frame
    FilterFrame,   // image filter frame, modal
    ImagePage,     // child of the filter frame
    GrayPage,      // child of the filter frame
};
inline constexpr int kDialogKindCount = 7;

struct DialogTemplate {
    DialogKind kind;
    int englishResource;
    int japaneseResource;
    bool child; // a page inside a frame's tab control
    const char* englishTitle;
    const char* japaneseTitle;
    int width, height;
    int japaneseWidth; // width of the Japanese template
    const ControlTemplate* controls;
    std::size_t controlCount;

    int resource(Language language) const {
        return language == Language::Japanese ? japaneseResource : englishResource;
    }
    const char* title(Language language) const {
        return language == Language::Japanese && japaneseTitle ? japaneseTitle : englishTitle;
    }
    int widthIn(Language language) const { return language == Language::Japanese ? japaneseWidth : width; }
    // The control with that id, or nullptr.
    const ControlTemplate* control(int id) const {
        for (std::size_t i = 0; i < controlCount; ++i)
            if (controls[i].id == id) return &controls[i];
        return nullptr;
    }
};

// A text with both languages, for list entries and tab labels.
struct LocalText {
    const char* english;
    const char* japanese; // nullptr: the English text
    const char* text(Language language) const {
        return language == Language::Japanese && japanese ? japanese : english;
    }
};

// The library's own template of a kind (resources/dialog_templates.h).
const DialogTemplate& dialogTemplate(DialogKind kind);

// ---- Win32 window styles of the templates ------------------------------------------
// Written out here (the description is platform-neutral and includes no OS header);
// the values are those of the Win32 headers.
namespace style {
inline constexpr std::uint32_t kChild = 0x40000000u;
inline constexpr std::uint32_t kPopup = 0x80000000u;
inline constexpr std::uint32_t kVisible = 0x10000000u;
inline constexpr std::uint32_t kDisabled = 0x08000000u;
inline constexpr std::uint32_t kCaption = 0x00C00000u;
inline constexpr std::uint32_t kBorder = 0x00800000u;
inline constexpr std::uint32_t kVScroll = 0x00200000u;
inline constexpr std::uint32_t kSysMenu = 0x00080000u;
inline constexpr std::uint32_t kGroup = 0x00020000u;
inline constexpr std::uint32_t kTabStop = 0x00010000u;
inline constexpr std::uint32_t kModalFrame = 0x00000080u;  // DS_MODALFRAME
inline constexpr std::uint32_t kShellFont = 0x00000048u;   // DS_SHELLFONT
inline constexpr std::uint32_t kControlParent = 0x00000400u; // DS_CONTROL
inline constexpr std::uint32_t kDefPushButton = 0x1u;
inline constexpr std::uint32_t kAutoCheckBox = 0x3u;
inline constexpr std::uint32_t kGroupBox = 0x7u;
inline constexpr std::uint32_t kAutoRadioButton = 0x9u;
inline constexpr std::uint32_t kPushLike = 0x1000u;
inline constexpr std::uint32_t kEditAutoHScroll = 0x80u;
inline constexpr std::uint32_t kEditReadOnly = 0x800u;
inline constexpr std::uint32_t kEditNumber = 0x2000u;
inline constexpr std::uint32_t kDropDownList = 0x3u;
inline constexpr std::uint32_t kTrackbarBoth = 0x8u;
inline constexpr std::uint32_t kTrackbarNoTicks = 0x10u;
inline constexpr std::uint32_t kUpDownSetBuddyInt = 0x2u;
inline constexpr std::uint32_t kUpDownAlignRight = 0x4u;
inline constexpr std::uint32_t kUpDownArrowKeys = 0x20u;
inline constexpr std::uint32_t kUpDownNoThousands = 0x80u;
} // namespace style

// Window class and style of a control kind in the Win32 templates. Radio buttons
// form a group from the first of a run of radio buttons to the next other control,
// so the first of a run and every other control start a group (`startsGroup`).
const char* win32ClassOf(ControlKind kind);
std::uint32_t win32StyleOf(ControlKind kind, bool startsGroup);
// Style of the dialog itself: modal popup frames and child pages.
std::uint32_t win32DialogStyle(const DialogTemplate& dialog);

} // namespace orvix::dialogs
