// Keeps worker threads away from the plugin list and the work folder once the orderly end has
// begun. The end does not stop the workers (nothing may join them), so instead each worker
// brackets its use of shared data with a WorkSection; CleanUpAndExit closes the gate, waits
// for the sections in flight to leave, and from then on a worker that tries to enter parks
// until the process is gone.
#pragma once
#include <atomic>

namespace qvk {

// True once the orderly end has begun; long operations (a transfer) poll it to stop early.
const std::atomic<bool>& ShutdownRequested();

class WorkSection {
public:
    WorkSection();   // parks the calling thread for good when the end has begun
    ~WorkSection();
    WorkSection(const WorkSection&) = delete;
    WorkSection& operator=(const WorkSection&) = delete;
};

// Closes the gate and waits, at most timeoutMs, until no other thread is inside a section.
// Sections held by the calling thread itself (a worker that ends the program) do not count.
// Returns false when the wait timed out.
bool CloseShutdownGate(unsigned timeoutMs);

// For a thread that is ended in the middle of its work (after a fault): its sections no longer
// hold the end back.
void LeaveWorkSectionsOfThisThread();

// For the tests: reopens the gate.
void ResetShutdownGateForTests();

}  // namespace qvk
