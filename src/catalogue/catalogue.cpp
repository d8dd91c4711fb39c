#include "catalogue/catalogue.h"

#include <cmath>
#include <cstdio>

#include "catalogue/scraper.h"
#include "core/cleanup.h"
#include "core/log.h"
#include "core/shutdown_gate.h"
#include "core/text_helpers.h"
#include "diagnostics/crash_report.h"
#include "diagnostics/source_position.h"
#include "location.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/threads.h"
#include "texts/language.h"
#include "window/controls.h"
#include "window/paced_value.h"
#include "window/ui.h"

namespace qvk {
namespace {

const char* const kRedirectSignature = "ORT - Ovh Redirect Technology";
const char* const kRedirectTagStart = "<meta name=\"url\" content=\"";
const char* const kRedirectTagEnd = "\">";

void SetHeading(const std::string& text) {
    CurrentUi()->SetText(HeadingText, text);
}

void SetFileProgress(int value) {
    CurrentUi()->SetProgress(installprog, value);
}

// The retry question after a failed attempt, `failure` being what the system said of it.
// Returns only when the user wants another try.
void AskRetry(const std::string& failure = std::string()) {
    Log("Donwload error" + failure);
    SetHeading(UiText(DownloadFailed));
    Log("Retry ?");
    const std::string question = ReplaceAll(UiText(RetryQuestion), "%fichier%", "");
    if (ShowMessage(question, IconError, ButtonsYesNo, {RetryQuestion, ""}) != AnswerYes)
        CleanUpAndExit("No");
    Log("Yes");
}

}  // namespace

std::string CatalogueUrl(const std::string& host, const std::string& path) {
    std::string url = host + path;
    const std::string bare = kite::IsHttpsUrl(host) ? host.substr(8) : host;
    if (path == kDefaultCataloguePath && bare == kDefaultCatalogueHost)
        url += "?lang=" + UiText(LanguageCode);
    return url;
}

std::string RedirectHost(const std::string& realUrl, const std::string& host,
                         const std::string& path) {
    // A query belongs to the target page, never to the host that replaces the catalogue host
    // in the links ("H?lang=en/files/a.zip" is no link).
    const std::string base = realUrl.substr(0, realUrl.find('?'));
    if (path == kDefaultCataloguePath && host == kDefaultCatalogueHost) {
        const std::size_t at = base.find(path);
        return at == std::string::npos ? std::string() : base.substr(0, at);
    }
    return path.empty() ? base : ReplaceAll(base, path, "");
}

std::string AbsoluteUrl(const std::string& address) {
    return kite::HasHttpScheme(address) ? address : "http://" + address;
}

bool IsRedirectPage(const std::string& pageText) {
    return pageText.find(kRedirectSignature) != std::string::npos;
}

std::string RedirectTarget(const std::string& pageText) {
    if (!IsRedirectPage(pageText)) return std::string();
    const std::size_t start = pageText.find(kRedirectTagStart);
    if (start == std::string::npos) return std::string();
    const std::size_t from = start + std::char_traits<char>::length(kRedirectTagStart);
    const std::size_t end = pageText.find(kRedirectTagEnd, from);
    if (end == std::string::npos) return std::string();
    return pageText.substr(from, end - from);
}

bool ReadPageFile(const std::string& path, std::string& text) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    text.clear();
    char chunk[65536];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
        // Lines are joined with nothing between them, whichever break ended them.
        for (std::size_t i = 0; i < n; ++i)
            if (chunk[i] != '\r' && chunk[i] != '\n') text.push_back(chunk[i]);
    }
    std::fclose(file);
    return true;
}

void ShowTransferProgress(kite::HttpTransfer* transfer) {
    Ui* ui = CurrentUi();
    if (!transfer) return;
    const kite::HttpTransfer& t = *transfer;
    // A chunk arrives every few microseconds on a fast line; showing each one would make the
    // transfer wait for the window. Only one transfer runs at a time, so one pacing will do;
    // the lock only keeps a stray second caller from tearing it.
    static platform::Mutex paceMutex;
    static PacedValue<int> bar;
    static PacedValue<std::string> heading;
    platform::MutexLock lock(paceMutex);
    const uint32_t now = platform::TickCount();
    if (t.state == kite::Init) {
        bar.Reset();
        heading.Reset();
    }
    if (t.state >= kite::Header && t.contentLength != 0) {
        // Kept within the bar: a server may send more than it announced, or a negative length,
        // and an out-of-range double does not convert to int.
        double percent = std::floor(double(t.received) / double(t.contentLength) * 100.0);
        if (!(percent >= 0.0)) percent = 0.0;
        if (percent > 100.0) percent = 100.0;
        if (bar.Offer(static_cast<int>(percent), now))
            ui->SetProgress(installprog, static_cast<int>(percent));
    }
    if (t.state == kite::Data) {
        const std::string prefix = t.showName == 1
                                       ? UiText(DownloadingPrefix) + FilePartOf(t.localFile)
                                       : UiText(ConnectedText);
        char speed[64];
        std::snprintf(speed, sizeof speed, "%.6f", std::isfinite(t.speed) ? double(t.speed) : 0.0);
        const std::string& unit = UiText(KilobyteUnit);
        const std::string text = prefix + " (" + std::to_string(t.received / 1024) + unit +
                                 " @ " + speed + unit + "/s)";
        if (heading.Offer(text, now)) ui->SetText(HeadingText, text);
    }
    if (t.state >= kite::Finished) {
        // The transfer is over: whatever was held back is what the user must see last.
        if (const auto value = bar.Flush(now)) ui->SetProgress(installprog, *value);
        if (const auto text = heading.Flush(now)) ui->SetText(HeadingText, *text);
    }
}

