#include "diagnostics/log.h"

#include <atomic>
#include <cstdio>

#include "diagnostics/host_os.h"
#include "driver/state.h"
#include "platform/clock.h"
#include "platform/console.h"
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

std::string TwoDigits(int value) {
    return std::string(1, char('0' + value / 10 % 10)) + char('0' + value % 10);
}

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
    if (MayWrite()) WriteLines(text + "\r\n");
}

void LogLines(const std::vector<std::string>& texts) {
    if (!MayWrite()) return;
    std::string lines;
    for (const std::string& text : texts) lines += text + "\r\n";
    WriteLines(lines);
}

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

std::string FormatBuildTime(long long seconds, const std::string& mask) {
    long long days = seconds / 86400;
    long long rest = seconds % 86400;
    if (rest < 0) { rest += 86400; --days; }
    // Civil date from a day count (proleptic Gregorian), so no C library time zone is involved.
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long doe = days - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const int day = int(doy - (153 * mp + 2) / 5 + 1);
    const int month = int(mp < 10 ? mp + 3 : mp - 9);
    const long long year = yoe + era * 400 + (month <= 2 ? 1 : 0);

    std::string out;
    for (size_t i = 0; i < mask.size();) {
        auto token = [&](const char* t) { return mask.compare(i, std::char_traits<char>::length(t), t) == 0; };
        if (token("%yyyy")) { out += std::to_string(year); i += 5; }
        else if (token("%mm")) { out += TwoDigits(month); i += 3; }
        else if (token("%dd")) { out += TwoDigits(day); i += 3; }
        else if (token("%hh")) { out += TwoDigits(int(rest / 3600)); i += 3; }
        else if (token("%ii")) { out += TwoDigits(int(rest / 60 % 60)); i += 3; }
        else if (token("%ss")) { out += TwoDigits(int(rest % 60)); i += 3; }
        else out += mask[i++];
    }
    return out;
}

std::string ReleaseBannerLine() {
    return std::string("QVK release ") + kRelease + ". Build " +
           FormatBuildTime(kBuildTime, "%dd/%mm/%yyyy, %hh:%ii:%ss");
}

void ActivateDebug() {
    if (state.debugMode) return;
    std::remove(kLogFileName);
    std::FILE* file = std::fopen(kLogFileName, "w+b");
    if (!file) file = std::fopen(kLogFileName, "wb");
    if (!file) return;
    std::setvbuf(file, nullptr, _IOFBF, 4096);
    {
        LogLock lock;
        logFile = file;
    }
    platform::OpenConsole();
    state.debugMode = true;
    logOn.store(true, std::memory_order_release);
    Log("Debug mode launched");
    Log(ReleaseBannerLine());
    DescribeHostOs();
    if (state.safeMode) Log("Safe mode enabled. Use it only if you know what you're doing!");
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

void WaitForKey() {
    if (!state.debugMode) return;
    platform::ConsoleWrite("Press key to continue...\r\n");
    platform::ConsoleWaitKey();
}

}  // namespace qvk
