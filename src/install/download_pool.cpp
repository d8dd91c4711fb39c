#include "install/download_pool.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "core/log.h"
#include "core/shutdown_gate.h"
#include "core/text_helpers.h"
#include "diagnostics/crash_report.h"
#include "diagnostics/source_position.h"
#include "install/download.h"
#include "kitehttp.h"
#include "platform/files.h"
#include "platform/threads.h"
#include "texts/language.h"
#include "window/ui.h"

namespace qvk {
namespace {

enum class Phase { Waiting, Running, Done };

struct Slot {
    PluginRecord* record = nullptr;
    std::string path;                // its work file; empty for a record not asked for
    std::string server;              // host:port, the unit of the per-server limit
    Phase phase = Phase::Done;
    std::vector<std::string> lines;  // its log lines, written once it is settled in order
};

// Shared by the coordinating download thread, its transfer workers and the install thread.
// Records are written only by the worker that owns their slot until the slot is done; the lock
// hands them over.
struct Board {
    platform::Mutex mutex;
    platform::Signal slotDone;  // the coordinator's wake
    platform::Signal settled;   // the install thread's wake
    std::vector<Slot> slots;
    bool listed = false;        // `slots` is complete
    std::size_t flushed = 0;    // slots settled from the list's start
    int asked = 0;              // records to download
    int askedSettled = 0;       // of them, settled
    int fetched = 0;            // of them, fetched
    int installed = 0;          // archives the install is done with
    int barShown = -1;
};

Board board;

int RunningOn(const std::string& server) {
    int running = 0;
    for (const Slot& slot : board.slots)
        if (slot.phase == Phase::Running && slot.server == server) ++running;
    return running;
}

// Under the board's lock. Both halves only grow: a failed download lowers the installs still
// expected as it raises the records settled.
void ShowBar() {
    if (board.asked == 0) return;
    const int expected = board.fetched + (board.asked - board.askedSettled);
    const int value = 100 * board.askedSettled / board.asked +
                      (expected > 0 ? 100 * board.installed / expected : 100);
    if (value == board.barShown) return;
    board.barShown = value;
    CurrentUi()->SetProgress(TotalProgressBar, value);
}

// Four transfers' sizes and speeds at once would only flicker: each names its file once, when
// the server has answered.
void NameTransfer(kite::HttpTransfer* transfer) {
    if (transfer && transfer->state == kite::Header)
        CurrentUi()->SetText(HeadingText, UiText(DownloadingPrefix) + FilePartOf(transfer->localFile));
}

// Takes the first waiting slot whose server has room, until none is left. A worker that finds
// none ends: those still waiting then wait for a server that some running worker serves, and
// that worker takes them when it is done.
void TransferWorker(void*) {
    QVK_AT();
    kite::HttpTransfer transfer;
    PrepareTransfer(transfer, NameTransfer);
    for (;;) {
        Slot* slot = nullptr;
        {
            platform::MutexLock lock(board.mutex);
            for (Slot& candidate : board.slots) {
                if (candidate.phase == Phase::Waiting &&
                    RunningOn(candidate.server) < kConnectionsPerServer) {
                    slot = &candidate;
                    slot->phase = Phase::Running;
                    break;
                }
            }
        }
        if (!slot) return;
        std::vector<std::string> lines;
        {
            QVK_AT();
            std::optional<WorkSection> section(std::in_place);
            LogCapture capture;
            FetchArchive(*slot->record, slot->path, transfer, section);
            lines = capture.Take();
        }
        {
            platform::MutexLock lock(board.mutex);
            slot->lines.insert(slot->lines.end(), lines.begin(), lines.end());
            slot->phase = Phase::Done;
        }
        board.slotDone.Raise();
    }
}

// The settled slots from the list's start, in order: their lines written, their counts taken.
// True when every slot is settled.
bool FlushSettled(DownloadJob* job) {
    std::vector<std::string> lines;
    bool all;
    {
        platform::MutexLock lock(board.mutex);
        while (board.flushed < board.slots.size() &&
               board.slots[board.flushed].phase == Phase::Done) {
            Slot& slot = board.slots[board.flushed++];
            lines.insert(lines.end(), slot.lines.begin(), slot.lines.end());
            if (slot.path.empty()) continue;
            ++board.askedSettled;
            if (slot.record->selected != 0) {
                ++board.fetched;
                ++job->count;
            }
        }
        ShowBar();
        all = board.flushed == board.slots.size();
    }
    LogLines(lines);
    board.settled.Raise();
    return all;
}

}  // namespace

void PrepareDownloadsAtOnce() {
    platform::MutexLock lock(board.mutex);
    board.slots.clear();
    board.listed = false;
    board.flushed = 0;
    board.asked = board.askedSettled = board.fetched = board.installed = 0;
    board.barShown = -1;
}

void DownloadAtOnce(DownloadJob* job) {
    QVK_AT();
    std::optional<WorkSection> section(std::in_place);
    const std::string workDir = job->workDir;
    job->count = 0;
    Log("Downloading plugins");
    std::vector<Slot> slots;
    std::vector<std::string> taken;
    for (PluginRecord& record : state.plugins) {
        Slot slot;
        slot.record = &record;
        LogCapture capture;
        Log(record.name + " : to DL ? " + std::to_string(record.selected));
        if (record.selected != 0) {
            slot.path = PrepareWorkFile(record, taken, workDir);
            kite::HttpTransfer probe;
            kite::SetTransferUrl(probe, record.url);
            slot.server = AsciiLower(probe.host) + ":" + std::to_string(probe.port);
            slot.phase = Phase::Waiting;
        }
        slot.lines = capture.Take();
        slots.push_back(std::move(slot));
    }
    const int asked = static_cast<int>(
        std::count_if(slots.begin(), slots.end(), [](const Slot& s) { return !s.path.empty(); }));
    {
        platform::MutexLock lock(board.mutex);
        board.slots = std::move(slots);
        board.asked = asked;
        board.listed = true;
    }
    section.reset();

    const int workers = std::min(job->connections, asked);
    int started = 0;
    for (int i = 0; i < workers; ++i) {
        if (platform::StartThread(TransferWorker, nullptr)) {
            ++started;
        } else {
            Log("Unable to start a download worker" + platform::LastErrorText());
        }
    }
    // Without a worker of its own the downloads are still made, one after the other, here.
    if (asked > 0 && started == 0) TransferWorker(nullptr);

    for (;;) {
        QVK_AT();
        {
            // Parks for good here once the end has begun: the transfers stop at their next poll.
            WorkSection inList;
            if (FlushSettled(job)) break;
        }
        board.slotDone.Wait(250);
    }
    Log("End of downloading plugins");
    Log("Plugins to install : " + std::to_string(job->count));
}

bool AwaitDownloadsUpTo(std::size_t index) {
    for (;;) {
        {
            platform::MutexLock lock(board.mutex);
            if (board.listed && (board.flushed > index || board.flushed == board.slots.size()))
                return true;
        }
        if (ShutdownRequested().load()) return false;
        board.settled.Wait(250);
    }
}

void NoteArchiveInstalled() {
    platform::MutexLock lock(board.mutex);
    ++board.installed;
    ShowBar();
}

}  // namespace qvk
