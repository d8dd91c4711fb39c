#include "core/cleanup.h"

#include <atomic>

#include "core/log.h"
#include "core/shutdown_gate.h"
#include "core/state.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/threads.h"

namespace qvk {

namespace {
// How long the end waits for workers to leave the list and the work folder. A transfer checks
// the shutdown flag every poll, so in practice this is a few milliseconds.
constexpr unsigned kWorkerGraceMs = 3000;
}  // namespace

void RemoveWorkFolder(const std::string& folder) {
    const std::string prefix = folder + platform::PathSeparator();
    for (const std::string& name : platform::ListFiles(folder)) {
        platform::ClearAttributes(prefix + name);
        platform::RemoveFile(prefix + name);
    }
    platform::ClearAttributes(folder);
    platform::RemoveFolder(folder);
}

namespace {
// The thread inside the clean-up; a plain value, so that the fault hook can read it on a thread
// with no stack left to spare.
std::atomic<uint32_t> endingThread{0};
}  // namespace

bool EndingOnThisThread() { return endingThread.load() == platform::CurrentThreadId(); }

namespace {
std::atomic<EndReport> endReport{nullptr};
std::atomic<bool> reported{false};
std::atomic<int> exitCode{0};

void ReportEnd(const std::string& lastLine) {
    const EndReport report = endReport.load();
    if (report && !reported.exchange(true)) exitCode.store(report(lastLine));
}
}  // namespace

void SetEndReport(EndReport report) { endReport.store(report); }

void CleanUpAndExit(const std::string& lastLine) {
    // Taken for good: a second thread that ends the program at the same moment waits here
    // until the first one has ended the process. A fault inside the clean-up that comes back
    // here on the same thread skips straight to the end.
    static platform::Mutex endMutex;
    if (EndingOnThisThread()) BareExit();
    endMutex.Lock();
    endingThread.store(platform::CurrentThreadId());

    KeepLogForThisThread();
    if (!lastLine.empty()) Log(lastLine);
    CloseShutdownGate(kWorkerGraceMs);
    ReportEnd(lastLine);
    state.xnviewRecord = nullptr;
    catalogueJob.xnviewRecord = nullptr;
    state.plugins.clear();
    if (!state.workDir.empty()) RemoveWorkFolder(state.workDir);
    platform::RemoveFile(kCataloguePartFile);
    CloseLog();
    BareExit();
}

void BareExit() {
    ReportEnd("");
    platform::EndProcess(exitCode.load());
}

}  // namespace qvk
