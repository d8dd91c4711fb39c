#include "install/download.h"

#include <optional>

#include "catalogue/catalogue.h"
#include "core/log.h"
#include "core/shutdown_gate.h"
#include "core/text_helpers.h"
#include "diagnostics/crash_report.h"
#include "diagnostics/source_position.h"
#include "install/download_pool.h"
#include "install/file_names.h"
#include "kitehttp.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/threads.h"
#include "texts/language.h"
#include "window/ui.h"

namespace qvk {
namespace {

void SetTotalProgress(int value) {
    CurrentUi()->SetProgress(TotalProgressBar, value);
}

// Files done out of files to do, as a whole percentage within the bar's first half.
int TotalPercent(int done, int total) {
    if (total <= 0) return done > 0 ? 100 : 0;
    const long long percent = static_cast<long long>(done) * 100 / total;
    return static_cast<int>(percent > 100 ? 100 : percent);
}

}  // namespace

std::string FileNameOfUrl(const std::string& url) {
    const auto cut = url.rfind('/');
    return cut == std::string::npos ? std::string() : url.substr(cut + 1);
}

std::string WorkFileName(const std::string& url, const std::vector<std::string>& taken) {
    std::string name = FileNameOfUrl(url.substr(0, url.find_first_of("?#")));
    if (!IsPlainFileName(name)) name = "plugin.zip";
    const auto used = [&](const std::string& candidate) {
        const std::string key = AsciiLower(candidate);
        for (const std::string& other : taken) {
            const std::string otherKey = AsciiLower(other);
            if (key == otherKey || key == otherKey + ".part" || key + ".part" == otherKey)
                return true;
        }
        return false;
    };
    const std::size_t dot = name.rfind('.');
    const std::size_t cut = dot == std::string::npos || dot == 0 ? name.size() : dot;
    std::string candidate = name;
    // One more than the names taken is always enough.
    for (std::size_t n = 2; used(candidate) && n <= taken.size() + 2; ++n)
        candidate = name.substr(0, cut) + " (" + std::to_string(n) + ")" + name.substr(cut);
    return candidate;
}

std::string PrepareWorkFile(PluginRecord& record, std::vector<std::string>& taken,
                            const std::string& workDir) {
    Log("Yes");
    const std::string fileName = WorkFileName(record.url, taken);
    taken.push_back(fileName);
    record.outcome.workFile = fileName;
    Log("File name : " + fileName);
    const std::string path = workDir + platform::PathSeparator() + fileName;
    if (platform::FileSize(path) >= 0) {
        Log("File already on disk, delete it");
        platform::ClearAttributes(path);
        platform::RemoveFile(path);
    }
    return path;
}

void PrepareTransfer(kite::HttpTransfer& transfer, void (*callback)(kite::HttpTransfer*)) {
    transfer.callback = callback;
    transfer.cancel = &ShutdownRequested();
    transfer.followRedirects = true;
}

bool FetchArchive(PluginRecord& record, const std::string& path, kite::HttpTransfer& transfer,
                  std::optional<WorkSection>& section) {
    for (;;) {
        QVK_AT();
        Log("Try to download (" + record.url + ")... ");
        kite::SetTransferUrl(transfer, record.url);
        transfer.localFile = path;
        transfer.showName = 1;
        // The client fills `received` only after it reports the reply's head; left as it was,
        // the bar would flash the previous file's share at the start.
        transfer.received = 0;
        if (kite::HttpGet(transfer) == kite::Finished) {
            Log("OK");
            record.outcome.stage = PluginStage::Downloaded;
            return true;
        }
        QVK_AT();
        Log("Error" + transfer.systemError);
        record.selected = 0;
        record.outcome.stage = PluginStage::DownloadFailed;
        const std::string question = WithFileName(UiText(RetryQuestion), record.name);
        section.reset();
        const int answer =
            ShowMessage(question, IconWarning, ButtonsYesNo, {RetryQuestion, record.name});
        section.emplace();
        if (answer != AnswerYes) return false;
        record.selected = 1;
    }
}

void DownloadThread(DownloadJob* job) {
    QVK_AT();
    if (MissingJobBlock(job)) return;
    if (job->connections > 1) return DownloadAtOnce(job);
    // Held while the list or the work folder is used, let go while the user answers a question
    // or the thread sleeps: the orderly end waits for it, and once the end has begun the
    // thread parks for good the next time it takes it.
    std::optional<WorkSection> section(std::in_place);
    const int total = job->count;
    const std::string workDir = job->workDir;
    job->count = 0;
    Log("Downloading plugins");

    kite::HttpTransfer transfer;  // one for every download, never cleared
    PrepareTransfer(transfer, ShowTransferProgress);
    std::vector<std::string> taken;  // the work files of this run
    for (PluginRecord& record : state.plugins) {
        QVK_AT();
        Log(record.name + " : to DL ? " + std::to_string(record.selected));
        if (record.selected != 0) {
            const std::string path = PrepareWorkFile(record, taken, workDir);
            if (FetchArchive(record, path, transfer, section)) {
                ++job->count;
                SetTotalProgress(TotalPercent(job->count, total));
            }
        }
        section.reset();
        platform::SleepMs(1);
        section.emplace();
    }
    QVK_AT();
    Log("End of downloading plugins");
}

}  // namespace qvk
