#pragma once
// Manual-reset event (CreateEventA with manual reset on Windows; a mutex and a
// condition variable elsewhere). Once set it stays set until reset.

#include <cstdint>
#include <memory>

namespace orvix::platform {

inline constexpr std::uint32_t kWaitForever = 0xFFFFFFFFu;

class Event {
public:
    // Creates a manual-reset event, not signalled. Check valid(): creation can fail.
    Event();
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    bool valid() const;
    void set();
    void reset();
    bool isSet() const;
    // Waits until the event is set or the time-out passes; true when it was set.
    bool wait(std::uint32_t timeoutMs = kWaitForever) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace orvix::platform
