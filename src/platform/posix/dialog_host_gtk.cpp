// GTK 3 dialog host: each template becomes a window (frames) or a fixed-layout
// panel over the frame's tab control (pages), with widgets at the template's
// positions. The widgets behave as the Win32 controls of the templates: changes
// made by the program notify nothing, except edit boxes, which notify every change.
//
// Layout: dialog units are turned into pixels of the font the dialogs are drawn in,
// as Windows does for its dialog font, so the templates keep their proportions to
// the text. A text that is still wider than its control takes the free room beside
// it (to the right, else to the left) within its group box or dialog, and wraps only
// when there is none. Up-down controls sit at the right end of their buddy edit box,
// which narrows by their width, as the Win32 control aligned right does.

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dialog_controls.h"
#include "platform/dialog_host.h"

namespace orvix::platform {

namespace {

using dialogs::ControlKind;
using dialogs::ControlTemplate;
using dialogs::DialogControls;
using dialogs::DialogHandler;
using dialogs::DialogKind;
using dialogs::Language;

constexpr const char* kStyleSheet =
    "* { font-size: 8pt; }\n"
    "button, entry, combobox button, spinbutton { min-height: 0; min-width: 0; padding: 0 2px; }\n"
    "scale { min-height: 0; padding: 0; margin: 0; }\n"
    "scale slider { min-width: 8px; min-height: 8px; margin: -4px; }\n"
    "scale trough { min-height: 2px; }\n"
    "notebook tab { min-height: 0; padding: 3px 8px 5px; }\n"
    "check, radio { min-width: 10px; min-height: 10px; margin: 0; }\n"
    "checkbutton check:not(:last-child), radiobutton radio:not(:last-child) { margin-right: 4px; }\n"
    "checkbutton, radiobutton { padding: 0; }\n"
    "frame > label { margin: 0; }\n"
    ".orvix-updown button { padding: 0; min-height: 0; min-width: 0; border-radius: 0; }\n";

GtkCssProvider* styleProvider() {
    static GtkCssProvider* provider = [] {
        GtkCssProvider* css = gtk_css_provider_new();
        gtk_css_provider_load_from_data(css, kStyleSheet, -1, nullptr);
        return css;
    }();
    return provider;
}

void applyStyle(GtkWidget* widget, gpointer = nullptr) {
    gtk_style_context_add_provider(gtk_widget_get_style_context(widget), GTK_STYLE_PROVIDER(styleProvider()),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    if (GTK_IS_CONTAINER(widget)) gtk_container_forall(GTK_CONTAINER(widget), applyStyle, nullptr);
}

// ---- dialog units and control rectangles ------------------------------------------------

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
    int right() const { return x + width; }
    int bottom() const { return y + height; }
    bool contains(const Rect& r) const { return r.x >= x && r.y >= y && r.right() <= right() && r.bottom() <= bottom(); }
    bool sharesRowsWith(const Rect& r) const { return y < r.bottom() && r.y < bottom(); }
};

// Base units of the dialog font as Windows measures its dialog font: the average
// width of the 52 Latin letters and the height of a line (of the language's script
// too, whose glyphs may stand taller); a dialog unit is a quarter of the first across
// and an eighth of the second down.
struct DialogUnits {
    int baseX;
    int baseY;
    int x(int units) const { return (units * baseX + 2) / 4; }
    int y(int units) const { return (units * baseY + 4) / 8; }
    Rect rect(int x0, int y0, int width, int height) const {
        return {x(x0), y(y0), x(x0 + width) - x(x0), y(y0 + height) - y(y0)};
    }
};

DialogUnits measureDialogUnits(Language language) {
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    GtkWidget* probe = gtk_label_new(nullptr);
    g_object_ref_sink(probe);
    applyStyle(probe);
    PangoLayout* layout = gtk_widget_create_pango_layout(probe, kLetters);
    int width = 0;
    int height = 0;
    pango_layout_get_pixel_size(layout, &width, &height);
    if (language == Language::Japanese) {
        int unused = 0;
        pango_layout_set_text(layout, "\u65E5\u672C\u8A9E\u3042Ag", -1); // kanji, kana and Latin
        pango_layout_get_pixel_size(layout, &unused, &height);
    }
    g_object_unref(layout);
    g_object_unref(probe);
    return DialogUnits{std::max(1, (width + 26) / 52), std::max(1, height)};
}

// Measured once per language, on the thread that uses GTK, in the style sheet's font.
const DialogUnits& dialogUnits(Language language) {
    static const DialogUnits english = measureDialogUnits(Language::English);
    static const DialogUnits japanese = measureDialogUnits(Language::Japanese);
    return language == Language::Japanese ? japanese : english;
}

// Room kept between a grown text and its neighbours or the edge of its box.
constexpr int kTextGap = 3;
// Inner margin of a group box's frame, and of the dialog edge.
constexpr int kFrameMargin = 4;

bool isFrame(ControlKind kind) { return kind == ControlKind::GroupBox || kind == ControlKind::Tab; }
bool carriesText(ControlKind kind) {
    return kind == ControlKind::Label || kind == ControlKind::CheckBox || kind == ControlKind::RadioButton;
}

// A control as placed: its widget, the rectangle the template gives it in pixels and
// the one it has now.
struct Placed {
    GtkWidget* widget;
    ControlKind kind;
    Rect planned;
    Rect rect;
};

// The narrowest width the widget can be drawn in, ignoring the size it was asked for.
int minimumWidth(GtkWidget* widget) {
    int requestWidth = -1;
    int requestHeight = -1;
    gtk_widget_get_size_request(widget, &requestWidth, &requestHeight);
    gtk_widget_set_size_request(widget, -1, -1);
    int minimum = 0;
    int natural = 0;
    gtk_widget_get_preferred_width(widget, &minimum, &natural);
    gtk_widget_set_size_request(widget, requestWidth, requestHeight);
    return minimum;
}

// Gives a text control the width its text needs out of the free room beside it: its
// innermost group box (or the dialog) bounds it, other controls on its rows stop it.
// Without room for one line, the text wraps within the room and grows downwards.
void fitText(Placed& text, std::vector<Placed>& all, const Rect& dialog) {
    const int needed = minimumWidth(text.widget);
    if (needed <= text.rect.width) return;
    Rect area{dialog.x + kFrameMargin, dialog.y, dialog.width - 2 * kFrameMargin, dialog.height};
    for (const Placed& other : all) {
        if (isFrame(other.kind) && other.rect.contains(text.rect) && area.contains(other.rect))
            area = {other.rect.x + kFrameMargin, other.rect.y, other.rect.width - 2 * kFrameMargin, other.rect.height};
    }
    int left = area.x;
    int right = area.right();
    int below = area.bottom() - kFrameMargin;
    for (const Placed& other : all) {
        if (&other == &text || (isFrame(other.kind) && other.rect.contains(text.rect))) continue;
        if (other.rect.sharesRowsWith(text.rect)) {
            if (other.rect.x > text.rect.x) right = std::min(right, other.rect.x - kTextGap);
            else if (other.rect.right() <= text.rect.x) left = std::max(left, other.rect.right() + kTextGap);
        } else if (other.rect.y >= text.rect.bottom()) {
            below = std::min(below, other.rect.y - kTextGap);
        }
    }
    if (text.rect.x + needed <= right) {
        text.rect.width = needed;
    } else if (right - needed >= left) {
        text.rect.x = right - needed;
        text.rect.width = needed;
    } else if (GTK_IS_LABEL(text.widget)) {
        text.rect.x = left;
        text.rect.width = right - left;
        gtk_label_set_line_wrap(GTK_LABEL(text.widget), TRUE);
        gtk_label_set_max_width_chars(GTK_LABEL(text.widget), 1);
        int minimum = 0;
        int natural = 0;
        gtk_widget_get_preferred_height_for_width(text.widget, text.rect.width, &minimum, &natural);
        text.rect.height = std::max(text.rect.height, std::min(minimum, below - text.rect.y));
    }
}

// "&Name" of the templates becomes GTK's "_Name"; a literal "_" doubles.
std::string mnemonicOf(const char* text) {
    std::string out;
    for (const char* p = text ? text : ""; *p; ++p) {
        if (*p == '&') {
            if (p[1] == '&') {
                out += '&';
                ++p;
            } else {
                out += '_';
            }
        } else if (*p == '_') {
            out += "__";
        } else {
            out += *p;
        }
    }
    return out;
}

// GTK is set up on first use; a failed set-up (no display) is tried again next time.
bool gtkReady() {
    static bool ready = false;
    if (!ready) ready = gtk_init_check(nullptr, nullptr) != FALSE;
    return ready;
}

class GtkDialog;

struct Control {
    int id;
    ControlKind kind;
    GtkWidget* widget = nullptr;
    GtkWidget* noneRadio = nullptr; // hidden member of a radio group: "none checked"
    // Up-down state.
    int minimum = 0, maximum = 100, position = 0, buddy = 0;
    GtkDialog* owner = nullptr;
};

class GtkDialog final : public DialogControls {
public:
    GtkDialog(DialogKind kind, DialogHandler& handler, Language language, GtkDialog* frame)
        : kind_(kind), handler_(handler), language_(language), frame_(frame) {}
    ~GtkDialog() override {
        for (guint source : sources_) g_source_remove(source);
        if (window_) gtk_widget_destroy(window_);
    }

