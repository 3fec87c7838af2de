#include "platform/thread.h"

#include <windows.h>

namespace orvix::platform {

namespace {

// What a new thread needs; owned by the thread itself, so a detached thread keeps
// running safely after its Thread object is gone.
struct Launch {
    std::function<void()> body;
};

DWORD WINAPI threadEntry(LPVOID argument) {
    std::unique_ptr<Launch> launch(static_cast<Launch*>(argument));
    launch->body();
    return 0;
}

} // namespace

struct Thread::Impl {
    HANDLE handle = nullptr;
    DWORD id = 0;
};

Thread::Thread() : impl_(std::make_unique<Impl>()) {}

Thread::~Thread() {
    if (impl_->handle) join();
}

bool Thread::start(std::function<void()> body, ThreadPriority priority) {
    if (impl_->handle) return false;
    auto launch = std::make_unique<Launch>(Launch{std::move(body)});
    impl_->handle = CreateThread(nullptr, 0, &threadEntry, launch.get(), CREATE_SUSPENDED, &impl_->id);
    if (!impl_->handle) {
        impl_->id = 0;
        return false;
    }
    (void)launch.release(); // the thread owns it now
    if (priority == ThreadPriority::Highest) SetThreadPriority(impl_->handle, THREAD_PRIORITY_HIGHEST);
    ResumeThread(impl_->handle);
    return true;
}

bool Thread::running() const { return impl_->handle != nullptr; }
std::uint32_t Thread::id() const { return impl_->handle ? impl_->id : 0; }

void Thread::join() {
    if (!impl_->handle) return;
    WaitForSingleObject(impl_->handle, INFINITE);
    CloseHandle(impl_->handle);
    impl_->handle = nullptr;
    impl_->id = 0;
}

void Thread::detach() {
    if (!impl_->handle) return;
    CloseHandle(impl_->handle);
    impl_->handle = nullptr;
    impl_->id = 0;
}

std::uint32_t Thread::currentId() { return GetCurrentThreadId(); }

} // namespace orvix::platform
