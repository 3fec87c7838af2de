#pragma once
// A mutex the compiler can reason about: std::mutex with clang's thread-safety
// annotations, so fields marked ORVIX_GUARDED_BY(m) are checked to be touched only
// with `m` held (clang -Wthread-safety; the annotations are empty elsewhere).
//
// Conventions of the library: every field that two threads touch is an atomic, or
// guarded by a Mutex and annotated with the mutex that guards it; functions that
// expect a lock held say so with ORVIX_REQUIRES. No lock is held while waiting for a
// thread to end.

#include <mutex>

#if defined(__clang__)
#define ORVIX_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define ORVIX_THREAD_ANNOTATION(x)
#endif

#define ORVIX_CAPABILITY(name) ORVIX_THREAD_ANNOTATION(capability(name))
#define ORVIX_SCOPED_CAPABILITY ORVIX_THREAD_ANNOTATION(scoped_lockable)
#define ORVIX_GUARDED_BY(m) ORVIX_THREAD_ANNOTATION(guarded_by(m))
#define ORVIX_PT_GUARDED_BY(m) ORVIX_THREAD_ANNOTATION(pt_guarded_by(m))
#define ORVIX_ACQUIRED_AFTER(...) ORVIX_THREAD_ANNOTATION(acquired_after(__VA_ARGS__))
#define ORVIX_REQUIRES(...) ORVIX_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define ORVIX_EXCLUDES(...) ORVIX_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ORVIX_ACQUIRE(...) ORVIX_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define ORVIX_RELEASE(...) ORVIX_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define ORVIX_TRY_ACQUIRE(...) ORVIX_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define ORVIX_RETURN_CAPABILITY(x) ORVIX_THREAD_ANNOTATION(lock_returned(x))
#define ORVIX_NO_THREAD_SAFETY_ANALYSIS ORVIX_THREAD_ANNOTATION(no_thread_safety_analysis)

namespace orvix {

class ORVIX_CAPABILITY("mutex") Mutex {
public:
    Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    void lock() ORVIX_ACQUIRE() { mutex_.lock(); }
    void unlock() ORVIX_RELEASE() { mutex_.unlock(); }
    bool try_lock() ORVIX_TRY_ACQUIRE(true) { return mutex_.try_lock(); }

private:
    std::mutex mutex_;
};

// Holds a Mutex for its scope.
class ORVIX_SCOPED_CAPABILITY MutexLock {
public:
    explicit MutexLock(Mutex& mutex) ORVIX_ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
    ~MutexLock() ORVIX_RELEASE() { mutex_.unlock(); }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

private:
    Mutex& mutex_;
};

} // namespace orvix
