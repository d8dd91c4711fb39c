// What a worker's start routine notes about its own stack, for the fault hook: a worker that
// must be ended after a fault continues below `stackTop`, away from the frames that faulted,
// with the (32-bit) handler chain it started with.
#pragma once

namespace qvk::win32 {

struct ThreadFrame {
    void* stackTop;
    void* exceptionList;
};

// The calling thread's note, or none for a thread that platform::StartThread did not start.
const ThreadFrame* StartedThreadFrame();

}  // namespace qvk::win32