    // Builds the widgets; a frame makes its window, a page a panel for the frame.
    void build() {
        const dialogs::DialogTemplate& dialog = dialogs::dialogTemplate(kind_);
        const DialogUnits& units = dialogUnits(language_);
        bounds_ = units.rect(0, 0, dialog.widthIn(language_), dialog.height);
        fixed_ = gtk_fixed_new();
        gtk_widget_set_size_request(fixed_, bounds_.width, bounds_.height);
        if (!frame_) {
            window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
            gtk_window_set_title(GTK_WINDOW(window_), dialog.title(language_));
            gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
            gtk_window_set_modal(GTK_WINDOW(window_), TRUE);
            gtk_window_set_type_hint(GTK_WINDOW(window_), GDK_WINDOW_TYPE_HINT_DIALOG);
            gtk_container_add(GTK_CONTAINER(window_), fixed_);
            g_signal_connect(window_, "delete-event", G_CALLBACK(onDelete), this);
            g_signal_connect(window_, "key-press-event", G_CALLBACK(onKey), this);
        }
        GSList* radioGroup = nullptr;
        GtkWidget* noneRadio = nullptr;
        for (std::size_t i = 0; i < dialog.controlCount; ++i) {
            const ControlTemplate& t = dialog.controls[i];
            if (t.kind != ControlKind::RadioButton) radioGroup = nullptr;
            if (t.kind == ControlKind::RadioButton && !radioGroup) {
                noneRadio = gtk_radio_button_new(nullptr);
                radioGroup = gtk_radio_button_get_group(GTK_RADIO_BUTTON(noneRadio));
                g_object_ref_sink(noneRadio);
                hiddenRadios_.push_back(noneRadio);
            }
            GtkWidget* widget = makeWidget(t, radioGroup);
            gtk_widget_show_all(widget); // hidden widgets measure 0 wide
            if (t.kind == ControlKind::RadioButton) radioGroup = gtk_radio_button_get_group(GTK_RADIO_BUTTON(widget));
            // A drop-down list's template height is that of its open list.
            const int height = t.kind == ControlKind::DropDownList ? 12 : t.height;
            const Rect rect = units.rect(t.x, t.y, t.width, height);
            placed_.push_back({widget, t.kind, rect, rect});
            gtk_widget_set_size_request(widget, rect.width, rect.height);
            gtk_fixed_put(GTK_FIXED(fixed_), widget, rect.x, rect.y);
            if (t.id == dialogs::kStaticId) continue;
            // The control id as the widget's name, so a window can be read back by ids.
            gtk_widget_set_name(widget, std::to_string(t.id).c_str());
            auto control = std::make_unique<Control>();
            control->id = t.id;
            control->kind = t.kind;
            control->widget = widget;
            control->owner = this;
            if (t.kind == ControlKind::RadioButton) control->noneRadio = noneRadio;
            connect(*control);
            controls_[t.id] = std::move(control);
        }
        applyStyle(fixed_);
        for (Placed& placed : placed_)
            if (carriesText(placed.kind)) {
                fitText(placed, placed_, bounds_);
                move(placed);
            }
    }

