// The diagnostic log: silent until -debug or -safemode switches it on, then every line goes to
// the debug console and to "qvk.log". Safe to call from any thread.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace qvk {

void Log(const std::string& text);
// Puts what the file buffer holds on disk.
void FlushLog();
// Several lines in one piece: no other thread's line comes between them.
void LogLines(const std::vector<std::string>& texts);
// Debug activation: opens "qvk.log" and the console, writes the start banner. Does nothing
// when diagnostics are already on; leaves them off when the file cannot be created.
void ActivateDebug();
// Flushes and closes the file, releases the console; later lines are dropped.
void CloseLog();
// From now on only the calling thread's lines are written: the orderly end's lines stay the
// last ones of the file, whatever a worker still running says meanwhile.
void KeepLogForThisThread();
bool LogIsOn();

// For the crash path. `isHeldStill` tells whether a thread is held still after a fault: when
// such a thread holds the log's lock, writers go past the lock instead of waiting for ever.
void SetHeldStillTest(bool (*isHeldStill)(uint32_t thread));
bool LogHeldBy(uint32_t thread);
// A thread about to be ended gives back the lock it may hold.
void LeaveLogLockOfThisThread();
// In debug mode: prompt on the console and wait for a key that gives a character.
void WaitForKey();

// Banner pieces, exposed for the tests.
std::string FormatBuildTime(long long secondsSince1970, const std::string& mask);
std::string ReleaseBannerLine();

}  // namespace qvk
