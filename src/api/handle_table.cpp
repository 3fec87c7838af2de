#include "api/handle_table.h"

#include <cstdlib>
#include <new>

#include "platform/no_destructor.h"
#include "camera/camera.h"
#include "platform/clock.h"
#include "platform/library_module.h"

namespace orvix {

namespace {

// Cameras that were never released when the library is unloaded, and cameras whose
// capture thread did not end in time at release. They are kept reachable here for
// the rest of the process instead of being destroyed.
std::vector<std::shared_ptr<Camera>>& unreleasedCameras() {
    static NoDestructor<std::vector<std::shared_ptr<Camera>>> cameras;
    return cameras.get();
}

// The process table: a namespace-scope object, so it exists from library load.
CameraHandleTable processTable;

} // namespace

CameraHandleTable::CameraHandleTable()
    : CameraHandleTable([] { return std::make_shared<Camera>(); }) {}

CameraHandleTable::CameraHandleTable(CameraFactory factory) : factory_(std::move(factory)) {}

CameraHandleTable::~CameraHandleTable() { clear(); }

CameraHandleTable& CameraHandleTable::instance() { return processTable; }

std::uint32_t CameraHandleTable::drawHandleLocked() const {
    // The wrapping sum of rand(), the tick count and the number of entries. The value
    // only has to be an identity; 0 and values already in use are drawn again.
    for (;;) {
        const std::uint32_t handle = static_cast<std::uint32_t>(std::rand()) + platform::tickCount() +
                                     static_cast<std::uint32_t>(count_);
        if (handle != 0 && !containsLocked(handle)) return handle;
    }
}

bool CameraHandleTable::containsLocked(std::uint32_t handle) const {
    if (!cursor_) return false;
    const Node* node = cursor_;
    do {
        if (node->handle == handle) return true;
        node = node->next;
    } while (node != cursor_);
    return false;
}

std::uint32_t CameraHandleTable::create(const CameraStartUp& startUp) {
    std::shared_ptr<Camera> camera;
    try {
        camera = factory_();
    } catch (const std::bad_alloc&) {
        return 0;
    }
    if (!camera) return 0;
    platform::pinLibrary();
    if (startUp) startUp(*camera);
    std::unique_ptr<Node> node;
    try {
        node = std::make_unique<Node>();
    } catch (const std::bad_alloc&) {
        return 0;
    }
    MutexLock lock(mutex_);
    node->handle = drawHandleLocked();
    node->camera = std::move(camera);
    const std::uint32_t handle = node->handle;
    insertLocked(std::move(node));
    return handle;
}

void CameraHandleTable::insertLocked(std::unique_ptr<Node> owned) {
    Node* node = owned.release(); // the list owns its nodes from here on
    if (!cursor_) {
        node->prev = node;
        node->next = node;
    } else {
        node->prev = cursor_->prev;
        node->next = cursor_;
        cursor_->prev->next = node;
        cursor_->prev = node;
    }
    cursor_ = node;
    ++count_;
}

CameraHandleTable::Node* CameraHandleTable::findLocked(std::uint32_t handle,
                                                        std::vector<std::uint32_t>* visited) {
    if (!cursor_) return nullptr;
    const std::uint32_t last = cursor_->prev->handle;
    for (;;) {
        if (visited) visited->push_back(cursor_->handle);
        if (cursor_->handle == handle) return cursor_;
        if (cursor_->handle == last) return nullptr;
        cursor_ = cursor_->next;
    }
}

CameraHandleTable::Node* CameraHandleTable::find(std::uint32_t handle, std::vector<std::uint32_t>* visited) {
    MutexLock lock(mutex_);
    return findLocked(handle, visited);
}

std::shared_ptr<Camera> CameraHandleTable::lookup(std::uint32_t handle) {
    MutexLock lock(mutex_);
    Node* node = findLocked(handle, nullptr);
    return node ? node->camera : nullptr;
}

int CameraHandleTable::removeLocked(std::uint32_t handle) {
    if (!findLocked(handle, nullptr)) return 0;
    std::unique_ptr<Node> node(cursor_); // freed when this function returns
    if (count_ == 1) {
        cursor_ = nullptr;
    } else {
        node->prev->next = node->next;
        node->next->prev = node->prev;
        cursor_ = node->next;
    }
    --count_;
    return 1;
}

int CameraHandleTable::remove(std::uint32_t handle) {
    MutexLock lock(mutex_);
    return removeLocked(handle);
}

int CameraHandleTable::release(std::uint32_t handle) {
    std::shared_ptr<Camera> camera;
    {
        MutexLock lock(mutex_);
        Node* node = findLocked(handle, nullptr);
        if (!node) return 0;
        camera = std::move(node->camera);
        removeLocked(handle);
    }
    // Shut down and destroyed here, outside the lock (its destructor saves settings),
    // unless a call on another thread still holds it.
    if (camera && !camera->shutDown()) {
        MutexLock lock(mutex_);
        unreleasedCameras().push_back(camera);
    }
    camera.reset();
    return 1;
}

void CameraHandleTable::clear() {
    MutexLock lock(mutex_);
    while (cursor_) {
        if (cursor_->camera) unreleasedCameras().push_back(std::move(cursor_->camera));
        removeLocked(cursor_->handle);
    }
}

int CameraHandleTable::count() const {
    MutexLock lock(mutex_);
    return count_;
}

std::uint32_t CameraHandleTable::cursorHandle() const {
    MutexLock lock(mutex_);
    return cursor_ ? cursor_->handle : 0;
}

} // namespace orvix