    GtkWidget* window() const { return window_; }
    GtkWidget* fixed() const { return fixed_; }
    int result() const { return result_; }

    bool open(WindowHandle owner) {
        GdkDisplay* display = gdk_display_get_default();
        if (owner && !ownerExists(display, owner)) return false;
        gtk_widget_show_all(window_);
        for (auto& page : pages_)
            if (!page->visible_) gtk_widget_hide(page->fixed_);
        if (owner) {
            GdkWindow* parent = gdk_x11_window_foreign_new_for_display(display, static_cast<Window>(owner));
            if (!parent) return false;
            gdk_window_set_transient_for(gtk_widget_get_window(window_), parent);
            g_object_unref(parent);
        }
        gtk_window_present(GTK_WINDOW(window_));
        return true;
    }

    // The owner is a window of the X server (GDK may still know a window id that has
    // gone, so the server is asked).
    static bool ownerExists(GdkDisplay* display, WindowHandle owner) {
        if (!GDK_IS_X11_DISPLAY(display)) return false;
        gdk_x11_display_error_trap_push(display);
        XWindowAttributes attributes;
        const Status status =
            XGetWindowAttributes(gdk_x11_display_get_xdisplay(display), static_cast<Window>(owner), &attributes);
        return gdk_x11_display_error_trap_pop(display) == 0 && status != 0;
    }

