// The image filter dialog's frame and pages, and its run.

#include "dialogs/image_filter_dialog.h"

#include "dialog_templates.h"

namespace orvix {

using namespace filter_dialog_ids;
using dialogs::DialogControls;

namespace {

struct FilterRow {
    int trackbar, edit, upDown;
    int minimum, maximum, tickFrequency;
    std::int32_t FilterSettings::*setting;
};

constexpr FilterRow kImageRows[9] = {
    {2001, 2002, 2004, -255, 255, 64, &FilterSettings::brightness},
    {2011, 2012, 2014, -127, 127, 32, &FilterSettings::contrast},
    {2021, 2022, 2024, -360, 360, 90, &FilterSettings::hue},
    {2031, 2032, 2034, -255, 255, 64, &FilterSettings::saturation},
    {2041, 2042, 2044, 0, 30, 4, &FilterSettings::sharpness},
    {2051, 2052, 2054, 0, 400, 32, &FilterSettings::bayerGainRed},
    {2061, 2062, 2063, 0, 400, 32, &FilterSettings::bayerGainGreen},
    {2071, 2072, 2073, 0, 400, 32, &FilterSettings::bayerGainBlue},
    {2081, 2082, 2084, 0, 200, 32, &FilterSettings::gamma},
};

constexpr FilterRow kGrayRows[8] = {
    {2100, 2101, 2102, 0, 400, 32, &FilterSettings::grayGainR},
    {2103, 2104, 2105, 0, 400, 32, &FilterSettings::grayGainG1},
    {2106, 2107, 2108, 0, 400, 32, &FilterSettings::grayGainG2},
    {2109, 2110, 2111, 0, 400, 32, &FilterSettings::grayGainB},
    {2112, 2113, 2114, -255, 255, 32, &FilterSettings::grayOffsetR},
    {2115, 2116, 2117, -255, 255, 32, &FilterSettings::grayOffsetG1},
    {2118, 2119, 2120, -255, 255, 32, &FilterSettings::grayOffsetG2},
    {2121, 2122, 2123, -255, 255, 32, &FilterSettings::grayOffsetB},
};

template <std::size_t N>
const FilterRow* rowOfEdit(const FilterRow (&rows)[N], int id) {
    for (const auto& row : rows)
        if (row.edit == id) return &row;
    return nullptr;
}

template <std::size_t N>
const FilterRow* rowOfTrackbar(const FilterRow (&rows)[N], int id) {
    for (const auto& row : rows)
        if (row.trackbar == id) return &row;
    return nullptr;
}

FilterSettings snapshot(const FilterAccess& access) {
    MutexLock lock(access.guard);
    return access.settings;
}

void setRow(const FilterAccess& access, const FilterRow& row, int value) {
    MutexLock lock(access.guard);
    access.settings.*row.setting = value;
}

// WM_INITDIALOG of a row: trackbar range, position and ticks, up-down range,
// position and buddy, the edit box, then the enable flag.
void initRow(DialogControls& c, const FilterRow& row, int value, bool enabled) {
    c.setTrackRange(row.trackbar, row.minimum, row.maximum);
    c.setTrackPos(row.trackbar, value);
    c.setTrackTickFrequency(row.trackbar, row.tickFrequency);
    c.setUpDownRange(row.upDown, row.minimum, row.maximum);
    c.setUpDownPos(row.upDown, static_cast<std::int16_t>(value));
    c.setUpDownBuddy(row.upDown, row.edit);
    c.setInt(row.edit, value, true);
    c.setEnabled(row.trackbar, enabled);
    c.setEnabled(row.upDown, enabled);
    c.setEnabled(row.edit, enabled);
}

template <std::size_t N>
void editChanged(DialogControls& c, const FilterAccess& access, const FilterRow (&rows)[N], int id) {
    const FilterRow* row = rowOfEdit(rows, id);
    if (!row) return;
    const int value = c.getInt(id, true);
    setRow(access, *row, value);
    c.setTrackPos(row->trackbar, value);
}

template <std::size_t N>
void scrolled(DialogControls& c, const FilterAccess& access, const FilterRow (&rows)[N], int id) {
    const FilterRow* row = rowOfTrackbar(rows, id);
    if (!row) return;
    const int value = c.trackPos(id);
    c.setInt(row->edit, value, true);
    setRow(access, *row, value);
}

template <std::size_t N>
void reloadRows(DialogControls& c, const FilterSettings& s, const FilterRow (&rows)[N]) {
    for (const auto& row : rows) c.setTrackPos(row.trackbar, s.*row.setting);
    for (const auto& row : rows) c.setInt(row.edit, s.*row.setting, true);
}

template <std::size_t N>
void storeRows(DialogControls& c, const FilterAccess& access, const FilterRow (&rows)[N]) {
    std::int32_t values[N];
    for (std::size_t i = 0; i < N; ++i) values[i] = c.getInt(rows[i].edit, true);
    MutexLock lock(access.guard);
    for (std::size_t i = 0; i < N; ++i) access.settings.*rows[i].setting = values[i];
}

void checkBayerMode(DialogControls& c, int mode) {
    if (mode >= 0 && mode <= 3) c.setChecked(kBayerMode0 + mode, true);
}

bool isBayerModeButton(int id) { return id >= kBayerMode0 && id <= kBayerMode0 + 3; }

} // namespace

FilterDialogFlags FilterDialogFlags::forColorType(int colorType) {
    const bool mono = colorType == 0 || colorType == 1;
    FilterDialogFlags flags{};
    for (int r = 0; r < 9; ++r) flags.rows[r] = true;
    if (mono) {
        for (int r : {2, 3, 5, 6, 7}) flags.rows[r] = false; // hue, saturation, the three gains
    }
    flags.colorControls = !mono;
    flags.hasGrayPage = mono;
    return flags;
}

// ---- image page -------------------------------------------------------------------------

void ImageFilterPage::init(DialogControls& controls) {
    controls_ = &controls;
    const FilterSettings s = snapshot(access_);
    for (int r = 0; r < 9; ++r) initRow(controls, kImageRows[r], s.*kImageRows[r].setting, flags_.rows[r]);
    controls.setEnabled(kOnce, flags_.colorControls);
    controls.setEnabled(kAllFrames, flags_.colorControls);
    for (int m = 0; m < 4; ++m) controls.setEnabled(kBayerMode0 + m, flags_.colorControls);
    checkBayerMode(controls, s.bayerMode);
    controls.setChecked(kAllFrames, false);
    initialized_ = true;
}

void ImageFilterPage::command(int id, int code) {
    if (!controls_) return;
    if (code == dialogs::kEditChange) {
        if (initialized_) editChanged(*controls_, access_, kImageRows, id);
        return;
    }
    if (code != dialogs::kClicked) return;
    if (isBayerModeButton(id)) {
        MutexLock lock(access_.guard);
        access_.settings.bayerMode = id - kBayerMode0;
    } else if (id == kAllFrames) {
        const bool checked = controls_->isChecked(kAllFrames);
        MutexLock lock(access_.guard);
        access_.settings.bayerGainAuto = checked ? 1 : 0;
        access_.settings.bayerGainOnce1 = access_.settings.bayerGainOnce2 = 0;
    } else if (id == kOnce) {
        {
            MutexLock lock(access_.guard);
            access_.settings.bayerGainAuto = access_.settings.bayerGainOnce1 = access_.settings.bayerGainOnce2 = 1;
        }
        controls_->setChecked(kAllFrames, false);
    }
}

void ImageFilterPage::scroll(int trackbarId) {
    if (controls_) scrolled(*controls_, access_, kImageRows, trackbarId);
}

void ImageFilterPage::reload() {
    if (!controls_) return;
    const FilterSettings s = snapshot(access_);
    reloadRows(*controls_, s, kImageRows);
    for (int m = 0; m < 4; ++m) controls_->setChecked(kBayerMode0 + m, false);
    checkBayerMode(*controls_, s.bayerMode);
}

void ImageFilterPage::store() {
    if (!controls_) return;
    storeRows(*controls_, access_, kImageRows);
    for (int m = 0; m < 4; ++m) {
        if (!controls_->isChecked(kBayerMode0 + m)) continue;
        MutexLock lock(access_.guard);
        access_.settings.bayerMode = m;
        break;
    }
}

// ---- gray page --------------------------------------------------------------------------

void GrayFilterPage::init(DialogControls& controls) {
    controls_ = &controls;
    const FilterSettings s = snapshot(access_);
    for (const auto& row : kGrayRows) initRow(controls, row, s.*row.setting, true);
    if (s.grayMode >= 0 && s.grayMode <= 2) controls.setChecked(kGrayMode0 + s.grayMode, true);
    checkBayerMode(controls, s.bayerMode);
    initialized_ = true;
}

void GrayFilterPage::command(int id, int code) {
    if (!controls_) return;
    if (code == dialogs::kEditChange) {
        if (initialized_) editChanged(*controls_, access_, kGrayRows, id);
        return;
    }
    if (code != dialogs::kClicked) return;
    MutexLock lock(access_.guard);
    FilterSettings& s = access_.settings;
    if (isBayerModeButton(id))
        s.bayerMode = id - kBayerMode0;
    else if (id >= kGrayMode0 && id <= kGrayMode0 + 2)
        s.grayMode = id - kGrayMode0;
    else if (id == kAllFrames)
        s.grayGainAuto = s.grayGainAuto == 0 ? -1 : 0;
    else if (id == kOnce)
        s.grayGainAuto = 1;
}

void GrayFilterPage::scroll(int trackbarId) {
    if (controls_) scrolled(*controls_, access_, kGrayRows, trackbarId);
}

void GrayFilterPage::reload() {
    if (controls_) reloadRows(*controls_, snapshot(access_), kGrayRows);
}

void GrayFilterPage::store() {
    if (controls_) storeRows(*controls_, access_, kGrayRows);
}

// ---- frame ------------------------------------------------------------------------------

void ImageFilterDialog::init(DialogControls& controls) {
    namespace t = dialogs::templates;
    controls_ = &controls;
    controls.insertTab(kTab, 0, t::kImageFilterTab.text(controls.language()));
    imageControls_ = controls.createPage(dialogs::DialogKind::ImagePage, kTab, imagePage_, true);
    if (flags_.hasGrayPage) {
        controls.insertTab(kTab, 1, t::kGrayFilterTab.text(controls.language()));
        grayControls_ = controls.createPage(dialogs::DialogKind::GrayPage, kTab, grayPage_, false);
    }
    postTarget_.attach(controls);
}

void ImageFilterDialog::tabChanged(int tabId) {
    if (tabId != kTab || !controls_) return;
    const int selection = controls_->currentTab(kTab);
    if (selection != 0 && selection != 1) return;
    if (imageControls_) controls_->showPage(*imageControls_, selection == 0);
    if (grayControls_) controls_->showPage(*grayControls_, selection == 1);
}

void ImageFilterDialog::command(int id, int code) {
    (void)code;
    if (!controls_) return;
    if (id == dialogs::kResultOk) {
        imagePage_.store();
        if (flags_.hasGrayPage) grayPage_.store();
        controls_->endDialog(dialogs::kResultOk);
    } else if (id == dialogs::kResultCancel) {
        controls_->endDialog(dialogs::kResultCancel);
    } else if (id == kDefault) {
        {
            MutexLock lock(access_.guard);
            FilterSettings& s = access_.settings;
            s.brightness = s.contrast = s.hue = s.saturation = s.sharpness = 0;
            s.bayerGainRed = s.bayerGainGreen = s.bayerGainBlue = s.gamma = 100;
            s.bayerMode = 3;
            if (flags_.hasGrayPage) {
                s.grayGainR = s.grayGainG1 = s.grayGainG2 = s.grayGainB = 128;
                s.grayOffsetR = s.grayOffsetG1 = s.grayOffsetG2 = s.grayOffsetB = 0;
            }
        }
        reloadPages();
    }
}

void ImageFilterDialog::reloadPages() {
    imagePage_.reload();
    if (flags_.hasGrayPage) grayPage_.reload();
}

void ImageFilterDialog::reload() {
    (void)postTarget_.post([this] { reloadPages(); });
}

} // namespace orvix
