// The diagnostic log writer: silent until debug mode switches it on, then every line goes to
// the debug console and to the log file. Safe to call from any thread.
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
// Creates the log file anew and switches the log on; false, and the log stays off, when the
// file cannot be created: `why` then gets the system's reason (" (5: Access is denied.)").
bool StartLog(const std::string& fileName, std::string* why = nullptr);
// Flushes and closes the file, releases the console; later lines are dropped.
void CloseLog();
// From now on only the calling thread's lines are written: the orderly end's lines stay the
// last ones of the file, whatever a worker still running says meanwhile.
void KeepLogForThisThread();
bool LogIsOn();

// While one lives, the calling thread's lines are kept in it instead of written: a transfer run
// beside others keeps its lines together, and whoever owns the record writes them (LogLines)
// in the list's order. Nested captures keep to the innermost.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;
    // The lines kept so far, in their order; the capture goes on empty.
    std::vector<std::string> Take();

private:
    friend void Log(const std::string& text);
    friend void LogLines(const std::vector<std::string>& texts);
    std::vector<std::string> lines_;
    LogCapture* outer_;
};

// For the crash path. `isHeldStill` tells whether a thread is held still after a fault: when
// such a thread holds the log's lock, writers go past the lock instead of waiting for ever.
void SetHeldStillTest(bool (*isHeldStill)(uint32_t thread));
bool LogHeldBy(uint32_t thread);
// A thread about to be ended gives back the lock it may hold.
void LeaveLogLockOfThisThread();

}  // namespace qvk
