#include "install/install.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

#include "core/log.h"
#include "core/shutdown_gate.h"
#include "diagnostics/crash_report.h"
#include "diagnostics/source_position.h"
#include "install/archive.h"
#include "install/archive_plan.h"
#include "install/download_pool.h"
#include "install/editions.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/system.h"
#include "texts/language.h"
#include "window/controls.h"
#include "window/ui.h"

namespace qvk {
namespace {

void SetHeading(const std::string& text) {
    CurrentUi()->SetText(HeadingText, text);
}

void SetBar(int control, int value) {
    CurrentUi()->SetProgress(control, value);
}

// One archive, from opening to closing, and what became of it. The whole of it runs inside one
// work section: the archive lies in the work folder, and the files staged beside their targets
// must be either installed or deleted before the orderly end may go on. Reading checks the
// end's flag between chunks, so the section is left within one chunk once the end has begun.
// Why the plugin's files do not fit on the disks of its destinations; empty when they do.
// Destinations on one disk add up; every file is staged beside its target while the target
// is still there, so an update needs the whole room too.
std::string DisksShortfall(const std::vector<std::string>& destinations,
                           const std::vector<PlannedEntry>& entries) {
    uint64_t need = 0;
    for (const PlannedEntry& entry : entries)
        if (!entry.folder) need += entry.size;
    std::vector<std::pair<platform::DiskRoom, uint64_t>> disks;
    for (const std::string& destination : destinations) {
        if (destination.empty()) continue;
        const platform::DiskRoom room = platform::DiskRoomOf(platform::Utf8Path{platform::AnsiToUtf8(destination)});
        if (!room.known) {
            Log("Free room unknown for " + destination);
            continue;
        }
        auto disk = std::find_if(disks.begin(), disks.end(),
                                 [&](const auto& d) { return d.first.disk == room.disk; });
        if (disk == disks.end()) {
            disks.push_back({room, need});
        } else {
            disk->second += need;
            if (room.free < disk->first.free) disk->first = room;
        }
    }
    for (const auto& [room, needed] : disks) {
        const std::string shortfall = RoomShortfall(room, needed);
        if (!shortfall.empty()) return shortfall;
    }
    return std::string();
}

PluginOutcome InstallArchive(const std::string& path, bool xnview, const InstallJob& job) {
    QVK_AT();
    WorkSection section;
    PluginOutcome outcome;
    ArchiveReader reader;
    reader.SetCancel(&ShutdownRequested());
    if (!reader.Open(path)) {
        outcome.stage = PluginStage::Unreadable;
        outcome.failure = "not a ZIP archive";
        return outcome;
    }
    const int total = ArchiveReader::CountEntries(path);
    Log("Number of files: " + std::to_string(total));

    const std::string plugins = std::string(platform::PathSeparator()) + "Plugins" +
                                platform::PathSeparator();
    const std::string systemFolder = xnview ? SystemFolder() : std::string();
    // Each destination, and its name as the account gives it (without the doubled separator).
    std::vector<std::string> destinations, places;
    if (xnview) {
        destinations.push_back(systemFolder);
        places.push_back(systemFolder);
    } else {
        for (const Edition& edition : kEditions) {
            const std::string& folder = job.*edition.jobFolder;
            if (folder.empty()) continue;
            destinations.push_back(folder + plugins);
            places.push_back(folder + plugins.substr(1));
        }
    }

    // What the central directory tells decides before anything is written.
    const std::vector<PlannedEntry> planned = reader.Survey();
    if (!reader.Damaged() && reader.Skipped().empty()) {
        std::size_t first, second;
        if (FindCollision(planned, &first, &second)) {
            outcome.failure = planned[first].shown + " and " + planned[second].shown +
                              " would be one file on Windows";
        } else {
            outcome.failure = DisksShortfall(destinations, planned);
        }
        if (!outcome.failure.empty()) {
            outcome.stage = PluginStage::Unfit;
            Log("Unfit ZIP file, nothing installed from it: " + outcome.failure);
            return outcome;
        }
    }

    int entries = 0;
    int shown = 0;
    SetBar(installprog, 0);
    // Names refused by the survey leave nothing to extract: the plugin is incomplete as it is.
    // The move to the first entry is not looked at: an empty archive gets one quiet attempt.
    int move = reader.Skipped().empty() ? (reader.FirstEntry(), 0) : -1;
    while (move == 0 && !reader.Damaged()) {
        QVK_AT();
        Log("ReturnValue=" + std::to_string(move));
        if (xnview) {
            Log("XnViewDll, extract in " + systemFolder);
        } else {
            for (const std::string& destination : destinations)
                Log("Plugin, extract in " + destination);
        }
        reader.ExtractCurrentEntry(destinations);
        if (reader.Damaged()) break;
        ++entries;
        if (total > 0) {
            const int value = entries >= total ? 100 : static_cast<int>(100LL * entries / total);
            // Only a change is worth a window update: archives of thousands of small files.
            if (value != shown) SetBar(installprog, shown = value);
        }
        move = reader.NextEntry();
    }

    if (reader.Cancelled()) {
        reader.Discard();
        outcome.stage = PluginStage::Stopped;
        return outcome;
    }
    QVK_AT();
    Log("Close ZIP file");
    reader.Close();
    if (reader.Damaged()) {
        outcome.stage = PluginStage::Unreadable;
        outcome.failure = reader.Failure();
        Log("Damaged ZIP file, nothing installed from it: " + outcome.failure);
        reader.Discard();
        return outcome;
    }
    const bool skipped = !reader.Skipped().empty();
    reader.Commit();
    outcome.skipped = reader.Skipped();
    if (skipped) {
        outcome.stage = PluginStage::Incomplete;
        Log("Incomplete plugin, nothing installed from it, entries skipped: " +
            std::to_string(outcome.skipped.size()));
    } else if (!outcome.skipped.empty()) {
        outcome.stage = PluginStage::Incomplete;
        Log("Incomplete plugin, files not put in place: " + std::to_string(outcome.skipped.size()));
    } else {
        outcome.stage = PluginStage::Installed;
        outcome.installedInto = places;
    }
    return outcome;
}

}  // namespace

std::string SystemFolder() { return platform::OsSystemFolder(); }

void InstallThread(InstallJob* job) {
    QVK_AT();
    if (MissingJobBlock(job)) return;
    const int count = job->count;
    const InstallJob folders = *job;
    for (const Edition& edition : kEditions)
        Log(std::string("Install dir (") + edition.shortName + ") : " + folders.*edition.jobFolder);

    int opened = 0;
    PluginList::iterator record;
    bool first = true;
    for (std::size_t index = 0;; ++index) {
        // A record is read once its download is settled; when the end begins meanwhile, the
        // section below parks this thread.
        if (folders.followsDownloads) AwaitDownloadsUpTo(index);
        // The list and the work folder's name are read inside a section: once the end has
        // begun, entering one parks this thread for good, so nothing here touches them after.
        QVK_AT();
        PluginRecord current;
        std::string workDir;
        {
            WorkSection section;
            record = first ? state.plugins.begin() : std::next(record);
            first = false;
            if (record == state.plugins.end()) break;
            current.name = record->name;
            current.selected = record->selected;
            current.outcome.workFile = record->outcome.workFile;
            workDir = state.workDir;
        }
        Log("Is downloaded=" + std::to_string(current.selected));
        if (current.selected != 1) continue;
        QVK_AT();
        // The name the download stored it under: two links may end in the same file name.
        const std::string fileName = current.outcome.workFile;
        Log("File name : " + fileName);
        SetHeading(UiText(InstallingPrefix) + fileName);
        Log("Open ZIP file");
        PluginOutcome outcome = InstallArchive(workDir + platform::PathSeparator() + fileName,
                                               current.name == kXnViewDllName, folders);
        outcome.workFile = fileName;
        const PluginStage stage = outcome.stage;
        {
            WorkSection section;
            record->outcome = std::move(outcome);
        }
        if (stage == PluginStage::Stopped) continue;  // the next section parks this thread
        QVK_AT();
        if (stage == PluginStage::Unreadable) {
            Log("Error");
            ShowMessage(UiText(UnreadablePrefix) + fileName + " !", IconError, ButtonsOk,
                        {UnreadablePrefix, fileName});
        } else {
            ++opened;
            if (count > 0 && !folders.followsDownloads)
                SetBar(TotalProgressBar, 100 + 100 * std::min(opened, count) / count);
        }
        if (folders.followsDownloads) NoteArchiveInstalled();
        platform::SleepMs(1);
    }
}

}  // namespace qvk