    void run() {
        loop_ = g_main_loop_new(nullptr, FALSE);
        if (result_ == -1) g_main_loop_run(loop_);
        g_main_loop_unref(loop_);
        loop_ = nullptr;
    }

    void close() {
        std::lock_guard<std::mutex> lock(postMutex_);
        closed_ = true;
        posted_.clear();
    }

    // ---- DialogControls ---------------------------------------------------------------
    Language language() const override { return language_; }

    void setInt(int id, int value, bool isSigned) override {
        setText(id, isSigned ? std::to_string(value) : std::to_string(static_cast<unsigned>(value)));
    }
    int getInt(int id, bool isSigned) const override {
        const std::string value = text(id);
        if (value.empty() || (!isSigned && value[0] == '-')) return 0;
        char* end = nullptr;
        errno = 0;
        const long long number = std::strtoll(value.c_str(), &end, 10);
        if (end == value.c_str() || *end != '\0' || errno || number > 0xFFFFFFFFLL || number < -0x80000000LL) return 0;
        return static_cast<int>(number);
    }
    void setText(int id, const std::string& utf8) override {
        Control* c = find(id);
        if (!c) return;
        if (GTK_IS_ENTRY(c->widget)) {
            ++programmatic_;
            gtk_entry_set_text(GTK_ENTRY(c->widget), utf8.c_str());
            --programmatic_;
        } else if (GTK_IS_BUTTON(c->widget)) {
            gtk_button_set_label(GTK_BUTTON(c->widget), utf8.c_str());
        } else if (GTK_IS_LABEL(c->widget)) {
            gtk_label_set_text(GTK_LABEL(c->widget), utf8.c_str());
        }
    }
    std::string text(int id) const override {
        const Control* c = find(id);
        if (!c) return std::string();
        if (GTK_IS_ENTRY(c->widget)) return gtk_entry_get_text(GTK_ENTRY(c->widget));
        if (GTK_IS_BUTTON(c->widget)) {
            const char* label = gtk_button_get_label(GTK_BUTTON(c->widget));
            return label ? label : "";
        }
        return std::string();
    }

