#include "platform/posix/x11_frame_image.h"

#include <sys/ipc.h>
#include <sys/shm.h>

#include "platform/posix/x11_pixel_rows.h"

namespace orvix::platform::x11 {

namespace {

std::size_t imageBytes(const XImage& image) {
    return static_cast<std::size_t>(image.bytes_per_line) * static_cast<std::size_t>(image.height);
}

} // namespace

FrameImage::~FrameImage() {
    RequestScope scope;
    release();
}

void FrameImage::release() {
    if (!image_) return;
    if (pixmap_) {
        XFreePixmap(display_, pixmap_); // a window keeps a background it still uses
        pixmap_ = 0;
    }
    if (shared_) {
        // The segment was marked for removal when it was attached: it goes once the
        // server has let go of it as well.
        XShmDetach(display_, &segment_);
        shmdt(segment_.shmaddr);
        segment_ = XShmSegmentInfo{};
    }
    image_->data = nullptr; // the pixel memory is ours
    XDestroyImage(image_);
    image_ = nullptr;
    shared_ = false;
    uploadPending_ = false;
    std::vector<char>().swap(memory_);
}

bool FrameImage::serverSharesPixmaps() {
    if (pixmapsRefused_ || sharingRefused_) return false;
    if (pixmapsOffered_) return true; // asked once: the question is a round trip
    int major = 0, minor = 0;
    Bool pixmaps = False;
    if (!XShmQueryVersion(display_, &major, &minor, &pixmaps) || !pixmaps || XShmPixmapFormat(display_) != ZPixmap) {
        pixmapsRefused_ = true;
        return false;
    }
    pixmapsOffered_ = true;
    return true;
}

bool FrameImage::preparePixmap(Visual* visual, int depth, int width, int height, Drawable drawable) {
    if (!serverSharesPixmaps()) return false;
    if (image_ && !pixmap_ && image_->width == width && image_->height == height) release();
    if (!prepare(visual, depth, width, height)) return false;
    if (pixmap_) return true;
    if (!shared_) return false;
    RequestScope made;
    const Pixmap pixmap = XShmCreatePixmap(display_, drawable, image_->data, &segment_, static_cast<unsigned>(width),
                                           static_cast<unsigned>(height), static_cast<unsigned>(depth));
    if (!made.succeeded()) {
        pixmapsRefused_ = true;
        XFreePixmap(display_, pixmap);
        return false;
    }
    pixmap_ = pixmap;
    return true;
}

bool FrameImage::prepare(Visual* visual, int depth, int width, int height) {
    if (!display_ || width <= 0 || height <= 0 || std::int64_t{width} * height > kMaxFrameImagePixels) return false;
    if (image_ && image_->width == width && image_->height == height) {
        if (uploadPending_) {
            XSync(display_, False); // the server has read the segment once it answers
            uploadPending_ = false;
        }
        return true;
    }
    release();
    if (!sharingRefused_ && makeShared(visual, depth, width, height)) return true;
    return makeInMemory(visual, depth, width, height);
}

bool FrameImage::makeShared(Visual* visual, int depth, int width, int height) {
    if (!XShmQueryExtension(display_)) {
        sharingRefused_ = true;
        return false;
    }
    // The image keeps the address of the segment record: it must be the member.
    segment_ = XShmSegmentInfo{};
    XImage* image = XShmCreateImage(display_, visual, static_cast<unsigned>(depth), ZPixmap, nullptr, &segment_,
                                    static_cast<unsigned>(width), static_cast<unsigned>(height));
    if (!image) return false;
    const int id = shmget(IPC_PRIVATE, imageBytes(*image), IPC_CREAT | 0600);
    if (id < 0) {
        XDestroyImage(image);
        return false;
    }
    void* address = shmat(id, nullptr, 0);
    if (address == reinterpret_cast<void*>(-1)) {
        shmctl(id, IPC_RMID, nullptr);
        XDestroyImage(image);
        return false;
    }
    segment_.shmid = id;
    segment_.shmaddr = static_cast<char*>(address);
    segment_.readOnly = False;
    image->data = segment_.shmaddr;

    bool attached = false;
    {
        // A scope of its own, so only the attach itself is judged.
        RequestScope attach;
        XShmAttach(display_, &segment_);
        attached = attach.succeeded();
    }
    shmctl(id, IPC_RMID, nullptr);
    if (!attached) {
        // A server on another machine, or one that may not map our memory.
        sharingRefused_ = true;
        shmdt(address);
        segment_ = XShmSegmentInfo{};
        image->data = nullptr;
        XDestroyImage(image);
        return false;
    }
    image_ = image;
    shared_ = true;
    return true;
}

bool FrameImage::makeInMemory(Visual* visual, int depth, int width, int height) {
    XImage* image = XCreateImage(display_, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                                 static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
    if (!image) return false;
    if (image->bits_per_pixel == 32) {
        // Pixels are stored in the host's order; Xlib reorders them for the server.
        image->byte_order = hostByteOrder();
        XInitImage(image);
    }
    memory_.assign(imageBytes(*image), 0);
    image->data = memory_.data();
    image_ = image;
    return true;
}

void FrameImage::upload(Drawable target, GC gc, int x, int y, int rows) {
    if (!image_ || rows <= 0) return;
    const auto width = static_cast<unsigned>(image_->width);
    const auto height = static_cast<unsigned>(rows < image_->height ? rows : image_->height);
    if (shared_) {
        XShmPutImage(display_, target, gc, image_, 0, 0, x, y, width, height, False);
        uploadPending_ = true;
    } else {
        XPutImage(display_, target, gc, image_, 0, 0, x, y, width, height);
    }
}

} // namespace orvix::platform::x11
