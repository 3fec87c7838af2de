#include "platform/event.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace orvix::platform {

struct Event::Impl {
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    bool signalled = false;
};

Event::Event() : impl_(std::make_unique<Impl>()) {}
Event::~Event() = default;

bool Event::valid() const { return impl_ != nullptr; }

void Event::set() {
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        impl_->signalled = true;
    }
    impl_->changed.notify_all();
}

void Event::reset() {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->signalled = false;
}

bool Event::isSet() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->signalled;
}

bool Event::wait(std::uint32_t timeoutMs) const {
    std::unique_lock<std::mutex> lock(impl_->mutex);
    if (timeoutMs == kWaitForever) {
        impl_->changed.wait(lock, [this] { return impl_->signalled; });
        return true;
    }
    return impl_->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                   [this] { return impl_->signalled; });
}

} // namespace orvix::platform
