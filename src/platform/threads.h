// Worker threads and the one lock kind the program uses. Built on the system's own calls so the
// Windows program needs no threading runtime beside it and imports nothing newer than XP.
#pragma once
#include <cstddef>
#include <cstdint>

namespace qvk::platform {

using ThreadHandle = void*;  // 0 until started
using ThreadBody = void (*)(void* argument);

// Starts a thread running body(argument); 0 when it cannot be started.
ThreadHandle StartThread(ThreadBody body, void* argument);
// Without waiting: false for a 0 handle, so a thread that never started counts as ended.
bool ThreadRunning(ThreadHandle handle);
// The system's number of the calling thread (never 0).
uint32_t CurrentThreadId();

// A plain, non-recursive lock. Objects at namespace scope are ready before main.
class Mutex {
public:
    Mutex();
    ~Mutex();
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;
    void Lock();
    // Takes the lock only when that needs no wait.
    bool TryLock();
    void Unlock();

private:
    // Large enough for a CRITICAL_SECTION or a pthread mutex on both word sizes.
    alignas(8) unsigned char storage_[64];
};

// Wakes a thread that waits for it; a wake given while nobody waits is kept for the next wait,
// and several given meanwhile count as one. For one waiter.
class Signal {
public:
    Signal();
    ~Signal();
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;
    void Raise();
    // False when `timeoutMs` passed without a wake.
    bool Wait(unsigned timeoutMs);

private:
    // A pthread mutex, condition and flag, or an event's handle.
    alignas(8) unsigned char storage_[128];
};

class MutexLock {
public:
    explicit MutexLock(Mutex& mutex) : mutex_(mutex) { mutex_.Lock(); }
    ~MutexLock() { mutex_.Unlock(); }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

private:
    Mutex& mutex_;
};

}  // namespace qvk::platform
