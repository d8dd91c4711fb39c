#include "shutdown_gate.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace qvk {
namespace {

std::mutex gateMutex;
std::condition_variable gateChanged;
std::atomic<bool> closing{false};
int activeSections = 0;
thread_local int ownSections = 0;

[[noreturn]] void ParkForever() {
    // The process is ending; this thread only has to stay out of the way until it is gone.
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

}  // namespace

const std::atomic<bool>& ShutdownRequested() { return closing; }

WorkSection::WorkSection() {
    std::unique_lock<std::mutex> lock(gateMutex);
    // A thread already inside a section may nest: the gate waits for its outer section anyway.
    if (closing.load() && ownSections == 0) {
        lock.unlock();
        ParkForever();
    }
    ++activeSections;
    ++ownSections;
}

WorkSection::~WorkSection() {
    std::lock_guard<std::mutex> lock(gateMutex);
    --activeSections;
    --ownSections;
    gateChanged.notify_all();
}

bool CloseShutdownGate(unsigned timeoutMs) {
    std::unique_lock<std::mutex> lock(gateMutex);
    closing.store(true);
    return gateChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [] { return activeSections - ownSections <= 0; });
}

void ResetShutdownGateForTests() {
    std::lock_guard<std::mutex> lock(gateMutex);
    closing.store(false);
}

}  // namespace qvk
