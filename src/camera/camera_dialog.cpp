// The camera settings dialog's model.

#include "camera/camera_dialog.h"

#include <cstdio>

#include "dialog_templates.h"

namespace orvix {

using namespace camera_dialog_ids;
using dialogs::DialogControls;

namespace {

constexpr VideoFormat kBlankRecord{0, 0, 0, 0, 0, 0, 10};

} // namespace

std::string CameraDialog::labelOf(const VideoFormat& format) {
    char label[32];
    std::snprintf(label, sizeof label, "%d x %d", format.hEffective, format.vEffective);
    return label;
}

void CameraDialog::init(DialogControls& controls) {
    namespace t = dialogs::templates;
    controls_ = &controls;
    const dialogs::Language language = controls.language();
    (void)state_.load();
    storedSelection_ = state_.selectedFormat;

    controls.insertTab(kTab, 0, t::kStreamFormatTab.text(language));
    for (const auto& entry : t::kColorEntries) controls.addListItem(kColor, entry.text(language));
    controls.selectListItem(kColor, state_.color);
    for (const auto& entry : t::kSubSampleEntries) controls.addListItem(kSubSample, entry.text(language));
    controls.selectListItem(kSubSample, state_.subSample);
    for (const auto& entry : t::kClockEntries) controls.addListItem(kClock, entry.text(language));
    controls.selectListItem(kClock, state_.clock);
    for (int n = 0; n < state_.formatCount; ++n)
        controls.addListItem(kSize, labelOf(state_.formats[static_cast<std::size_t>(n)]));
    controls.addListItem(kSize, t::kCustomEntry.text(language));
    controls.selectListItem(kSize, state_.selectedFormat);
    showRecord(state_.selectedFormat);
    controls.setInt(kWaitTime, state_.waitTime, false);
    controls.setEnabled(kApply, false);
}

// Edits 1039 to 1044 from a record; "Custom" past a full list shows a blank record.
void CameraDialog::showRecord(int index) {
    const VideoFormat& record =
        index >= 0 && index < CameraDialogState::kMaxFormats ? state_.formats[static_cast<std::size_t>(index)] : kBlankRecord;
    const std::int32_t values[6] = {record.hTotal,     record.vTotal, record.hEffective,
                                    record.vEffective, record.hStart, record.vStart};
    for (int i = 0; i < 6; ++i) controls_->setInt(kHTotal + i, values[i], false);
}

void CameraDialog::command(int id, int code) {
    if (!controls_) return;
    if (id == dialogs::kResultOk) {
        applyAndSave();
        controls_->endDialog(dialogs::kResultOk);
        return;
    }
    if (id == dialogs::kResultCancel) {
        controls_->endDialog(dialogs::kResultCancel);
        return;
    }
    if (id == kApply) applyAndSave();
    if (code == dialogs::kSelectionChange) {
        if (id == kSize) {
            state_.selectedFormat = controls_->listSelection(kSize);
            if (state_.selectedFormat != state_.formatCount) showRecord(state_.selectedFormat);
        }
        controls_->setEnabled(kApply, true);
    }
    if (code == dialogs::kEditChange) controls_->setEnabled(kApply, true);
}

void CameraDialog::applyAndSave() {
    applyControls();
    if (state_.save()) storedSelection_ = state_.selectedFormat;
}

void CameraDialog::applyControls() {
    DialogControls& c = *controls_;
    state_.color = c.listSelection(kColor);
    const int size = c.listSelection(kSize);
    if (size >= 0) state_.selectedFormat = size;
    state_.subSample = c.listSelection(kSubSample);
    state_.clock = c.listSelection(kClock);
    state_.waitTime = c.getInt(kWaitTime, false);

    const bool custom = state_.selectedFormat == state_.formatCount;
    if (custom && !state_.canAddFormat()) {
        // The list is full: no 101st record. The stored selection stays chosen.
        state_.selectedFormat = storedSelection_;
        c.selectListItem(kSize, state_.selectedFormat);
        showRecord(state_.selectedFormat);
    } else if (state_.selectedFormat >= 0 && state_.selectedFormat <= state_.formatCount) {
        const int index = state_.selectedFormat;
        VideoFormat& record = state_.formats[static_cast<std::size_t>(index)];
        record.hTotal = c.getInt(kHTotal, false);
        record.vTotal = c.getInt(kHTotal + 1, false);
        record.hEffective = c.getInt(kHTotal + 2, false);
        record.vEffective = c.getInt(kHTotal + 3, false);
        record.hStart = c.getInt(kHTotal + 4, false);
        record.vStart = c.getInt(kHTotal + 5, false);
        if (custom) {
            c.insertListItem(kSize, index, labelOf(record));
            ++state_.formatCount;
        } else {
            c.deleteListItem(kSize, index);
            c.insertListItem(kSize, index, labelOf(record));
        }
        c.selectListItem(kSize, index);
    }
    c.setEnabled(kApply, false);
}

} // namespace orvix
