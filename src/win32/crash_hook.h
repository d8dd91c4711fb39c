// The system's side of the crash report: the hook for faults that nothing handles, in any thread.
#pragma once

namespace qvk::win32 {

// Installs the hook and starts the thread that writes the reports. Called once at start-up,
// before the options are read.
void InstallCrashHook();

}  // namespace qvk::win32
