// The diagnostic log: silent until -debug or -safemode switches it on, then every line goes to
// the debug console and to "qvk.log". Safe to call from any thread.
#pragma once
#include <string>

namespace qvk {

void Log(const std::string& text);
// Debug activation: opens "qvk.log" and the console, writes the start banner. Does nothing
// when diagnostics are already on; leaves them off when the file cannot be created.
void ActivateDebug();
// Flushes and closes the file, releases the console; later lines are dropped.
void CloseLog();
// From now on only the calling thread's lines are written: the orderly end's lines stay the
// last ones of the file, whatever a worker still running says meanwhile.
void KeepLogForThisThread();
bool LogIsOn();
// In debug mode: prompt on the console and wait for a key that gives a character.
void WaitForKey();

// Banner pieces, exposed for the tests.
std::string FormatBuildTime(long long secondsSince1970, const std::string& mask);
std::string ReleaseBannerLine();

}  // namespace qvk
