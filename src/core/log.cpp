#include "core/log.h"

#include <atomic>
#include <cstdio>
#include <utility>

#include "core/state.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/threads.h"

namespace qvk {
namespace {

// One lock for both sinks: a line reaches the console and the file whole, lines of several
// threads never mix, and CloseLog cannot close the file under a writer.
platform::Mutex logMutex;
std::FILE* logFile = nullptr;
// Read without the lock so that a silent log costs one load.
std::atomic<bool> logOn{false};
std::atomic<bool> logReserved{false};
thread_local bool logOwner = false;
thread_local LogCapture* capture = nullptr;
// Who holds the lock. A thread that faulted while holding it is held still by the crash path and
// will never let go; the crash report and the orderly end write past it instead of waiting.
std::atomic<uint32_t> holder{0};
std::atomic<bool (*)(uint32_t)> heldStill{nullptr};

// Takes the lock, unless its holder is a thread held still after a fault (then the caller
// writes alone anyway: that holder runs no more). Contention is rare and short, so a polled
// try-lock costs nothing worth a wait list, and it can notice a holder that stops meanwhile.
class LogLock {
public:
    LogLock() {
        for (unsigned tries = 0;; ++tries) {
            if (logMutex.TryLock()) {
                holder.store(platform::CurrentThreadId());
                locked_ = true;
                return;
            }
            const uint32_t owner = holder.load();
            bool (*stopped)(uint32_t) = heldStill.load();
            if (owner != 0 && stopped && stopped(owner)) return;
            platform::SleepMs(tries < 50 ? 0 : 1);
        }
    }
    ~LogLock() {
        if (!locked_) return;
        holder.store(0);
        logMutex.Unlock();
    }
    LogLock(const LogLock&) = delete;
    LogLock& operator=(const LogLock&) = delete;

private:
    bool locked_ = false;
};

bool MayWrite() {
    return logOn.load(std::memory_order_acquire) &&
           (logOwner || !logReserved.load(std::memory_order_acquire));
}

// Whole lines, made before the lock: a fault while reading a bad text then happens outside it.
// Asked again under the lock: a thread that passed the first look just before the end took the
// log for itself would otherwise write its line after the end's last one.
void WriteLines(const std::string& lines) {
    LogLock lock;
    if (!logFile || !MayWrite()) return;
    platform::ConsoleWrite(lines);
    std::fwrite(lines.data(), 1, lines.size(), logFile);
}

}  // namespace

void Log(const std::string& text) {
    if (!MayWrite()) return;
    if (capture)
        capture->lines_.push_back(text);
    else
        WriteLines(text + "\r\n");
}

void LogLines(const std::vector<std::string>& texts) {
    if (!MayWrite()) return;
    if (capture) {
        capture->lines_.insert(capture->lines_.end(), texts.begin(), texts.end());
        return;
    }
    std::string lines;
    for (const std::string& text : texts) lines += text + "\r\n";
    WriteLines(lines);
}

LogCapture::LogCapture() : outer_(capture) { capture = this; }

LogCapture::~LogCapture() { capture = outer_; }

std::vector<std::string> LogCapture::Take() { return std::exchange(lines_, {}); }

void FlushLog() {
    if (!logOn.load(std::memory_order_acquire)) return;
    LogLock lock;
    if (logFile) std::fflush(logFile);
}

void SetHeldStillTest(bool (*isHeldStill)(uint32_t thread)) { heldStill.store(isHeldStill); }

bool LogHeldBy(uint32_t thread) { return holder.load() == thread; }

void LeaveLogLockOfThisThread() {
    if (holder.load() != platform::CurrentThreadId()) return;
    holder.store(0);
    logMutex.Unlock();
}

void KeepLogForThisThread() {
    logOwner = true;
    logReserved.store(true, std::memory_order_release);
}

bool LogIsOn() { return logOn.load(std::memory_order_acquire); }

bool StartLog(const std::string& fileName, std::string* why) {
    std::remove(fileName.c_str());
    std::FILE* file = std::fopen(fileName.c_str(), "w+b");
    if (!file) file = std::fopen(fileName.c_str(), "wb");
    if (!file) {
        if (why) *why = platform::LastErrorText();
        return false;
    }
    std::setvbuf(file, nullptr, _IOFBF, 4096);
    LogLock lock;
    logFile = file;
    logOn.store(true, std::memory_order_release);
    return true;
}

void CloseLog() {
    LogLock lock;
    if (!logFile) return;
    logOn.store(false, std::memory_order_release);
    std::fclose(logFile);
    logFile = nullptr;
    platform::CloseConsole();
    state.debugMode = false;
}

}  // namespace qvk
