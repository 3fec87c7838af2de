// The scripted controls host.

#include "dialogs/scripted_controls.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace orvix::test {

using dialogs::ControlKind;

ScriptedControls::ScriptedControls(dialogs::DialogKind kind, dialogs::DialogHandler& handler,
                                   dialogs::Language language)
    : kind_(kind), handler_(handler), language_(language) {
    const auto& dialog = dialogs::dialogTemplate(kind);
    for (std::size_t i = 0; i < dialog.controlCount; ++i) {
        const auto& c = dialog.controls[i];
        if (c.id == dialogs::kStaticId) continue;
        Control& control = controls_[c.id];
        if (c.english) control.text = c.text(language);
    }
}

const dialogs::ControlTemplate& ScriptedControls::describe(int id) const {
    const dialogs::ControlTemplate* c = dialogs::dialogTemplate(kind_).control(id);
    if (!c) throw std::out_of_range("no control " + std::to_string(id));
    return *c;
}

ScriptedControls::Control& ScriptedControls::at(int id) {
    (void)describe(id);
    return controls_[id];
}

const ScriptedControls::Control& ScriptedControls::control(int id) const {
    (void)describe(id);
    return controls_.at(id);
}

void ScriptedControls::setText(int id, const std::string& utf8) {
    at(id).text = utf8;
    const ControlKind kind = describe(id).kind;
    if (kind == ControlKind::Edit || kind == ControlKind::NumberEdit || kind == ControlKind::ReadOnlyEdit)
        handler_.command(id, dialogs::kEditChange);
}

void ScriptedControls::setInt(int id, int value, bool isSigned) {
    setText(id, isSigned ? std::to_string(value) : std::to_string(static_cast<unsigned>(value)));
}

int ScriptedControls::getInt(int id, bool isSigned) const {
    const std::string& text = control(id).text;
    if (text.empty()) return 0;
    if (!isSigned && text[0] == '-') return 0;
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != '\0' || errno) return 0;
    return static_cast<int>(value);
}

void ScriptedControls::clearList(int id) {
    at(id).items.clear();
    at(id).selection = -1;
}

void ScriptedControls::insertListItem(int id, int index, const std::string& utf8) {
    auto& items = at(id).items;
    ASSERT_LE(index, static_cast<int>(items.size()));
    items.insert(items.begin() + index, utf8);
}

void ScriptedControls::deleteListItem(int id, int index) {
    auto& c = at(id);
    ASSERT_LT(index, static_cast<int>(c.items.size()));
    c.items.erase(c.items.begin() + index);
    if (c.selection == index) c.selection = -1;
}

void ScriptedControls::selectListItem(int id, int index) {
    auto& c = at(id);
    c.selection = index >= 0 && index < static_cast<int>(c.items.size()) ? index : -1;
}

std::string ScriptedControls::listItem(int id, int index) const {
    const auto& items = control(id).items;
    return index >= 0 && index < static_cast<int>(items.size()) ? items[static_cast<std::size_t>(index)] : "";
}

void ScriptedControls::setTrackRange(int id, int minimum, int maximum) {
    auto& c = at(id);
    c.trackMin = minimum;
    c.trackMax = maximum;
    setTrackPos(id, c.trackPos);
}

void ScriptedControls::setTrackPos(int id, int position) {
    auto& c = at(id);
    c.trackPos = std::clamp(position, c.trackMin, std::max(c.trackMin, c.trackMax));
}

void ScriptedControls::setUpDownRange(int id, int minimum, int maximum) {
    at(id).upDownMin = minimum;
    at(id).upDownMax = maximum;
}

void ScriptedControls::insertTab(int tabId, int index, const std::string& utf8) {
    auto& tabs = at(tabId).tabs;
    tabs.insert(tabs.begin() + std::min<std::size_t>(static_cast<std::size_t>(index), tabs.size()), utf8);
}

dialogs::DialogControls* ScriptedControls::createPage(dialogs::DialogKind page, int tabId,
                                                      dialogs::DialogHandler& handler, bool visible) {
    (void)at(tabId);
    pages_.push_back(std::make_unique<ScriptedControls>(page, handler, language_));
    ScriptedControls* created = pages_.back().get();
    created->visible = visible;
    handler.init(*created);
    return created;
}

void ScriptedControls::showPage(DialogControls& page, bool visible) {
    static_cast<ScriptedControls&>(page).visible = visible;
}

bool ScriptedControls::isPageVisible(const DialogControls& page) const {
    return static_cast<const ScriptedControls&>(page).visible;
}

ScriptedControls* ScriptedControls::page(dialogs::DialogKind kind) const {
    for (const auto& p : pages_)
        if (p->kind_ == kind) return p.get();
    return nullptr;
}

void ScriptedControls::post(std::function<void()> task) { posted_.push_back(std::move(task)); }

void ScriptedControls::runPosted() {
    while (!posted_.empty()) {
        auto task = std::move(posted_.front());
        posted_.pop_front();
        task();
    }
}

// ---- the user --------------------------------------------------------------------------

void ScriptedControls::type(int id, const std::string& text) {
    ASSERT_TRUE(control(id).enabled) << "control " << id << " is disabled";
    setText(id, text);
}

void ScriptedControls::click(int id) {
    ASSERT_TRUE(control(id).enabled) << "control " << id << " is disabled";
    const ControlKind kind = describe(id).kind;
    if (kind == ControlKind::CheckBox || kind == ControlKind::PushLikeCheckBox) {
        at(id).checked = !at(id).checked;
    } else if (kind == ControlKind::RadioButton) {
        // The group is the run of radio buttons around this one in template order.
        const auto& dialog = dialogs::dialogTemplate(kind_);
        std::size_t index = 0;
        while (dialog.controls[index].id != id) ++index;
        std::size_t first = index, last = index;
        while (first > 0 && dialog.controls[first - 1].kind == ControlKind::RadioButton) --first;
        while (last + 1 < dialog.controlCount && dialog.controls[last + 1].kind == ControlKind::RadioButton) ++last;
        for (std::size_t i = first; i <= last; ++i) at(dialog.controls[i].id).checked = dialog.controls[i].id == id;
    }
    handler_.command(id, dialogs::kClicked);
}

void ScriptedControls::choose(int id, int index) {
    ASSERT_TRUE(control(id).enabled) << "control " << id << " is disabled";
    selectListItem(id, index);
    handler_.command(id, dialogs::kSelectionChange);
}

void ScriptedControls::drag(int trackbar, int position) {
    ASSERT_TRUE(control(trackbar).enabled) << "control " << trackbar << " is disabled";
    setTrackPos(trackbar, position);
    handler_.scroll(trackbar);
}

void ScriptedControls::selectTab(int tabId, int index) {
    at(tabId).currentTab = index;
    handler_.tabChanged(tabId);
}

dialogs::ModalRunner scriptedRunner(std::function<void(ScriptedControls&)> script, dialogs::Language language) {
    return [script = std::move(script), language](dialogs::DialogKind frame, platform::WindowHandle,
                                                  dialogs::DialogHandler& handler) {
        ScriptedControls controls(frame, handler, language);
        handler.init(controls);
        script(controls);
        handler.closing();
        return controls.result();
    };
}

dialogs::ModalRunner failingRunner() {
    return [](dialogs::DialogKind, platform::WindowHandle, dialogs::DialogHandler&) { return -1; };
}

} // namespace orvix::test
