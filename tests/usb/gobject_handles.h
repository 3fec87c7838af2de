#pragma once
// Owning handles for the GLib objects and buffers the USB harness holds: each is
// released once, by its owner's destructor.

#include <glib-object.h>

#include <memory>
#include <string>

namespace orvix::test::usb {

struct GObjectUnref {
    void operator()(gpointer object) const {
        if (object) g_object_unref(object);
    }
};

// An owned reference to a GObject (UMockdevTestbed, UMockdevIoctlBase, ...).
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

// Takes a reference the caller already owns (a "transfer full" result).
template <typename T>
GObjectPtr<T> adoptObject(T* object) {
    return GObjectPtr<T>(object);
}

// Adds a reference of its own to an object the caller does not own.
template <typename T>
GObjectPtr<T> retainObject(T* object) {
    if (object) g_object_ref(object);
    return GObjectPtr<T>(object);
}

struct GFreeDeleter {
    void operator()(gpointer memory) const { g_free(memory); }
};

// A string GLib allocated, as a std::string; the GLib copy is freed.
inline std::string takeString(gchar* text) {
    std::unique_ptr<gchar, GFreeDeleter> owned(text);
    return owned ? std::string(owned.get()) : std::string();
}

struct GErrorDeleter {
    void operator()(GError* error) const {
        if (error) g_error_free(error);
    }
};
using GErrorPtr = std::unique_ptr<GError, GErrorDeleter>;

// The message of a GError out-parameter, freed; empty when none was set.
inline std::string takeErrorMessage(GError* error) {
    GErrorPtr owned(error);
    return owned ? std::string(owned->message) : std::string();
}

} // namespace orvix::test::usb
