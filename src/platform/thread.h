#pragma once
// Worker threads with a scheduling priority (CreateThread / SetThreadPriority on
// Windows, pthreads elsewhere; raising the priority is best effort there).

#include <cstdint>
#include <functional>
#include <memory>

namespace orvix::platform {

enum class ThreadPriority { Normal, Highest };

class Thread {
public:
    Thread();
    ~Thread(); // joins a thread that was neither joined nor detached
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Starts `body` on a new thread. False when the thread could not be created.
    bool start(std::function<void()> body, ThreadPriority priority = ThreadPriority::Normal);
    bool running() const;  // started and neither joined nor detached
    std::uint32_t id() const; // non-zero while running
    void join();
    void detach();

    // Id of the calling thread (never 0).
    static std::uint32_t currentId();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace orvix::platform
