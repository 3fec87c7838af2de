// The GTK dialog host under an X server: the real windows of the three dialogs are
// found, read back and driven by a driver that runs inside the dialog's own loop (GTK
// is used from one thread only), then closed with OK or Cancel. With
// ORVIX_DIALOG_SCREENSHOTS set to a folder, a picture of every dialog and page in
// both languages is saved there.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "../camera/stored_settings.h"
#include "camera/camera.h"
#include "camera/camera_dialog.h"
#include "device/emulated_cameras.h"
#include "held_trigger.h"
#include "platform/dialog_host.h"

// The window system last: its headers define macros such as None.
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace orvix::test {
namespace {

using dialogs::DialogKind;
using dialogs::Language;

GtkWidget* findVisible(GtkWidget* root, const std::string& name) {
    if (!gtk_widget_is_visible(root)) return nullptr;
    if (name == gtk_widget_get_name(root)) return root;
    if (!GTK_IS_CONTAINER(root)) return nullptr;
    GtkWidget* found = nullptr;
    GList* children = gtk_container_get_children(GTK_CONTAINER(root));
    for (GList* c = children; c && !found; c = c->next) found = findVisible(GTK_WIDGET(c->data), name);
    g_list_free(children);
    return found;
}

// The visible dialog window, found as the user sees it.
GtkWidget* dialogWindow(const char* title) {
    GtkWidget* found = nullptr;
    GList* windows = gtk_window_list_toplevels();
    for (GList* w = windows; w && !found; w = w->next) {
        GtkWindow* window = GTK_WINDOW(w->data);
        const char* t = gtk_window_get_title(window);
        if (t && std::string(t) == title && gtk_widget_get_mapped(GTK_WIDGET(window))) found = GTK_WIDGET(window);
    }
    g_list_free(windows);
    return found;
}

struct Box {
    int x, y, width, height;
    int right() const { return x + width; }
    int bottom() const { return y + height; }
    bool overlaps(const Box& o) const { return x < o.right() && o.x < right() && y < o.bottom() && o.y < bottom(); }
    bool contains(const Box& o) const { return o.x >= x && o.y >= y && o.right() <= right() && o.bottom() <= bottom(); }
};

// Where the widget is drawn, in the window's coordinates.
Box boxIn(GtkWidget* window, GtkWidget* widget) {
    GtkAllocation a;
    gtk_widget_get_allocation(widget, &a);
    int x = 0;
    int y = 0;
    gtk_widget_translate_coordinates(widget, window, 0, 0, &x, &y);
    return {x, y, a.width, a.height};
}

std::string describe(GtkWidget* widget) {
    std::string text = G_OBJECT_TYPE_NAME(widget);
    text += " '" + std::string(gtk_widget_get_name(widget)) + "'";
    if (GTK_IS_LABEL(widget)) text += " \"" + std::string(gtk_label_get_text(GTK_LABEL(widget))) + "\"";
    if (GTK_IS_BUTTON(widget) && gtk_button_get_label(GTK_BUTTON(widget)))
        text += " \"" + std::string(gtk_button_get_label(GTK_BUTTON(widget))) + "\"";
    if (GTK_IS_FRAME(widget) && gtk_frame_get_label(GTK_FRAME(widget)))
        text += " \"" + std::string(gtk_frame_get_label(GTK_FRAME(widget))) + "\"";
    return text;
}

// The visible controls of a dialog: the children of its fixed panels (pages included).
void collectControls(GtkWidget* widget, std::vector<GtkWidget*>& controls) {
    if (!gtk_widget_get_visible(widget) || !GTK_IS_CONTAINER(widget)) return;
    GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
    for (GList* c = children; c; c = c->next) {
        GtkWidget* child = GTK_WIDGET(c->data);
        if (GTK_IS_FIXED(child)) {
            collectControls(child, controls);
        } else if (GTK_IS_FIXED(widget) && gtk_widget_get_visible(child)) {
            controls.push_back(child);
        }
    }
    g_list_free(children);
}

void collectLabels(GtkWidget* widget, std::vector<GtkWidget*>& labels) {
    if (!gtk_widget_get_visible(widget)) return;
    if (GTK_IS_LABEL(widget)) labels.push_back(widget);
    if (GTK_IS_CONTAINER(widget)) {
        GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
        for (GList* c = children; c; c = c->next) collectLabels(GTK_WIDGET(c->data), labels);
        g_list_free(children);
    }
    if (GTK_IS_FRAME(widget) && gtk_frame_get_label_widget(GTK_FRAME(widget)))
        collectLabels(gtk_frame_get_label_widget(GTK_FRAME(widget)), labels);
}

// Every control is drawn whole: inside the window and inside the group box it starts
// in, at the size it was given (none needed more), without covering another one; every
// text fits the widget that shows it; up-down buttons are whole within their control.
void expectLaidOut(GtkWidget* window, const std::string& what) {
    const Box windowBox = boxIn(window, window);
    std::vector<GtkWidget*> controls;
    collectControls(window, controls);
    ASSERT_GT(controls.size(), 4u) << what;
    std::vector<std::pair<GtkWidget*, Box>> frames;
    std::vector<std::pair<GtkWidget*, Box>> leaves;
    for (GtkWidget* control : controls) {
        const Box box = boxIn(window, control);
        EXPECT_TRUE(windowBox.contains(box)) << what << ": " << describe(control) << " passes the window edge";
        int requestWidth = 0;
        int requestHeight = 0;
        gtk_widget_get_size_request(control, &requestWidth, &requestHeight);
        EXPECT_EQ(box.width, requestWidth) << what << ": " << describe(control) << " needed more width";
        EXPECT_EQ(box.height, requestHeight) << what << ": " << describe(control) << " needed more height";
        if (GTK_IS_FRAME(control) || GTK_IS_NOTEBOOK(control)) frames.emplace_back(control, box);
        else leaves.emplace_back(control, box);
    }
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        const Box& box = leaves[i].second;
        for (std::size_t j = i + 1; j < leaves.size(); ++j)
            EXPECT_FALSE(box.overlaps(leaves[j].second))
                << what << ": " << describe(leaves[i].first) << " covers " << describe(leaves[j].first);
        for (const auto& frame : frames) {
            const Box& f = frame.second;
            const bool startsInside = box.x >= f.x && box.x < f.right() && box.y >= f.y && box.y < f.bottom();
            if (startsInside) {
                EXPECT_TRUE(f.contains(box)) << what << ": " << describe(leaves[i].first) << " runs out of "
                                             << describe(frame.first);
            }
        }
        if (std::string(G_OBJECT_TYPE_NAME(leaves[i].first)) == "GtkBox") { // an up-down control
            for (const char* name : {"up", "down"}) {
                GtkWidget* button = findVisible(leaves[i].first, name);
                ASSERT_NE(button, nullptr) << what;
                const Box b = boxIn(window, button);
                EXPECT_TRUE(box.contains(b) && b.height >= 7 && b.width >= 7)
                    << what << ": the " << name << " button of an up-down control is cut";
            }
        }
    }
    std::vector<GtkWidget*> labels;
    collectLabels(window, labels);
    for (GtkWidget* label : labels) {
        PangoRectangle ink;
        PangoRectangle logical;
        pango_layout_get_pixel_extents(gtk_label_get_layout(GTK_LABEL(label)), &ink, &logical);
        const Box box = boxIn(window, label);
        EXPECT_LE(logical.width, box.width) << what << ": the text of " << describe(label) << " is cut";
        EXPECT_LE(logical.height, box.height) << what << ": the text of " << describe(label) << " is cut";
        EXPECT_FALSE(pango_layout_is_ellipsized(gtk_label_get_layout(GTK_LABEL(label)))) << what;
        EXPECT_TRUE(windowBox.contains(box)) << what << ": " << describe(label) << " passes the window edge";
    }
}

class Shown {
public:
    explicit Shown(GtkWidget* window) : window_(window) {}
    GtkWidget* operator()(int id) const {
        GtkWidget* widget = findVisible(window_, std::to_string(id));
        EXPECT_NE(widget, nullptr) << "no visible control " << id;
        return widget;
    }
    std::string entry(int id) const { return gtk_entry_get_text(GTK_ENTRY((*this)(id))); }
    std::string chosen(int id) const {
        gchar* text = gtk_combo_box_text_get_active_text(GTK_COMBO_BOX_TEXT((*this)(id)));
        std::string out = text ? text : "";
        g_free(text);
        return out;
    }
    bool enabled(int id) const { return gtk_widget_get_sensitive((*this)(id)); }
    bool checked(int id) const { return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON((*this)(id))); }
    int value(int id) const { return static_cast<int>(gtk_range_get_value(GTK_RANGE((*this)(id)))); }
    void type(int id, const char* text) const { gtk_entry_set_text(GTK_ENTRY((*this)(id)), text); }
    void choose(int id, int index) const { gtk_combo_box_set_active(GTK_COMBO_BOX((*this)(id)), index); }
    void click(int id) const { gtk_button_clicked(GTK_BUTTON((*this)(id))); }
    void tab(int index) const { gtk_notebook_set_current_page(GTK_NOTEBOOK((*this)(1001)), index); }
    void settle() const {
        while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
    }
    // Saves a picture of the window when pictures are asked for.
    void picture(const std::string& name) const {
        const char* folder = std::getenv("ORVIX_DIALOG_SCREENSHOTS");
        if (!folder || !*folder) return;
        // Pictures show controls at rest, not half-way through a theme transition.
        g_object_set(gtk_settings_get_default(), "gtk-enable-animations", FALSE, nullptr);
        settle();
        g_usleep(200000);
        settle();
        GdkWindow* gdk = gtk_widget_get_window(window_);
        GdkPixbuf* pixbuf = gdk_pixbuf_get_from_window(gdk, 0, 0, gdk_window_get_width(gdk), gdk_window_get_height(gdk));
        ASSERT_NE(pixbuf, nullptr);
        const std::string path = std::string(folder) + "/" + name + ".png";
        EXPECT_TRUE(gdk_pixbuf_save(pixbuf, path.c_str(), "png", nullptr, nullptr)) << path;
        g_object_unref(pixbuf);
    }
    void expectWhole(const std::string& what) const { expectLaidOut(window_, what); }
    GtkWidget* widget() const { return window_; }

private:
    GtkWidget* window_;
};

