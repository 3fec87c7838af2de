#include "platform/event.h"

#include <windows.h>

namespace orvix::platform {

struct Event::Impl {
    HANDLE handle = nullptr;
    ~Impl() {
        if (handle) CloseHandle(handle);
    }
};

Event::Event() : impl_(std::make_unique<Impl>()) {
    impl_->handle = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}
Event::~Event() = default;

bool Event::valid() const { return impl_->handle != nullptr; }
void Event::set() {
    if (impl_->handle) SetEvent(impl_->handle);
}
void Event::reset() {
    if (impl_->handle) ResetEvent(impl_->handle);
}
bool Event::isSet() const {
    return impl_->handle && WaitForSingleObject(impl_->handle, 0) == WAIT_OBJECT_0;
}
bool Event::wait(std::uint32_t timeoutMs) const {
    if (!impl_->handle) return false;
    const DWORD timeout = timeoutMs == kWaitForever ? INFINITE : timeoutMs;
    return WaitForSingleObject(impl_->handle, timeout) == WAIT_OBJECT_0;
}

} // namespace orvix::platform
