#pragma once
// A client-side image in a window's pixel format, the staging area of every frame
// the preview paints: in a shared memory segment (MIT-SHM) when the server offers
// the extension and can attach the segment, so an upload is one copy inside the
// server and nothing on the connection; otherwise in ordinary memory, sent with
// XPutImage (which Xlib cuts into requests the server accepts). Where the server
// also makes pixmaps of shared memory, the image can be a pixmap itself: the frame
// is then written straight into the server's pixmap, with no upload at all. Images
// are at most kMaxFrameImagePixels large; callers paint larger areas in parts.
//
// Every member is called inside an x11::RequestScope on the shared connection.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <cstdint>
#include <vector>

#include "platform/posix/x11_connection.h"

namespace orvix::platform::x11 {

// 16 M pixels: a 4096 x 4096 screen, 64 MB at 32 bits per pixel.
inline constexpr std::int64_t kMaxFrameImagePixels = std::int64_t{1} << 24;

class FrameImage {
public:
    explicit FrameImage(Display* display) : display_(display) {}
    ~FrameImage();
    FrameImage(const FrameImage&) = delete;
    FrameImage& operator=(const FrameImage&) = delete;

    // An image of width x height pixels of the visual at that depth, kept while the
    // size stays the same. Waits until the server has read the previous upload, so
    // the caller may write the pixels. False when no image can be made.
    bool prepare(Visual* visual, int depth, int width, int height);
    // As prepare, and the image is also a server pixmap (pixmap()) on the screen of
    // `drawable`. False when the server cannot share a pixmap (prepare still works).
    bool preparePixmap(Visual* visual, int depth, int width, int height, Drawable drawable);
    XImage& image() const { return *image_; }
    Pixmap pixmap() const { return pixmap_; }
    // The server reads the pixmap from now on (painting the window from it): the
    // next prepare waits until it has.
    void serverReads() { uploadPending_ = true; }
    // The caller has waited until the server handled every request so far: the next
    // prepare need not wait.
    void serverHasRead() { uploadPending_ = false; }

    // Sends the image's first `rows` rows to (x, y) of `target`.
    void upload(Drawable target, GC gc, int x, int y, int rows);

    // Whether uploads go through shared memory.
    bool shared() const { return shared_; }

private:
    bool makeShared(Visual* visual, int depth, int width, int height);
    bool serverSharesPixmaps();
    bool makeInMemory(Visual* visual, int depth, int width, int height);
    void release();

    Display* display_;
    XImage* image_ = nullptr;
    XShmSegmentInfo segment_{};
    bool shared_ = false;
    bool sharingRefused_ = false; // the server cannot attach our segments: memory from now on
    Pixmap pixmap_ = 0;           // the server pixmap over the segment, if asked for
    bool pixmapsRefused_ = false; // the server makes no pixmaps of shared memory
    bool pixmapsOffered_ = false; // the server said it makes them
    bool uploadPending_ = false;  // the server may still be reading the segment
    std::vector<char> memory_;
};

} // namespace orvix::platform::x11
