// Every way out of the installer.
#pragma once
#include <string>

namespace qvk {

// The orderly end, from any thread: last log line, plugin list emptied, work folder emptied
// and removed, partial catalogue download deleted, log closed, exit code 0. Never returns.
// A second caller (two threads ending at once) waits here until the first has ended the process.
[[noreturn]] void CleanUpAndExit(const std::string& lastLine);
// True on the thread that is running CleanUpAndExit.
bool EndingOnThisThread();
// The bare exit: only the platform runtime is released. Never returns.
[[noreturn]] void BareExit();

// The unattended mode's account of the run. Called once, by the orderly end (once the workers
// have left the plugin list and the work folder, before both are cleared) or else by the bare
// exit, with the last log line; what it returns is the process's exit code. Without one, as in
// the wizard, every end has exit code 0.
using EndReport = int (*)(const std::string& lastLine);
void SetEndReport(EndReport report);

// Deletes the plain files of a folder (read-only and hidden ones too), then the folder itself;
// sub-folders are not entered, so a folder that holds one stays. Every failure is silent.
void RemoveWorkFolder(const std::string& folder);

}  // namespace qvk