// Runs `drive` inside the dialog's loop once a window of that title is mapped.
void whenShown(const char* title, std::function<void(const Shown&)> drive) {
    struct Pending {
        std::string title;
        std::function<void(const Shown&)> drive;
        int tries = 0;
    };
    auto* pending = new Pending{title, std::move(drive)};
    g_timeout_add(50, [](gpointer data) -> gboolean {
        auto* p = static_cast<Pending*>(data);
        GtkWidget* window = dialogWindow(p->title.c_str());
        if (!window && ++p->tries < 100) return G_SOURCE_CONTINUE;
        if (window) {
            Shown w(window);
            w.settle();
            p->drive(w);
        } else {
            ADD_FAILURE() << "no dialog window";
        }
        delete p;
        return G_SOURCE_REMOVE;
    }, pending);
}

class GtkDialogHost : public EmulatedCameras {
protected:
    void SetUp() override {
        resetSettings();
        open({0});
    }
    void open(std::initializer_list<int> slots, std::uint32_t triggerIntervalMs = 0) {
        camera.reset();
        attach(slots, 0, triggerIntervalMs);
        camera = std::make_unique<Camera>();
        ASSERT_EQ(camera->initialize(0), 1);
    }
    void TearDown() override {
        camera.reset();
        resetSettings();
        EmulatedCameras::TearDown();
    }
    static dialogs::ModalRunner runnerIn(Language language) {
        return [language](DialogKind frame, platform::WindowHandle owner, dialogs::DialogHandler& handler) {
            return platform::runModalDialog(frame, owner, handler, language);
        };
    }
    static std::string suffix(Language language) { return language == Language::Japanese ? "-ja" : "-en"; }
    std::unique_ptr<Camera> camera;
};

