// The analog gain dialog's frame and pages, and its run.

#include "dialogs/analog_gain_dialog.h"

#include "device/device_link.h"
#include "device/gain_store.h"
#include "device/monitor_timing.h"
#include "dialog_templates.h"

namespace orvix {

using namespace analog_dialog_ids;
using dialogs::DialogControls;

namespace {

struct GainRow {
    int trackbar, edit, upDown;
    std::int32_t GainBlock::*field;
    bool colour; // range 0..0, nothing sent to the camera
};

constexpr GainRow kGainRows[] = {
    {kGlobalTrack, kGlobalEdit, kGlobalUpDown, &GainBlock::globalGain, false},
    {1018, 1019, 1039, &GainBlock::colorGainGreen1, true},
    {1020, 1021, 1040, &GainBlock::colorGainRed, true},
    {1022, 1023, 1041, &GainBlock::colorGainBlue, true},
    {1024, 1025, 1042, &GainBlock::colorGainGreen2, true},
    {kExposureTrack, kExposureEdit, kExposureUpDown, &GainBlock::exposure, false},
};

const GainRow* gainRowOfEdit(int id) {
    for (const auto& row : kGainRows)
        if (row.edit == id) return &row;
    return nullptr;
}

const GainRow* gainRowOfTrackbar(int id) {
    for (const auto& row : kGainRows)
        if (row.trackbar == id) return &row;
    return nullptr;
}

struct BayerRow {
    int trackbar, edit, upDown;
    std::uint8_t reg;
};

constexpr BayerRow kBayerRows[] = {
    {2051, 2052, 2054, 0x62},
    {2061, 2062, 2063, 0x64},
    {2071, 2072, 2073, 0x66},
};

constexpr std::uint8_t kColorProcessing = 0x60;
constexpr std::uint8_t kCameraClockRegister = 0xA0;
constexpr std::uint8_t kPreviewModeRegister = 0xA2;
constexpr std::uint8_t kMonitorWidthRegister = 0x24;

} // namespace

// ---- "Analog Gain" page ---------------------------------------------------------------

void AnalogGainPage::init(DialogControls& controls) {
    controls_ = &controls;
    setupRows();
    GainBlock block;
    {
        MutexLock lock(access_.guard);
        block = access_.gains;
    }
    controls.setChecked(kMirrorV, block.mirrorV != 0);
    if (block.autoIris == 1) controls.setChecked(kIrisExposure, true);
    if (block.autoIris == 2) controls.setChecked(kIrisGain, true);
    initialized_ = true;
}

void AnalogGainPage::setupRows() {
    GainBlock block;
    {
        MutexLock lock(access_.guard);
        block = access_.gains;
    }
    for (const auto& row : kGainRows) {
        int minimum = 0, maximum = 0;
        if (row.field == &GainBlock::globalGain) {
            minimum = DeviceLink::globalGainMin();
            maximum = DeviceLink::globalGainMax();
        } else if (row.field == &GainBlock::exposure) {
            minimum = DeviceLink::exposureMin();
            maximum = DeviceLink::exposureMax();
        }
        dialogs::setupSlider(*controls_, row.trackbar, row.upDown, row.edit, minimum, maximum, block.*row.field,
                             true);
    }
}

void AnalogGainPage::reload() {
    if (!controls_) return;
    GainBlock block;
    {
        MutexLock lock(access_.guard);
        block = access_.gains;
    }
    const bool was = initialized_;
    initialized_ = false;
    for (const auto& row : kGainRows) {
        controls_->setTrackPos(row.trackbar, block.*row.field);
        controls_->setInt(row.edit, block.*row.field, true);
    }
    initialized_ = was;
}

void AnalogGainPage::store() {
    if (!controls_) return;
    MutexLock lock(access_.guard);
    for (const auto& row : kGainRows) access_.gains.*row.field = controls_->getInt(row.edit, true);
}

void AnalogGainPage::showValue(int editId, int value) {
    if (controls_) controls_->setInt(editId, value, true);
}

void AnalogGainPage::scroll(int trackbarId) {
    const GainRow* row = gainRowOfTrackbar(trackbarId);
    if (row && controls_) controls_->setInt(row->edit, controls_->trackPos(trackbarId), true);
}

void AnalogGainPage::command(int id, int code) {
    if (!controls_) return;
    if (code == dialogs::kEditChange) {
        if (initialized_) editChanged(id);
        return;
    }
    if (code != dialogs::kClicked) return;
    if (id == kMirrorV) {
        const int mirror = controls_->isChecked(kMirrorV) ? 1 : 0;
        {
            MutexLock lock(access_.guard);
            access_.gains.mirrorV = mirror;
        }
        (void)access_.link.setMirrorV(mirror);
    } else if (id == kIrisGain || id == kIrisExposure) {
        const bool checked = controls_->isChecked(id);
        if (checked) controls_->setChecked(id == kIrisGain ? kIrisExposure : kIrisGain, false);
        MutexLock lock(access_.guard);
        access_.gains.autoIris = checked ? (id == kIrisGain ? 2 : 1) : 0;
    }
}

void AnalogGainPage::editChanged(int editId) {
    const GainRow* row = gainRowOfEdit(editId);
    if (!row) return;
    const int value = controls_->getInt(editId, true);
    {
        MutexLock lock(access_.guard);
        access_.gains.*row->field = value;
    }
    controls_->setTrackPos(row->trackbar, value);
    if (row->field == &GainBlock::globalGain) {
        (void)access_.link.setGlobalGain(value);
        // The colour gains follow the global gain.
        for (const auto& colour : kGainRows)
            if (colour.colour) controls_->setInt(colour.edit, value, true);
    } else if (row->field == &GainBlock::exposure) {
        (void)access_.link.setExposure(value);
    }
}

// ---- "Monitor Control" page -----------------------------------------------------------

std::uint16_t MonitorControlPage::read(std::uint8_t address) {
    std::uint16_t value = 0;
    if (link_.readFpgaRegister(address, &value) != 1) value = 0;
    return value;
}

void MonitorControlPage::write(std::uint8_t address, std::uint16_t value) {
    (void)link_.writeFpgaRegister(address, value);
}

void MonitorControlPage::setGainControlsEnabled(bool enabled) {
    for (const auto& row : kBayerRows) {
        controls_->setEnabled(row.trackbar, enabled);
        controls_->setEnabled(row.edit, enabled);
        controls_->setEnabled(row.upDown, enabled);
    }
}

void MonitorControlPage::init(DialogControls& controls) {
    namespace t = dialogs::templates;
    controls_ = &controls;
    const dialogs::Language language = controls.language();
    const std::uint16_t processing = read(kColorProcessing);
    if (processing & 1)
        controls.setEnabled(kAwb, false);
    else
        controls.setChecked(kColor, true);
    if (!(processing & 4)) controls.setChecked(kLock, true);

    for (const auto& entry : t::kMonitorSizeEntries) controls.addListItem(kMonitorSize, entry.text(language));
    controls.selectListItem(kMonitorSize, read(kMonitorWidthRegister) == 800 ? 0 : 1);

    for (const auto& entry : t::kCameraClockEntries) controls.addListItem(kCameraClock, entry.text(language));
    const int clockCode = (read(kCameraClockRegister) >> 8) & 0xF;
    controls.selectListItem(kCameraClock, clockCode == 2 ? 1 : clockCode == 5 ? 2 : 0);

    for (const auto& row : kBayerRows)
        dialogs::setupSlider(controls, row.trackbar, row.upDown, row.edit, 0, 1023, read(row.reg), true);
    if (processing & 2) {
        controls.setChecked(kAwb, true);
        setGainControlsEnabled(false);
    }
    controls.setChecked(kLive, true);
    initialized_ = true;
}

void MonitorControlPage::scroll(int trackbarId) {
    for (const auto& row : kBayerRows)
        if (row.trackbar == trackbarId) controls_->setInt(row.edit, controls_->trackPos(trackbarId), true);
}

void MonitorControlPage::command(int id, int code) {
    if (!controls_) return;
    if (code == dialogs::kEditChange) {
        if (!initialized_) return;
        for (const auto& row : kBayerRows) {
            if (row.edit != id) continue;
            const int value = controls_->getInt(id, true);
            controls_->setTrackPos(row.trackbar, value);
            write(row.reg, static_cast<std::uint16_t>(value));
        }
        return;
    }
    if (code == dialogs::kSelectionChange) {
        if (!initialized_) return;
        if (id == kMonitorSize) writeMonitorSize(controls_->listSelection(kMonitorSize));
        if (id == kCameraClock) writeCameraClock(controls_->listSelection(kCameraClock));
        return;
    }
    if (code != dialogs::kClicked) return;
    switch (id) {
    case kColor:
    case kAwb: colorOrAwbClicked(); break;
    case kLock: {
        const std::uint16_t v = read(kColorProcessing);
        write(kColorProcessing, controls_->isChecked(kLock) ? v & 0xFFFB : v | 4);
        break;
    }
    case kLive:
        write(kPreviewModeRegister, static_cast<std::uint16_t>((read(kPreviewModeRegister) & 0xFFFE) | 0x12));
        controls_->setChecked(kLive, true);
        break;
    case kStill: {
        write(kPreviewModeRegister, read(kPreviewModeRegister) & 0xFFEC);
        const std::uint16_t w = read(kPreviewModeRegister) | 1;
        write(kPreviewModeRegister, w);
        write(kPreviewModeRegister, w & 0xFFFE);
        controls_->setChecked(kLive, false);
        break;
    }
    case kWrite: writeCameraGainAndExposure(); break;
    default: break;
    }
}

void MonitorControlPage::colorOrAwbClicked() {
    const bool colour = controls_->isChecked(kColor);
    const bool awb = controls_->isChecked(kAwb);
    controls_->setEnabled(kAwb, colour);
    if (colour && !awb) {
        for (const auto& row : kBayerRows) controls_->setTrackPos(row.trackbar, read(row.reg));
        setGainControlsEnabled(true);
    } else {
        setGainControlsEnabled(false);
    }
    write(kColorProcessing, static_cast<std::uint16_t>((colour ? 0x10 : 0x01) | (awb ? 0x02 : 0)));
}

void MonitorControlPage::writeCameraGainAndExposure() {
    GainBlock block;
    {
        MutexLock lock(access_.guard);
        block = access_.gains;
    }
    write(0xC0, 9);
    write(0xC1, static_cast<std::uint16_t>((block.exposure >> 8) & 0xFF));
    write(0xC2, static_cast<std::uint16_t>(block.exposure & 0xFF));
    write(0xC3, 0x35);
    write(0xC4, static_cast<std::uint16_t>((block.globalGain >> 8) & 0xFF));
    write(0xC5, static_cast<std::uint16_t>(block.globalGain & 0xFF));
    const std::uint16_t c = read(0xE4);
    write(0xE4, c | 1);
    write(0xE4, c & 0xFFFE);
}

void MonitorControlPage::writeMonitorSize(int index) {
    // List entries: 800 x 600, then 1280 x 1024.
    const TimingTable* table = nullptr;
    if (index == 0) table = monitorTimingFor(800, 600);
    if (index == 1) table = monitorTimingFor(1280, 1024);
    if (table) (void)writeMonitorTiming(link_, *table);
}

void MonitorControlPage::writeCameraClock(int index) {
    const std::uint16_t v = read(kCameraClockRegister);
    if (index == 1) write(kCameraClockRegister, static_cast<std::uint16_t>((v & 0xF0FF) | 0x200));
    if (index == 2) write(kCameraClockRegister, static_cast<std::uint16_t>((v & 0xF0FF) | 0x500));
    if (index == 0) write(kCameraClockRegister, 0);
}

// ---- frame ------------------------------------------------------------------------------

void AnalogGainDialog::init(DialogControls& controls) {
    namespace t = dialogs::templates;
    controls_ = &controls;
    controls.insertTab(kTab, 0, t::kAnalogGainTab.text(controls.language()));
    controls.insertTab(kTab, 1, t::kMonitorControlTab.text(controls.language()));
    gainControls_ = controls.createPage(dialogs::DialogKind::GainPage, kTab, gainPage_, true);
    monitorControls_ = controls.createPage(dialogs::DialogKind::MonitorPage, kTab, monitorPage_, false);
    postTarget_.attach(controls);
}

void AnalogGainDialog::tabChanged(int tabId) {
    if (tabId != kTab || !controls_) return;
    const int selection = controls_->currentTab(kTab);
    if (selection != 0 && selection != 1) return;
    if (gainControls_) controls_->showPage(*gainControls_, selection == 0);
    if (monitorControls_) controls_->showPage(*monitorControls_, selection == 1);
}

void AnalogGainDialog::command(int id, int code) {
    (void)code;
    if (!controls_) return;
    if (id == dialogs::kResultOk) {
        gainPage_.store();
        controls_->endDialog(dialogs::kResultOk);
    } else if (id == dialogs::kResultCancel) {
        controls_->endDialog(dialogs::kResultCancel);
    } else if (id == kDefault) {
        {
            MutexLock lock(access_.guard);
            GainBlock& g = access_.gains;
            g.globalGain = kDefaultGlobalGain;
            g.colorGainGreen1 = g.colorGainRed = g.colorGainBlue = g.colorGainGreen2 = 0;
            g.exposure = kDefaultExposure;
        }
        (void)access_.link.setGlobalGain(kDefaultGlobalGain);
        (void)access_.link.setExposure(kDefaultExposure);
        gainPage_.reload();
    }
}

void AnalogGainDialog::showGlobalGain(int value) {
    (void)postTarget_.post([this, value] { gainPage_.showValue(kGlobalEdit, value); });
}

void AnalogGainDialog::showExposure(int value) {
    (void)postTarget_.post([this, value] { gainPage_.showValue(kExposureEdit, value); });
}

} // namespace orvix
