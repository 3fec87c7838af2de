#pragma once
// The library's dialog templates, English and Japanese: the camera settings dialog,
// the analog gain frame with its gain and monitor pages, and the image filter frame
// with its image and gray pages. Every host is built from these tables: the Win32
// resource script (resources/dialogs.rc, written from them and kept equal to them by
// a test) and the GTK windows. Positions and sizes are dialog units of the
// "MS Shell Dlg" 8-point font. Texts are UTF-8.

#include "platform/dialog_template.h"

namespace orvix::dialogs::templates {

using K = ControlKind;
inline constexpr int S = kStaticId;

// ---- camera settings dialog: 106 (English), 101 (Japanese) ---------------------------
inline constexpr ControlTemplate kCameraControls[] = {
    {1001, K::Tab, nullptr, nullptr, 7, 7, 299, 194},
    {S, K::GroupBox, "Video Format", "ビデオ形式", 17, 24, 123, 104},
    {S, K::Label, "Color / Compression(&C):", "色空間 / 圧縮(&C):", 25, 37, 60, 8},
    {1009, K::DropDownList, nullptr, nullptr, 49, 46, 83, 100},
    {S, K::Label, "Size(&S):", "出力サイズ(&S):", 25, 67, 48, 8},
    {1010, K::DropDownList, nullptr, nullptr, 49, 77, 83, 100},
    {S, K::Label, "Sub Sample(&B):", "間引き転送モード(&B):", 25, 96, 70, 8},
    {1012, K::DropDownList, nullptr, nullptr, 49, 107, 83, 100},
    {S, K::GroupBox, "Camera Size", "カスタムサイズ", 145, 24, 149, 104},
    {S, K::Label, "H Total", "総水平画素", 151, 37, 41, 8},
    {1039, K::ReadOnlyEdit, nullptr, nullptr, 159, 46, 50, 12},
    {S, K::Label, "V Total", "総垂直画素", 225, 37, 41, 8},
    {1040, K::ReadOnlyEdit, nullptr, nullptr, 235, 46, 50, 12},
    {S, K::Label, "H Effective", "有効水平画素", 151, 67, 49, 8},
    {1041, K::Edit, nullptr, nullptr, 159, 77, 50, 12},
    {S, K::Label, "V Effective", "有効垂直画素", 225, 67, 49, 8},
    {1042, K::Edit, nullptr, nullptr, 235, 77, 50, 12},
    {S, K::Label, "H Start", "有効水平起点", 151, 96, 49, 8},
    {1043, K::Edit, nullptr, nullptr, 159, 107, 50, 12},
    {S, K::Label, "V Start", "有効垂直起点", 225, 96, 49, 8},
    {1044, K::Edit, nullptr, nullptr, 233, 107, 50, 12},
    {S, K::GroupBox, "Frame Rate", "フレームレート", 17, 131, 277, 48},
    {S, K::Label, "Wait Time(&T):", "フレーム間待ち時間(&T):", 25, 143, 76, 8},
    {1045, K::Edit, nullptr, nullptr, 49, 154, 83, 12},
    {S, K::Label, "Clock(&C):", "動作クロック(&C):", 151, 143, 51, 8},
    {1014, K::DropDownList, nullptr, nullptr, 175, 154, 83, 100},
    {1, K::DefaultButton, "OK", "OK", 116, 209, 60, 13},
    {2, K::PushButton, "Cancel", "キャンセル", 181, 209, 60, 13},
    {1002, K::PushButton, "Apply(&A)", "適用(&A)", 246, 209, 60, 13},
    {S, K::Label, "* In the WORD forwarding mode, please set the clock to the half.",
     "※WORD転送モードの際は動作クロックをハーフに設定してください", 90, 185, 204, 8},
};

// ---- analog gain frame: 111 / 104 ------------------------------------------------------
inline constexpr ControlTemplate kAnalogFrameControls[] = {
    {1001, K::Tab, nullptr, nullptr, 4, 4, 286, 149},
    {1, K::DefaultButton, "OK", "OK", 165, 161, 60, 13},
    {2, K::PushButton, "Cancel", "キャンセル", 230, 161, 60, 13},
    {3, K::PushButton, "Default(&D)", "規定値(&D)", 100, 161, 60, 13},
};

// ---- "Analog Gain" page: 110 / 105 (same texts in both languages) ----------------------
#define ORVIX_GAIN_ROW(label, track, edit, updown, y)                                  \
    {S, K::Label, label, nullptr, 4, y, 56, 8}, {track, K::Trackbar, nullptr, nullptr, 62, y, 110, 10}, \
        {edit, K::NumberEdit, nullptr, nullptr, 176, y - 1, 36, 12},                  \
        {updown, K::UpDown, nullptr, nullptr, 212, y - 1, 10, 12}
inline constexpr ControlTemplate kGainPageControls[] = {
    ORVIX_GAIN_ROW("&Global Gain", 1014, 1015, 1038, 5),
    ORVIX_GAIN_ROW("&Color Gain G1", 1018, 1019, 1039, 21),
    ORVIX_GAIN_ROW("&Color Gain R", 1020, 1021, 1040, 36),
    ORVIX_GAIN_ROW("&Color Gain B", 1022, 1023, 1041, 51),
    ORVIX_GAIN_ROW("&Color Gain G2", 1024, 1025, 1042, 66),
    ORVIX_GAIN_ROW("&Exposure", 1026, 1027, 1043, 81),
    {S, K::Label, "Auto Iris", nullptr, 4, 104, 40, 8},
    {1036, K::CheckBox, "Gain", nullptr, 48, 103, 40, 10},
    {1037, K::CheckBox, "Exposure", nullptr, 92, 103, 50, 10},
    {1029, K::CheckBox, "Mirror V", nullptr, 160, 103, 50, 10},
};
#undef ORVIX_GAIN_ROW

// ---- "Monitor Control" page: 114 / 115 (same texts in both languages) ------------------
#define ORVIX_BAYER_ROW(label, track, edit, updown, y)                                 \
    {S, K::Label, label, nullptr, 10, y, 34, 8}, {track, K::Trackbar, nullptr, nullptr, 46, y, 110, 10}, \
        {edit, K::NumberEdit, nullptr, nullptr, 160, y - 1, 30, 12},                  \
        {updown, K::UpDown, nullptr, nullptr, 190, y - 1, 10, 12}
inline constexpr ControlTemplate kMonitorPageControls[] = {
    {1100, K::PushLikeCheckBox, "Live", nullptr, 4, 4, 44, 14},
    {1099, K::PushButton, "Stiil", nullptr, 52, 4, 44, 14},
    {1096, K::DropDownList, nullptr, nullptr, 106, 5, 64, 60},
    {1010, K::DropDownList, nullptr, nullptr, 176, 5, 70, 60},
    {1009, K::CheckBox, "Color", nullptr, 4, 26, 40, 10},
    {1035, K::CheckBox, "AWB", nullptr, 52, 26, 40, 10},
    {4515, K::CheckBox, "Lock", nullptr, 100, 26, 40, 10},
    {S, K::GroupBox, "Bayer Gain", nullptr, 0, 40, 210, 60},
    ORVIX_BAYER_ROW("R Gain", 2051, 2052, 2054, 53),
    ORVIX_BAYER_ROW("G Gain", 2061, 2062, 2063, 68),
    ORVIX_BAYER_ROW("B Gain", 2071, 2072, 2073, 83),
    {1101, K::PushButton, "Write", nullptr, 4, 104, 50, 14},
};
#undef ORVIX_BAYER_ROW

// ---- image filter frame: 108 / 102 -----------------------------------------------------
inline constexpr ControlTemplate kFilterFrameControls[] = {
    {1001, K::Tab, nullptr, nullptr, 4, 4, 286, 168},
    {1, K::DefaultButton, "OK", "OK", 165, 177, 60, 13},
    {2, K::PushButton, "Cancel", "キャンセル", 230, 177, 60, 13},
    {3, K::PushButton, "Default(&D)", "規定値(&D)", 100, 177, 60, 13},
};

// ---- image page: 107 / 103 (same texts in both languages) ------------------------------
#define ORVIX_FILTER_ROW(label, track, edit, updown, y)                                \
    {S, K::Label, label, nullptr, 0, y, 34, 8}, {track, K::Trackbar, nullptr, nullptr, 40, y, 90, 10}, \
        {edit, K::NumberEdit, nullptr, nullptr, 136, y - 1, 30, 12},                  \
        {updown, K::UpDown, nullptr, nullptr, 153, y - 1, 10, 12}
inline constexpr ControlTemplate kImagePageControls[] = {
    {S, K::Label, "&Brightness", nullptr, 0, 4, 34, 8},
    {2001, K::Trackbar, nullptr, nullptr, 40, 4, 90, 10},
    {2002, K::NumberEdit, nullptr, nullptr, 136, 4, 30, 12},
    {2004, K::UpDown, nullptr, nullptr, 153, 4, 10, 12},
    ORVIX_FILTER_ROW("&Contrast", 2011, 2012, 2014, 20),
    ORVIX_FILTER_ROW("&Hue", 2021, 2022, 2024, 35),
    ORVIX_FILTER_ROW("&Saturation", 2031, 2032, 2034, 50),
    ORVIX_FILTER_ROW("Shar&pness", 2041, 2042, 2044, 65),
    ORVIX_FILTER_ROW("&R Gain", 2051, 2052, 2054, 80),
    ORVIX_FILTER_ROW("&G Gain", 2061, 2062, 2063, 95),
    ORVIX_FILTER_ROW("&B Gain", 2071, 2072, 2073, 110),
    ORVIX_FILTER_ROW("&Gamma", 2081, 2082, 2084, 125),
    {S, K::Label, "Auto white balance", nullptr, 180, 38, 62, 8},
    {2074, K::PushButton, nullptr, nullptr, 180, 53, 8, 8},
    {S, K::Label, "Once", nullptr, 195, 53, 18, 8},
    {1035, K::CheckBox, nullptr, nullptr, 180, 68, 8, 8},
    {S, K::Label, "All frames", nullptr, 195, 68, 32, 8},
    {S, K::Label, "Bayer Mode", nullptr, 180, 102, 39, 8},
    {1030, K::RadioButton, nullptr, nullptr, 180, 116, 8, 8},
    {1031, K::RadioButton, nullptr, nullptr, 195, 116, 8, 8},
    {1032, K::RadioButton, nullptr, nullptr, 210, 116, 8, 8},
    {1033, K::RadioButton, nullptr, nullptr, 225, 116, 8, 8},
};
#undef ORVIX_FILTER_ROW

// ---- gray page: 112 / 113 (same texts in both languages) -------------------------------
#define ORVIX_GRAY_GAIN_ROW(label, labelWidth, track, edit, updown, y)                 \
    {S, K::Label, label, nullptr, 10, y, labelWidth, 8}, {track, K::Trackbar, nullptr, nullptr, 36, y, 90, 10}, \
        {edit, K::NumberEdit, nullptr, nullptr, 132, y, 30, 12},                      \
        {updown, K::UpDown, nullptr, nullptr, 155, y, 10, 12}
#define ORVIX_GRAY_OFFSET_ROW(label, labelWidth, track, edit, updown, y)               \
    {S, K::Label, label, nullptr, 10, y, labelWidth, 8}, {track, K::Trackbar, nullptr, nullptr, 36, y, 90, 10}, \
        {edit, K::NumberEdit, nullptr, nullptr, 132, y - 1, 30, 12},                  \
        {updown, K::UpDown, nullptr, nullptr, 155, y - 1, 11, 12}
inline constexpr ControlTemplate kGrayPageControls[] = {
    {S, K::GroupBox, "Gain", nullptr, 0, 0, 170, 70},
    ORVIX_GRAY_GAIN_ROW("Red", 14, 2100, 2101, 2102, 9),
    ORVIX_GRAY_GAIN_ROW("Green1", 24, 2103, 2104, 2105, 24),
    ORVIX_GRAY_GAIN_ROW("Green2", 24, 2106, 2107, 2108, 39),
    ORVIX_GRAY_GAIN_ROW("Blue", 14, 2109, 2110, 2111, 54),
    {S, K::GroupBox, "Offset", nullptr, 0, 72, 170, 70},
    ORVIX_GRAY_OFFSET_ROW("Red", 14, 2112, 2113, 2114, 81),
    ORVIX_GRAY_OFFSET_ROW("Green1", 24, 2115, 2116, 2117, 96),
    ORVIX_GRAY_OFFSET_ROW("Green2", 24, 2118, 2119, 2120, 111),
    ORVIX_GRAY_OFFSET_ROW("Blue", 14, 2121, 2122, 2123, 126),
    {S, K::Label, "Filter mode", nullptr, 180, 5, 36, 8},
    {1045, K::RadioButton, "Bayer", nullptr, 180, 18, 35, 10},
    {1046, K::RadioButton, "Bayer convert", nullptr, 180, 30, 61, 10},
    {1047, K::RadioButton, "Grayscale", nullptr, 180, 42, 47, 10},
    {S, K::Label, "Auto Gain", nullptr, 180, 64, 32, 8},
    {2074, K::PushButton, nullptr, nullptr, 180, 76, 8, 8},
    {S, K::Label, "Once", nullptr, 195, 76, 18, 8},
    {1035, K::CheckBox, nullptr, nullptr, 180, 88, 8, 8},
    {S, K::Label, "All frames", nullptr, 195, 88, 32, 8},
    {S, K::Label, "Bayer Mode", nullptr, 180, 109, 39, 8},
    {1030, K::RadioButton, nullptr, nullptr, 180, 123, 8, 8},
    {1031, K::RadioButton, nullptr, nullptr, 195, 123, 8, 8},
    {1032, K::RadioButton, nullptr, nullptr, 210, 123, 8, 8},
    {1033, K::RadioButton, nullptr, nullptr, 225, 123, 8, 8},
};
#undef ORVIX_GRAY_GAIN_ROW
#undef ORVIX_GRAY_OFFSET_ROW

template <std::size_t N>
constexpr std::size_t countOf(const ControlTemplate (&)[N]) {
    return N;
}

inline constexpr DialogTemplate kDialogs[kDialogKindCount] = {
    {DialogKind::Camera, 106, 101, false, "Property", "プロパティ", 313, 229, 313, kCameraControls,
     countOf(kCameraControls)},
    {DialogKind::AnalogFrame, 111, 104, false, "Property", "プロパティ", 294, 178, 294, kAnalogFrameControls,
     countOf(kAnalogFrameControls)},
    {DialogKind::GainPage, 110, 105, true, nullptr, nullptr, 238, 126, 251, kGainPageControls,
     countOf(kGainPageControls)},
    {DialogKind::MonitorPage, 114, 115, true, nullptr, nullptr, 251, 120, 251, kMonitorPageControls,
     countOf(kMonitorPageControls)},
    {DialogKind::FilterFrame, 108, 102, false, "Property", "プロパティ", 294, 194, 294, kFilterFrameControls,
     countOf(kFilterFrameControls)},
    {DialogKind::ImagePage, 107, 103, true, nullptr, nullptr, 251, 142, 251, kImagePageControls,
     countOf(kImagePageControls)},
    {DialogKind::GrayPage, 112, 113, true, nullptr, nullptr, 251, 142, 251, kGrayPageControls,
     countOf(kGrayPageControls)},
};

// ---- list entries and tab labels ------------------------------------------------------
inline constexpr LocalText kStreamFormatTab{"Stream Format", "ストリーム形式"};
inline constexpr LocalText kColorEntries[] = {
    {"Monochrome 8bit", "白黒 8bit"}, {"Monochrome 10bit *", "白黒 10bit ※"}, {"Color 24bit", "カラー 24bit"},
    {"Color 32bit", "カラー 32bit"},  {"Color 48bit *", "カラー 48bit ※"},      {"Color 64bit *", "カラー 64bit ※"},
};
inline constexpr LocalText kSubSampleEntries[] = {{"1/1", nullptr}, {"1/2", nullptr}, {"1/4", nullptr}};
inline constexpr LocalText kClockEntries[] = {{"Nomal", "標準"}, {"Half", "ハーフ"}};
inline constexpr LocalText kCustomEntry{"Custom", "カスタム"};

inline constexpr LocalText kAnalogGainTab{"Analog Gain", nullptr};
inline constexpr LocalText kMonitorControlTab{"Monitor Control", nullptr};
inline constexpr LocalText kCameraClockEntries[] = {{"16 MHz", nullptr}, {"24 MHz", nullptr}, {"48 MHz", nullptr}};
inline constexpr LocalText kMonitorSizeEntries[] = {{"800x600", nullptr}, {"1280x1024", nullptr}};

inline constexpr LocalText kImageFilterTab{"Image Filter", nullptr};
inline constexpr LocalText kGrayFilterTab{"Gray Filter", nullptr};

} // namespace orvix::dialogs::templates