TEST_F(GtkDialogHost, CameraDialogOwnedByAnX11Window) {
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    const ::Window owner =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 300, 200, 0, 0, 0);
    XMapWindow(display, owner);
    XSync(display, False);
    ::Window transientFor = 0;
    whenShown("Property", [&](const Shown& w) {
        XGetTransientForHint(display, gdk_x11_window_get_xid(gtk_widget_get_window(w.widget())), &transientFor);
        EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(w.widget())));
        EXPECT_EQ(w.chosen(1010), "1360 x 1024");
        EXPECT_EQ(w.chosen(1009), "Color 24bit");
        EXPECT_EQ(w.chosen(1014), "Nomal");
        EXPECT_EQ(w.entry(1045), "10");
        EXPECT_FALSE(gtk_editable_get_editable(GTK_EDITABLE(w(1039))));
        EXPECT_FALSE(w.enabled(1002));
        w.choose(1010, 1);
        EXPECT_TRUE(w.enabled(1002));
        w.type(1041, "640");
        w.type(1042, "480");
        w.click(1002);
        EXPECT_EQ(w.chosen(1010), "640 x 480");
        w.choose(1012, 2);
        w.click(1);
    });
    EXPECT_EQ(camera->setCameraDlg(owner, runnerIn(Language::English)), 1);
    EXPECT_EQ(transientFor, owner);
    EXPECT_EQ(camera->width(), 640);
    EXPECT_EQ(camera->getSubSample(), 2);
    EXPECT_EQ(stored("", "Size"), 1);
    // An owner that does not exist: the dialog cannot be created.
    XDestroyWindow(display, owner);
    XSync(display, False);
    CameraDialogState state;
    CameraDialog handler(state);
    EXPECT_EQ(platform::runModalDialog(DialogKind::Camera, owner, handler, Language::English), -1);
    XCloseDisplay(display);
}

