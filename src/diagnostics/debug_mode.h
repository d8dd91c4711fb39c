// Debug mode: -debug and -safemode switch on the log file "qvk.log" and the debug console, and
// the log starts with the release banner and the host OS line.
#pragma once
#include <string>

namespace qvk {

// Opens the log's file (state.logFile) and the console, writes the start banner. Does nothing
// when diagnostics are already on; leaves them off when the file cannot be created, and then
// gives the system's reason in `why`. True when diagnostics are on at the end.
bool ActivateDebug(std::string* why = nullptr);
// In debug mode: prompt on the console and wait for a key that gives a character.
void WaitForKey();

// Banner pieces, exposed for the tests.
std::string FormatBuildTime(long long secondsSince1970, const std::string& mask);
std::string ReleaseBannerLine();

}  // namespace qvk