    void setChecked(int id, bool checked) override {
        Control* c = find(id);
        if (!c || !GTK_IS_TOGGLE_BUTTON(c->widget)) return;
        ++quiet_;
        if (checked)
            gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(c->widget), TRUE);
        else if (c->noneRadio)
            gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(c->noneRadio), TRUE);
        else
            gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(c->widget), FALSE);
        --quiet_;
    }
    bool isChecked(int id) const override {
        const Control* c = find(id);
        return c && GTK_IS_TOGGLE_BUTTON(c->widget) && gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(c->widget));
    }
    void setEnabled(int id, bool enabled) override {
        if (Control* c = find(id)) gtk_widget_set_sensitive(c->widget, enabled);
    }
    bool isEnabled(int id) const override {
        const Control* c = find(id);
        return c && gtk_widget_get_sensitive(c->widget);
    }

    void clearList(int id) override {
        if (GtkComboBoxText* combo = comboOf(id)) {
            ++quiet_;
            gtk_combo_box_text_remove_all(combo);
            --quiet_;
        }
    }
    void addListItem(int id, const std::string& utf8) override {
        if (GtkComboBoxText* combo = comboOf(id)) gtk_combo_box_text_append_text(combo, utf8.c_str());
    }
    void insertListItem(int id, int index, const std::string& utf8) override {
        if (GtkComboBoxText* combo = comboOf(id)) gtk_combo_box_text_insert_text(combo, index, utf8.c_str());
    }
    void deleteListItem(int id, int index) override {
        if (GtkComboBoxText* combo = comboOf(id)) {
            ++quiet_;
            gtk_combo_box_text_remove(combo, index);
            --quiet_;
        }
    }
    void selectListItem(int id, int index) override {
        if (GtkComboBoxText* combo = comboOf(id)) {
            ++quiet_;
            gtk_combo_box_set_active(GTK_COMBO_BOX(combo), index >= 0 && index < listCount(id) ? index : -1);
            --quiet_;
        }
    }
    int listSelection(int id) const override {
        GtkComboBoxText* combo = comboOf(id);
        return combo ? gtk_combo_box_get_active(GTK_COMBO_BOX(combo)) : -1;
    }
    int listCount(int id) const override {
        GtkComboBoxText* combo = comboOf(id);
        return combo ? gtk_tree_model_iter_n_children(gtk_combo_box_get_model(GTK_COMBO_BOX(combo)), nullptr) : 0;
    }
    std::string listItem(int id, int index) const override {
        GtkComboBoxText* combo = comboOf(id);
        if (!combo) return std::string();
        GtkTreeModel* model = gtk_combo_box_get_model(GTK_COMBO_BOX(combo));
        GtkTreeIter iter;
        if (!gtk_tree_model_iter_nth_child(model, &iter, nullptr, index)) return std::string();
        gchar* value = nullptr;
        gtk_tree_model_get(model, &iter, gtk_combo_box_get_entry_text_column(GTK_COMBO_BOX(combo)), &value, -1);
        std::string out = value ? value : "";
        g_free(value);
        return out;
    }

    void setTrackRange(int id, int minimum, int maximum) override {
        if (GtkRange* range = rangeOf(id)) {
            ++quiet_;
            gtk_range_set_range(range, minimum, maximum > minimum ? maximum : minimum);
            --quiet_;
        }
    }
    void setTrackPos(int id, int position) override {
        if (GtkRange* range = rangeOf(id)) {
            ++quiet_;
            gtk_range_set_value(range, position);
            --quiet_;
        }
    }
    int trackPos(int id) const override {
        GtkRange* range = rangeOf(id);
        return range ? static_cast<int>(gtk_range_get_value(range) + (gtk_range_get_value(range) < 0 ? -0.5 : 0.5))
                     : 0;
    }
    void setTrackTickFrequency(int, int) override {} // the trackbars draw no ticks
    void setTrackPageSize(int id, int size) override {
        if (GtkRange* range = rangeOf(id)) gtk_range_set_increments(range, 1, size > 0 ? size : 1);
    }
    void setUpDownRange(int id, int minimum, int maximum) override {
        if (Control* c = find(id)) {
            c->minimum = minimum;
            c->maximum = maximum;
        }
    }
    void setUpDownPos(int id, int position) override {
        if (Control* c = find(id)) c->position = position;
    }
    void setUpDownBuddy(int id, int editId) override {
        Control* c = find(id);
        if (!c) return;
        c->buddy = editId;
        const Control* edit = find(editId);
        if (edit) alignToBuddy(placedOf(c->widget), placedOf(edit->widget));
    }

    void insertTab(int tabId, int index, const std::string& utf8) override {
        Control* c = find(tabId);
        if (!c || !GTK_IS_NOTEBOOK(c->widget)) return;
        ++quiet_;
        GtkWidget* label = gtk_label_new(utf8.c_str());
        applyStyle(label);
        GtkWidget* content = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
        gtk_notebook_insert_page(GTK_NOTEBOOK(c->widget), content, label, index);
        gtk_widget_show(content);
        gtk_widget_show(label);
        --quiet_;
    }
    int currentTab(int tabId) const override {
        const Control* c = find(tabId);
        return c && GTK_IS_NOTEBOOK(c->widget) ? gtk_notebook_get_current_page(GTK_NOTEBOOK(c->widget)) : -1;
    }

    DialogControls* createPage(DialogKind page, int tabId, DialogHandler& handler, bool visible) override {
        const Control* tab = find(tabId);
        if (!tab) return nullptr;
        const ControlTemplate* t = dialogs::dialogTemplate(kind_).control(tabId);
        auto created = std::make_unique<GtkDialog>(page, handler, language_, this);
        created->build();
        created->visible_ = visible;
        // At the Win32 page's place: 30 x 25 pixels into the tab control.
        const Rect tabRect = dialogUnits(language_).rect(t->x, t->y, t->width, t->height);
        gtk_fixed_put(GTK_FIXED(fixed_), created->fixed_, tabRect.x + 30, tabRect.y + 25);
        if (window_ && gtk_widget_get_visible(window_)) gtk_widget_set_visible(created->fixed_, visible);
        pages_.push_back(std::move(created));
        handler.init(*pages_.back());
        return pages_.back().get();
    }
    void showPage(DialogControls& page, bool visible) override {
        auto& p = static_cast<GtkDialog&>(page);
        p.visible_ = visible;
        gtk_widget_set_visible(p.fixed_, visible);
    }
    bool isPageVisible(const DialogControls& page) const override {
        return static_cast<const GtkDialog&>(page).visible_;
    }

    void endDialog(int result) override {
        GtkDialog* frame = frame_ ? frame_ : this;
        frame->result_ = result;
        if (frame->loop_) g_main_loop_quit(frame->loop_);
    }

    void post(std::function<void()> task) override {
        GtkDialog* frame = frame_ ? frame_ : this;
        std::lock_guard<std::mutex> lock(frame->postMutex_);
        if (frame->closed_) return;
        frame->posted_.push_back(std::move(task));
        if (!frame->wakePending_) {
            frame->wakePending_ = true;
            frame->sources_.push_back(g_idle_add(runPostedOnce, frame));
        }
    }

