#include "capture/capture_surfaces.h"

#include <new>

#include "capture/capture_config.h"
#include "capture/startup_faults.h"
#include "imaging/pixel_kernels.h"

namespace orvix {

namespace {

std::unique_ptr<Surface> allocateSurface(StartupAllocation which) {
    if (takeStartupAllocationFault(which)) return nullptr;
    return std::unique_ptr<Surface>(new (std::nothrow) Surface());
}

bool create(const std::unique_ptr<Surface>& surface, std::int32_t width, std::int32_t height, std::uint16_t bits) {
    return surface && surface->create(width, height, bits);
}

bool holdsDepth(const Surface* s, std::uint16_t bitsPerPixel) {
    return s && !s->isEmpty() && s->bitsPerPixel() == bitsPerPixel;
}

// Runs a conversion kernel over the whole of `source` into `destination`, only when
// both hold images of the depths the kernel is written for.
void convert(Surface* destination, std::uint16_t destinationBits, const Surface* source, std::uint16_t sourceBits,
             PixelKernel kernel) {
    if (!holdsDepth(destination, destinationBits) || !holdsDepth(source, sourceBits)) return;
    destination->blit(kernel, source, nullptr, 0, 0, nullptr, 0);
}

} // namespace

bool CaptureSurfaces::allocate() {
    surface8_ = allocateSurface(StartupAllocation::Surface8);
    surface16_ = allocateSurface(StartupAllocation::Surface16);
    surface24_ = allocateSurface(StartupAllocation::Surface24);
    surface32_ = allocateSurface(StartupAllocation::Surface32);
    surface48_ = allocateSurface(StartupAllocation::Surface48);
    surface64_ = allocateSurface(StartupAllocation::Surface64);
    work_ = allocateSurface(StartupAllocation::WorkSurface);
    return surface8_ && surface16_ && surface24_ && surface32_ && surface48_ && surface64_ && work_;
}

bool CaptureSurfaces::prepare(std::int32_t type, std::int32_t width, std::int32_t height) {
    if (!isColorTypeValid(type)) return false;
    if (type == 0 || type == 1 || type == 2 || type == 3) {
        if (!create(surface8_, width, height, 8)) return false;
        surface8_->setColorTable(Surface::kColorTableModeGrayRamp, nullptr, 0, 0);
    }
    if ((type == 1 || type == 4 || type == 5) && !create(surface16_, width, height, 16)) return false;
    if (type != 1 && !create(surface24_, width, height, 24)) return false;
    if (type == 3 && !create(surface32_, width, height, 32)) return false;
    if (type == 4 && !create(surface48_, width, height, 48)) return false;
    if (type == 5 && !create(surface64_, width, height, 64)) return false;
    return work_ && work_->createLike(output(type));
}

Surface* CaptureSurfaces::raw(std::int32_t type) const {
    if (isWordTransfer(type)) return surface16_.get();
    if (isByteTransfer(type)) return surface8_.get();
    return nullptr;
}

Surface* CaptureSurfaces::output(std::int32_t type) const {
    switch (type) {
    case 0: return surface8_.get();
    case 1: return surface16_.get();
    case 2: return surface24_.get();
    case 3: return surface32_.get();
    case 4: return surface48_.get();
    case 5: return surface64_.get();
    default: return nullptr;
    }
}

FrameSurfaces CaptureSurfaces::frame(std::int32_t type) const {
    return FrameSurfaces{raw(type), output(type), surface24_.get(), work_.get()};
}

const Surface* CaptureSurfaces::updateDisplayable(std::int32_t type) {
    Surface* image = nullptr;
    switch (type) {
    case 0: image = surface8_.get(); break;
    case 1:
        convert(surface8_.get(), 8, surface16_.get(), 16, convertMono16To8);
        image = surface8_.get();
        break;
    case 2: image = surface24_.get(); break;
    case 3:
        convert(surface24_.get(), 24, surface32_.get(), 32, copyBgr);
        image = surface24_.get();
        break;
    case 4:
        convert(surface24_.get(), 24, surface48_.get(), 48, convertColor16To8);
        image = surface24_.get();
        break;
    case 5:
        convert(surface24_.get(), 24, surface64_.get(), 64, convertColor16To8);
        image = surface24_.get();
        break;
    default: return nullptr;
    }
    return holdsDepth(image, isMonoDisplay(type) ? 8 : 24) ? image : nullptr;
}

} // namespace orvix