std::string ScrapeCatalogue(std::string& pageText, const std::string& catalogueHost,
                            const std::string& realHost, const std::string& realUrl,
                            CatalogueJob& job) {
    const LineWriter log =
        LogIsOn() ? LineWriter([](const std::string& line) { Log(line); }) : LineWriter();
    ScrapeResult result = ScrapePage(pageText, catalogueHost, realHost, realUrl, log);
    if (!result.recognised) {
        ShowMessage(UiText(BadListFormat), IconError, ButtonsOk);
        CleanUpAndExit("New format... Exit");
    }

    // The list and the log box are shared with the clean-up: stay inside a section while they
    // are filled, so an abort in the meantime cannot empty the list under us.
    WorkSection section;
    PluginRecord* xnview = result.xnviewRecord;
    // Splicing keeps the records where they are, so the XnView reference stays valid.
    state.plugins.splice(state.plugins.end(), result.records);
    if (xnview) job.xnviewRecord = xnview;

    pageText.clear();
    pageText.shrink_to_fit();
    Log("Displaying results");
    Ui* ui = CurrentUi();
    ui->AddLine(CatalogueLog, result.countText + UiText(FoundSuffix));
    for (const PluginRecord& record : state.plugins) {
        if (record.name == kXnViewDllName) continue;
        Log("Adding " + record.name);
        ui->AddLine(CatalogueLog, record.name);
    }
    return result.countText;
}

void CatalogueThread(CatalogueJob* job) {
    QVK_AT();
    if (MissingJobBlock(job)) return;
    const bool keepFile = (job->countOrKeep & 0xFF) != 0;
    const std::string host = job->host;
    const std::string path = job->path;
    const std::string catalogueUrl = CatalogueUrl(host, path);
    Log("Using URL : " + AbsoluteUrl(catalogueUrl));

    std::string realUrl, realHost, pageText, countText;
    int hops = 0;
    // Where a reply's "Location:" sent the attempt, and how many such moves led there.
    std::string movedTo;
    int moves = 0;
    kite::HttpTransfer transfer;
    for (;;) {
        // A failed attempt must never leave the previous page (a redirect page) behind: it
        // would be analysed again instead of leading to the retry question.
        QVK_AT();
        pageText.clear();
        Log("Download file");
        SetHeading(UiText(ConnectedText));
        const std::string address = realUrl.empty() ? catalogueUrl : realUrl;
        std::string source, failure;
        bool moved = false;
        if (platform::FileSize(kLocalCatalogueFile) > 0) {
            source = kLocalCatalogueFile;
        } else {
            kite::SetTransferUrl(transfer, movedTo.empty() ? AbsoluteUrl(address) : movedTo);
            transfer.localFile = kCatalogueFile;
            transfer.showName = 0;
            transfer.callback = ShowTransferProgress;
            transfer.cancel = &ShutdownRequested();
            if (kite::HttpGet(transfer) == kite::Finished) source = kCatalogueFile;
            else failure = transfer.systemError;
            moved = !source.empty() && kite::IsRedirectStatus(transfer.status) &&
                    !transfer.location.empty();
            SetFileProgress(100);
        }

        QVK_AT();
        bool redirect = false;
        {
            // Parks for good here when the program is ending (the user aborted meanwhile).
            WorkSection section;
            if (!source.empty() && ReadPageFile(source, pageText) && source == kCatalogueFile &&
                !keepFile)
                platform::RemoveFile(kCatalogueFile);
            if (!IsBlank(pageText)) {
                SetHeading(UiText(DownloadedText));
                Log("Is there OVH redirection ?");
                if (IsRedirectPage(pageText)) {
                    Log("Yes !");
                    redirect = !RedirectTarget(pageText).empty();
                }
            }
        }
        QVK_AT();
        if (moved && !IsRedirectPage(pageText)) {
            // Any redirect reply but the hosting provider's page is followed as archives are.
            const std::string from = kite::TransferUrl(transfer);
            const std::string to = kite::ResolveLocation(from, transfer.location);
            const kite::HopVerdict verdict = kite::CheckHop(from, to, moves);
            if (verdict == kite::HopVerdict::Follow) {
                kite::HttpDebug("KiteHTTP: * Redirected to " + to);
                movedTo = to;
                ++moves;
                continue;
            }
            kite::HttpDebug(kite::HopRefusal(verdict));
            pageText.clear();
        }
        movedTo.clear();
        moves = 0;
        if (IsBlank(pageText)) {
            AskRetry(failure);
            continue;
        }
        if (redirect) {
            if (hops >= kMaxRedirectHops) {
                // A chain that does not end: the user may start over from the catalogue itself.
                Log("Too many redirections");
                AskRetry();
                realUrl.clear();
                realHost.clear();
                hops = 0;
                continue;
            }
            QVK_AT();
            ++hops;
            realUrl = RedirectTarget(pageText);
            realHost = RedirectHost(realUrl, host, path);
            Log("Real URL found : " + realUrl);
            SetHeading(UiText(ConnectedText));
            SetFileProgress(1);
            Log("Redirect...");
            continue;
        }
        QVK_AT();
        countText = ScrapeCatalogue(pageText, host, realHost, realUrl, *job);
        break;
    }

    QVK_AT();
    WorkSection section;
    SetHeading(UiText(AnalysisDone));
    SetFileProgress(102);
    job->countOrKeep = CountValue(countText);
    QVK_AT();
    Log("Enable button");
    CurrentUi()->Enable(NextButton, true);
    Log("Step finished");
}

}  // namespace qvk
