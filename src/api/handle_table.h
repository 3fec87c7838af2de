#pragma once
// The process-wide table of live camera handles.
//
// The nodes form a circular doubly linked list without a fixed head; `cursor` is where
// the next search starts and every search moves it, so repeated calls with one handle
// cost one comparison. A lock makes the table safe for applications that call from
// several threads. The table owns its Cameras through shared pointers: an exported
// call keeps its Camera alive while it runs, so a release from another thread never
// frees a Camera under a running call (the Camera then goes when that call returns).

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/mutex.h"

namespace orvix {

class Camera;

class CameraHandleTable {
public:
    struct Node {
        std::uint32_t handle = 0;
        std::shared_ptr<Camera> camera;
        Node* prev = nullptr;
        Node* next = nullptr;
    };

    using CameraFactory = std::function<std::shared_ptr<Camera>()>;
    using CameraStartUp = std::function<void(Camera&)>;

    CameraHandleTable();
    explicit CameraHandleTable(CameraFactory factory);
    ~CameraHandleTable(); // clear(): Cameras still registered are not destroyed
    CameraHandleTable(const CameraHandleTable&) = delete;
    CameraHandleTable& operator=(const CameraHandleTable&) = delete;

    // The one table of the process, constructed when the library is loaded.
    static CameraHandleTable& instance();

    // Creates a Camera with its defaults, runs `startUp` on it before anyone can look
    // it up, and returns its new handle, or 0 when it could not be allocated. The
    // cursor ends on the new node. Handles are never 0 and never equal a live handle.
    // The first Camera pins the library in memory (cameras never released keep
    // threads running in it).
    std::uint32_t create(const CameraStartUp& startUp = {});

    // Finds the handle and returns its Camera (null when unknown).
    std::shared_ptr<Camera> lookup(std::uint32_t handle);

    // Removes the node, shuts the handle's Camera down and destroys it (after any
    // call still running on it). A Camera whose capture thread did not end within its
    // bound is kept alive instead, never freed under that thread. 1 when the handle
    // was known, 0 otherwise.
    int release(std::uint32_t handle);

    // Frees every node. Cameras still registered are deliberately kept alive and
    // never destroyed: tearing them down during library unload would save settings
    // and wait for threads at a point where that is unsafe.
    void clear();

    // ---- the list operations themselves, for tests and diagnostics ---------------
    // Searches from the cursor, leaving the cursor on the node found, or on the node
    // before the starting one when the handle is unknown. `visited` receives the
    // handles compared, in order.
    Node* find(std::uint32_t handle, std::vector<std::uint32_t>* visited = nullptr);
    int remove(std::uint32_t handle);
    int count() const;
    std::uint32_t cursorHandle() const; // 0 when empty

private:
    std::uint32_t drawHandleLocked() const ORVIX_REQUIRES(mutex_);
    Node* findLocked(std::uint32_t handle, std::vector<std::uint32_t>* visited) ORVIX_REQUIRES(mutex_);
    int removeLocked(std::uint32_t handle) ORVIX_REQUIRES(mutex_);
    void insertLocked(std::unique_ptr<Node> node) ORVIX_REQUIRES(mutex_);
    bool containsLocked(std::uint32_t handle) const ORVIX_REQUIRES(mutex_);

    CameraFactory factory_;
    mutable Mutex mutex_;
    Node* cursor_ ORVIX_GUARDED_BY(mutex_) = nullptr;
    std::int32_t count_ ORVIX_GUARDED_BY(mutex_) = 0;
};

} // namespace orvix
