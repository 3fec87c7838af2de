#include "platform/thread.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>

namespace orvix::platform {

namespace {

std::uint32_t kernelThreadId() { return static_cast<std::uint32_t>(syscall(SYS_gettid)); }

// What a new thread needs; owned by the thread itself, so a detached thread keeps
// running safely after its Thread object is gone.
struct Launch {
    std::function<void()> body;
    ThreadPriority priority;
    std::atomic<std::uint32_t>* publishedId; // valid until the id is published
};

// Best effort: an unprivileged process may not raise a thread's priority; a refused
// request changes nothing.
void raisePriority() { (void)setpriority(PRIO_PROCESS, kernelThreadId(), -10); }

void* threadEntry(void* argument) {
    std::unique_ptr<Launch> launch(static_cast<Launch*>(argument));
    if (launch->priority == ThreadPriority::Highest) raisePriority();
    launch->publishedId->store(kernelThreadId(), std::memory_order_release);
    launch->publishedId = nullptr;
    launch->body();
    return nullptr;
}

} // namespace

struct Thread::Impl {
    pthread_t handle{};
    bool running = false;
    std::uint32_t id = 0;
};

Thread::Thread() : impl_(std::make_unique<Impl>()) {}

Thread::~Thread() {
    if (impl_->running) join();
}

bool Thread::start(std::function<void()> body, ThreadPriority priority) {
    if (impl_->running) return false;
    std::atomic<std::uint32_t> publishedId{0};
    auto launch = std::make_unique<Launch>(Launch{std::move(body), priority, &publishedId});
    if (pthread_create(&impl_->handle, nullptr, &threadEntry, launch.get()) != 0) return false;
    (void)launch.release(); // the thread owns it now
    // Wait for the new thread to report its id, so id() is valid once start returns.
    while ((impl_->id = publishedId.load(std::memory_order_acquire)) == 0) sched_yield();
    impl_->running = true;
    return true;
}

bool Thread::running() const { return impl_->running; }
std::uint32_t Thread::id() const { return impl_->running ? impl_->id : 0; }

void Thread::join() {
    if (!impl_->running) return;
    pthread_join(impl_->handle, nullptr);
    impl_->running = false;
    impl_->id = 0;
}

void Thread::detach() {
    if (!impl_->running) return;
    pthread_detach(impl_->handle);
    impl_->running = false;
    impl_->id = 0;
}

std::uint32_t Thread::currentId() { return kernelThreadId(); }

} // namespace orvix::platform
