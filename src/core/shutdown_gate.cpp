#include "core/shutdown_gate.h"

#include "platform/clock.h"
#include "platform/threads.h"

namespace qvk {
namespace {

platform::Mutex gateMutex;
std::atomic<bool> closing{false};
int activeSections = 0;
thread_local int ownSections = 0;

[[noreturn]] void ParkForever() {
    // The process is ending; this thread only has to stay out of the way until it is gone.
    for (;;) platform::SleepMs(3600 * 1000);
}

int OtherSections() {
    platform::MutexLock lock(gateMutex);
    return activeSections - ownSections;
}

}  // namespace

const std::atomic<bool>& ShutdownRequested() { return closing; }

WorkSection::WorkSection() {
    gateMutex.Lock();
    // A thread already inside a section may nest: the gate waits for its outer section anyway.
    if (closing.load() && ownSections == 0) {
        gateMutex.Unlock();
        ParkForever();
    }
    ++activeSections;
    ++ownSections;
    gateMutex.Unlock();
}

WorkSection::~WorkSection() {
    platform::MutexLock lock(gateMutex);
    --activeSections;
    --ownSections;
}

bool CloseShutdownGate(unsigned timeoutMs) {
    {
        platform::MutexLock lock(gateMutex);
        closing.store(true);
    }
    // Sections are short (a file read, a list walk): polling costs nothing worth a condition.
    const uint32_t start = platform::TickCount();
    while (OtherSections() > 0) {
        if (platform::TickCount() - start >= timeoutMs) return false;
        platform::SleepMs(1);
    }
    return true;
}

void LeaveWorkSectionsOfThisThread() {
    platform::MutexLock lock(gateMutex);
    activeSections -= ownSections;
    ownSections = 0;
}

void ResetShutdownGateForTests() {
    platform::MutexLock lock(gateMutex);
    closing.store(false);
}

}  // namespace qvk