private:
    static gboolean runPostedOnce(gpointer data) {
        auto* self = static_cast<GtkDialog*>(data);
        std::deque<std::function<void()>> tasks;
        {
            std::lock_guard<std::mutex> lock(self->postMutex_);
            tasks.swap(self->posted_);
            self->wakePending_ = false;
            self->sources_.clear();
        }
        for (auto& task : tasks) task();
        return G_SOURCE_REMOVE;
    }

    Placed& placedOf(GtkWidget* widget) {
        return *std::find_if(placed_.begin(), placed_.end(), [widget](const Placed& p) { return p.widget == widget; });
    }
    void move(const Placed& placed) {
        gtk_widget_set_size_request(placed.widget, placed.rect.width, placed.rect.height);
        gtk_fixed_move(GTK_FIXED(fixed_), placed.widget, placed.rect.x, placed.rect.y);
    }
    // The up-down takes the right end of its buddy's planned rectangle, as high as the
    // buddy, and the buddy narrows by the up-down's width.
    void alignToBuddy(Placed& upDown, Placed& buddy) {
        const int width = std::min(upDown.planned.width, buddy.planned.width / 2);
        buddy.rect = buddy.planned;
        buddy.rect.width -= width;
        upDown.rect = {buddy.rect.right(), buddy.planned.y, width, buddy.planned.height};
        move(buddy);
        move(upDown);
    }

    GtkWidget* makeWidget(const ControlTemplate& t, GSList* radioGroup) {
        const char* text = t.text(language_);
        switch (t.kind) {
        case ControlKind::Tab: return gtk_notebook_new();
        case ControlKind::GroupBox: return gtk_frame_new(text);
        case ControlKind::Label: {
            GtkWidget* label = gtk_label_new_with_mnemonic(mnemonicOf(text).c_str());
            gtk_label_set_xalign(GTK_LABEL(label), 0);
            gtk_label_set_yalign(GTK_LABEL(label), 0);
            return label;
        }
        case ControlKind::DropDownList: return gtk_combo_box_text_new();
        case ControlKind::Edit:
        case ControlKind::ReadOnlyEdit:
        case ControlKind::NumberEdit: {
            GtkWidget* entry = gtk_entry_new();
            gtk_entry_set_width_chars(GTK_ENTRY(entry), 1);
            gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
            if (t.kind == ControlKind::ReadOnlyEdit) gtk_editable_set_editable(GTK_EDITABLE(entry), FALSE);
            return entry;
        }
        case ControlKind::PushButton:
        case ControlKind::DefaultButton: {
            GtkWidget* button = text ? gtk_button_new_with_mnemonic(mnemonicOf(text).c_str()) : gtk_button_new();
            if (t.kind == ControlKind::DefaultButton) {
                gtk_widget_set_can_default(button, TRUE);
                defaultButton_ = button;
            }
            return button;
        }
        case ControlKind::CheckBox:
            return text ? gtk_check_button_new_with_mnemonic(mnemonicOf(text).c_str()) : gtk_check_button_new();
        case ControlKind::PushLikeCheckBox: return gtk_toggle_button_new_with_mnemonic(mnemonicOf(text).c_str());
        case ControlKind::RadioButton:
            return text ? gtk_radio_button_new_with_mnemonic(radioGroup, mnemonicOf(text).c_str())
                        : gtk_radio_button_new(radioGroup);
        case ControlKind::Trackbar: {
            GtkWidget* scale = gtk_scale_new_with_range(GTK_ORIENTATION_HORIZONTAL, 0, 100, 1);
            gtk_scale_set_draw_value(GTK_SCALE(scale), FALSE);
            gtk_range_set_round_digits(GTK_RANGE(scale), 0);
            return scale;
        }
        case ControlKind::UpDown: {
            GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
            gtk_style_context_add_class(gtk_widget_get_style_context(box), "orvix-updown");
            gtk_box_set_homogeneous(GTK_BOX(box), TRUE);
            gtk_box_pack_start(GTK_BOX(box), arrowButton("up"), TRUE, TRUE, 0);
            gtk_box_pack_start(GTK_BOX(box), arrowButton("down"), TRUE, TRUE, 0);
            return box;
        }
        }
        return gtk_label_new(nullptr);
    }

    // A button of an up-down control: a small arrow drawn in the button's text colour,
    // so the pair fits the height of an edit box.
    static GtkWidget* arrowButton(const char* direction) {
        GtkWidget* button = gtk_button_new();
        gtk_widget_set_name(button, direction);
        GtkWidget* arrow = gtk_drawing_area_new();
        gtk_widget_set_size_request(arrow, 5, 3);
        g_signal_connect(arrow, "draw", G_CALLBACK(drawArrow), button);
        gtk_container_add(GTK_CONTAINER(button), arrow);
        return button;
    }
    static gboolean drawArrow(GtkWidget* area, cairo_t* cr, GtkWidget* button) {
        const double width = gtk_widget_get_allocated_width(area);
        const double height = gtk_widget_get_allocated_height(area);
        const double half = std::max(2.0, std::min(width / 2 - 1, height - 1) * 0.6);
        const double cx = width / 2;
        const bool up = std::string(gtk_widget_get_name(button)) == "up";
        const double tip = up ? (height - half) / 2 : (height + half) / 2;
        const double base = up ? tip + half : tip - half;
        GtkStyleContext* style = gtk_widget_get_style_context(area);
        GdkRGBA colour;
        gtk_style_context_get_color(style, gtk_style_context_get_state(style), &colour);
        gdk_cairo_set_source_rgba(cr, &colour);
        cairo_move_to(cr, cx, tip);
        cairo_line_to(cr, cx + half, base);
        cairo_line_to(cr, cx - half, base);
        cairo_close_path(cr);
        cairo_fill(cr);
        return FALSE;
    }

    void connect(Control& c) {
        switch (c.kind) {
        case ControlKind::Edit:
        case ControlKind::ReadOnlyEdit:
        case ControlKind::NumberEdit:
            g_signal_connect(c.widget, "changed", G_CALLBACK(onEditChanged), &c);
            if (c.kind == ControlKind::NumberEdit)
                g_signal_connect(c.widget, "insert-text", G_CALLBACK(onInsertText), &c);
            break;
        case ControlKind::DropDownList: g_signal_connect(c.widget, "changed", G_CALLBACK(onListChanged), &c); break;
        case ControlKind::PushButton:
        case ControlKind::DefaultButton: g_signal_connect(c.widget, "clicked", G_CALLBACK(onClicked), &c); break;
        case ControlKind::CheckBox:
        case ControlKind::PushLikeCheckBox:
        case ControlKind::RadioButton: g_signal_connect(c.widget, "toggled", G_CALLBACK(onToggled), &c); break;
        case ControlKind::Trackbar: g_signal_connect(c.widget, "value-changed", G_CALLBACK(onScroll), &c); break;
        case ControlKind::Tab: g_signal_connect_after(c.widget, "switch-page", G_CALLBACK(onSwitchPage), &c); break;
        case ControlKind::UpDown: {
            GList* buttons = gtk_container_get_children(GTK_CONTAINER(c.widget));
            for (GList* b = buttons; b; b = b->next) g_signal_connect(b->data, "clicked", G_CALLBACK(onStep), &c);
            g_list_free(buttons);
            break;
        }
        case ControlKind::GroupBox:
        case ControlKind::Label: break;
        }
    }

    Control* find(int id) {
        auto it = controls_.find(id);
        return it == controls_.end() ? nullptr : it->second.get();
    }
    const Control* find(int id) const {
        auto it = controls_.find(id);
        return it == controls_.end() ? nullptr : it->second.get();
    }
    GtkComboBoxText* comboOf(int id) const {
        const Control* c = find(id);
        return c && GTK_IS_COMBO_BOX_TEXT(c->widget) ? GTK_COMBO_BOX_TEXT(c->widget) : nullptr;
    }
    GtkRange* rangeOf(int id) const {
        const Control* c = find(id);
        return c && GTK_IS_RANGE(c->widget) ? GTK_RANGE(c->widget) : nullptr;
    }

    // ---- signals ----------------------------------------------------------------------
    static void onEditChanged(GtkEditable*, Control* c) { c->owner->handler_.command(c->id, dialogs::kEditChange); }
    static void onInsertText(GtkEditable* editable, const gchar* text, gint length, gint*, Control* c) {
        if (c->owner->programmatic_) return;
        for (gint i = 0; length < 0 ? text[i] != '\0' : i < length; ++i) {
            if (text[i] < '0' || text[i] > '9') {
                g_signal_stop_emission_by_name(editable, "insert-text");
                return;
            }
        }
    }
    static void onListChanged(GtkComboBox*, Control* c) {
        if (!c->owner->quiet_) c->owner->handler_.command(c->id, dialogs::kSelectionChange);
    }
    static void onClicked(GtkButton*, Control* c) { c->owner->handler_.command(c->id, dialogs::kClicked); }
    static void onToggled(GtkToggleButton* button, Control* c) {
        if (c->owner->quiet_) return;
        // A radio group reports the button that became checked only.
        if (c->kind == ControlKind::RadioButton && !gtk_toggle_button_get_active(button)) return;
        c->owner->handler_.command(c->id, dialogs::kClicked);
    }
    static void onScroll(GtkRange*, Control* c) {
        if (!c->owner->quiet_) c->owner->handler_.scroll(c->id);
    }
    static void onSwitchPage(GtkNotebook*, GtkWidget*, guint, Control* c) {
        if (!c->owner->quiet_) c->owner->handler_.tabChanged(c->id);
    }
    static void onStep(GtkButton* button, Control* c) {
        GtkDialog& d = *c->owner;
        const bool up = std::string(gtk_widget_get_name(GTK_WIDGET(button))) == "up";
        int value = d.text(c->buddy).empty() ? c->position : d.getInt(c->buddy, true);
        value += up ? 1 : -1;
        if (value < c->minimum) value = c->minimum;
        if (value > c->maximum) value = c->maximum;
        c->position = value;
        if (c->buddy) d.setInt(c->buddy, value, true);
    }
    static gboolean onDelete(GtkWidget*, GdkEvent*, GtkDialog* d) {
        d->handler_.command(dialogs::kResultCancel, dialogs::kClicked);
        return TRUE;
    }
    static gboolean onKey(GtkWidget*, GdkEventKey* event, GtkDialog* d) {
        if (event->keyval == GDK_KEY_Escape) {
            d->handler_.command(dialogs::kResultCancel, dialogs::kClicked);
            return TRUE;
        }
        return FALSE;
    }

    DialogKind kind_;
    DialogHandler& handler_;
    Language language_;
    GtkDialog* frame_;
    GtkWidget* window_ = nullptr;
    GtkWidget* fixed_ = nullptr;
    GtkWidget* defaultButton_ = nullptr;
    Rect bounds_;                 // the dialog's or page's size in pixels
    std::vector<Placed> placed_;  // every control, in template order
    std::map<int, std::unique_ptr<Control>> controls_;
    std::vector<std::unique_ptr<GtkDialog>> pages_;
    std::vector<GtkWidget*> hiddenRadios_;
    bool visible_ = true;
    int quiet_ = 0;        // inside a change made by the program
    int programmatic_ = 0; // inside a text set by the program
    int result_ = -1;
    GMainLoop* loop_ = nullptr;
    std::mutex postMutex_;
    std::deque<std::function<void()>> posted_;
    std::vector<guint> sources_;
    bool wakePending_ = false;
    bool closed_ = false;

public:
    void releaseHiddenRadios() {
        for (GtkWidget* radio : hiddenRadios_) g_object_unref(radio);
        hiddenRadios_.clear();
        for (auto& page : pages_) page->releaseHiddenRadios();
    }
    GtkWidget* defaultButton() const { return defaultButton_; }
};

} // namespace

int runModalDialog(DialogKind frame, WindowHandle owner, DialogHandler& handler, Language language) {
    // GTK is used by one thread at a time: a dialog asked for on another thread
    // while one is open waits until that one has closed.
    static std::recursive_mutex gtkUse;
    const std::lock_guard<std::recursive_mutex> lock(gtkUse);
    if (!gtkReady()) return -1;
    auto dialog = std::make_unique<GtkDialog>(frame, handler, language, nullptr);
    dialog->build();
    handler.init(*dialog);
    if (GtkWidget* button = dialog->defaultButton()) gtk_widget_grab_default(button);
    int result = -1;
    if (dialog->open(owner)) {
        dialog->run();
        result = dialog->result();
    }
    handler.closing();
    dialog->close();
    gtk_widget_hide(dialog->window());
    dialog->releaseHiddenRadios();
    dialog.reset();
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
    return result;
}

} // namespace orvix::platform