TEST_F(GtkDialogHost, AnalogGainDialogSendsWhatIsTyped) {
    for (Language language : {Language::English, Language::Japanese}) {
        whenShown(language == Language::Japanese ? "プロパティ" : "Property", [&](const Shown& w) {
            EXPECT_EQ(w.entry(1015), std::to_string(state(0).globalGain));
            w.expectWhole("analog-gain-x11" + suffix(language));
            w.picture("analog-gain-x11" + suffix(language));
            w.type(1015, "700");
            EXPECT_EQ(state(0).globalGain, 700);
            EXPECT_EQ(w.entry(1021), "700");
            EXPECT_EQ(w.value(1014), 700);
            w.tab(1);
            w.settle();
            EXPECT_EQ(findVisible(w.widget(), "1015"), nullptr);
            EXPECT_TRUE(w.checked(1100));
            w.expectWhole("analog-monitor-x11" + suffix(language));
            w.picture("analog-monitor-x11" + suffix(language));
            w.click(2);
        });
        const int before = state(0).globalGain;
        EXPECT_EQ(camera->showAnalogDialog(0, runnerIn(language)), 1);
        EXPECT_EQ(state(0).globalGain, before);
    }
}

TEST_F(GtkDialogHost, ImageFilterDialogChangesAreLiveAndCancelRestores) {
    ASSERT_EQ(camera->setColorMode(8), 1);
    // The chart's white and yellow bars: the site gains measured are not the defaults.
    ASSERT_EQ(camera->setCaptureWindowEx(1360, 0, 340, 1024, 0, 760), 1);
    for (Language language : {Language::English, Language::Japanese}) {
        whenShown(language == Language::Japanese ? "プロパティ" : "Property", [&](const Shown& w) {
            EXPECT_FALSE(w.enabled(2021));
            EXPECT_TRUE(w.enabled(2001));
            EXPECT_TRUE(w.checked(1033));
            w.expectWhole("filter-image-x11" + suffix(language));
            w.picture("filter-image-x11" + suffix(language));
            gtk_range_set_value(GTK_RANGE(w(2001)), 100);
            EXPECT_EQ(camera->filterSettings().brightness, 100);
            EXPECT_EQ(w.entry(2002), "100");
            w.type(2012, "50");
            EXPECT_EQ(camera->filterSettings().contrast, 50);
            EXPECT_EQ(w.value(2011), 50);
            w.tab(1);
            w.settle();
            // The gray page has its own "All frames" box.
            w.click(1046); // site gains
            w.click(1035);
            EXPECT_EQ(camera->filterSettings().grayGainAuto, -1);
            // A frame measured on another thread: its gains reach the page through the
            // dialog's loop.
            std::thread capture([&] { EXPECT_EQ(camera->snapShot(nullptr, 0, 1), 1); });
            capture.join();
            const int measured = camera->filterSettings().grayGainR;
            EXPECT_NE(measured, 128);
            w.settle();
            EXPECT_EQ(w.entry(2101), std::to_string(measured));
            w.expectWhole("filter-gray-x11" + suffix(language));
            w.picture("filter-gray-x11" + suffix(language));
            w.click(2);
        });
        EXPECT_EQ(camera->showImageDialog(0, runnerIn(language)), 1);
        EXPECT_EQ(camera->filterSettings().brightness, 0);
        EXPECT_EQ(camera->filterSettings().grayGainR, 128);
        EXPECT_EQ(camera->filterSettings().grayGainAuto, 0);
    }
}

TEST_F(GtkDialogHost, CameraDialogInBothLanguages) {
    for (Language language : {Language::English, Language::Japanese}) {
        whenShown(language == Language::Japanese ? "プロパティ" : "Property", [&](const Shown& w) {
            EXPECT_EQ(w.chosen(1014), language == Language::Japanese ? "標準" : "Nomal");
            w.expectWhole("camera-x11" + suffix(language));
            w.picture("camera-x11" + suffix(language));
            gtk_window_close(GTK_WINDOW(w.widget())); // the close box is Cancel
        });
        EXPECT_EQ(camera->setCameraDlg(0, runnerIn(language)), 1);
    }
}

// A trigger capture running when the camera dialog opens is held while it is open and
// released after it (held_trigger.h).
TEST_F(GtkDialogHost, ATriggerCaptureIsHeldWhileTheCameraDialogIsOpen) {
    open({0, 3}, 20);
    std::vector<std::uint8_t> frame;
    ASSERT_TRUE(startHeldTriggerCapture(*camera, frame));
    whenShown("Property", [&](const Shown& w) {
        expectTriggerHeld(*camera);
        w.click(1);
    });
    EXPECT_EQ(camera->setCameraDlg(0, runnerIn(Language::English)), 1);
    expectTriggerReleased(*camera);
}

} // namespace
} // namespace orvix::test
