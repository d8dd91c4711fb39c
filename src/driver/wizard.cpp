#include "driver/wizard.h"

#include <algorithm>

#include "catalogue/catalogue.h"
#include "core/cleanup.h"
#include "core/log.h"
#include "core/text_helpers.h"
#include "diagnostics/debug_mode.h"
#include "diagnostics/source_position.h"
#include "install/download.h"
#include "install/download_pool.h"
#include "install/editions.h"
#include "install/host_config.h"
#include "install/hosts.h"
#include "install/install.h"
#include "kitehttp.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/threads.h"
#include "texts/language.h"
#include "window/ui.h"

namespace qvk {
namespace {

WizardHooks hooks;

Ui& W() { return *CurrentUi(); }

void RunCatalogueThread(void* job) { CatalogueThread(static_cast<CatalogueJob*>(job)); }
void RunInstallThread(void* job) { InstallThread(static_cast<InstallJob*>(job)); }
void RunDownloadThread(void* job) { DownloadThread(static_cast<DownloadJob*>(job)); }

// A worker that cannot start ends the program in order: its 0 handle would read as a thread
// that has ended, and the run would go on to "Installation finished." with nothing done.
platform::ThreadHandle StartWorker(platform::ThreadBody body, void* job, const char* name,
                                   const char* lastLine) {
    const platform::ThreadHandle worker =
        hooks.startThread ? hooks.startThread(body, job) : platform::StartThread(body, job);
    if (!worker) {
        Log(std::string("Unable to start the ") + name + " thread" + platform::LastErrorText());
        ShowMessage(StartFailureText(), IconError, ButtonsOk);
        CleanUpAndExit(lastLine);
    }
    return worker;
}

void StepWelcomeToNotes() {
    QVK_AT();
    Log("Free gadgets");
    W().Free(SideBanner);
    W().Free(WelcomePicture);
    W().Free(WelcomePanel);
    Log("Free pictures");
    if (hooks.freeImage) {
        hooks.freeImage(WelcomeImage);
        hooks.freeImage(SideBannerImage);
    }
    Log("Display gadgets");
    W().Show(NotesEditor, true);
    W().SetText(HeadingText, UiText(NotesHeading));
    W().Show(HeadingText, true);
    W().Show(ReleaseLine, true);
    W().Show(HeaderBanner, true);
    W().Show(HeaderFrame, true);
    Log("License :");
    const std::string notes = NotesText(state.language);
    Log(notes);
    W().SetText(NotesEditor, notes);
    if (hooks.installLinkHandler) hooks.installLinkHandler();
    Log("Step 0 ; All done !");
}

void StepNotesToCatalogue() {
    QVK_AT();
    if (state.catalogueThread) return;
    Log("Free gadgets");
    W().Free(NotesEditor);
    Log("Free memory");
    ReleaseNotesText();
    Log("Display gadgets");
    W().Show(installprog, true);
    W().Show(CatalogueLog, true);
    Log("Disable button");
    W().Enable(NextButton, false);
    Log("Network...");
    if (!kite::StartNetwork()) {
        ShowMessage(UiText(NetworkError), IconError, ButtonsOk);
        CleanUpAndExit("Network error");
    }
    Log("OK");
    catalogueJob.countOrKeep = state.keepCatalogueFile;
    catalogueJob.xnviewRecord = nullptr;
    catalogueJob.host = state.catalogueHost;
    catalogueJob.path = state.cataloguePath;
    Log("Thread started");
    state.catalogueThread =
        StartWorker(RunCatalogueThread, &catalogueJob, "catalogue", "Catalogue not started");
}

void StepCatalogueToList() {
    QVK_AT();
    Log("Thread finished");
    state.pluginCount = CheckListSize(catalogueJob.countOrKeep, state.plugins);
    state.xnviewRecord = catalogueJob.xnviewRecord;
    Log("Update text");
    W().SetText(HeadingText, UiText(SelectPluginsHeading));
    Log("Display gadgets");
    W().Show(installprog, false);
    W().Show(CheckAllButton, true);
    Log("Free gadgets");
    W().Free(CatalogueLog);
    Log("Count plugins list : " + std::to_string(state.pluginCount));
    if (hooks.buildCheckList) hooks.buildCheckList(state.pluginCount);
}

bool StepListToFolders() {
    QVK_AT();
    std::vector<int> ticked;
    std::vector<std::string> texts;
    for (int i = 0; i < state.pluginCount; ++i) {
        ticked.push_back(W().GetState(FirstPluginCheckBox + i));
        texts.push_back(W().GetText(FirstPluginCheckBox + i));
    }
    if (MarkTickedPlugins(ticked, texts) == 0) {
        Log("No plugins checked");
        ShowMessage(UiText(NoPluginSelected), IconError, ButtonsOk);
        return false;
    }
    if (hooks.freeCheckList) hooks.freeCheckList(state.pluginCount);
    Log("Free gadget");
    W().Free(PluginListArea);
    W().Free(CheckAllButton);
    Log("Display gadget");
    for (const Edition& edition : kEditions)
        for (int id : {edition.folderField, edition.tickBox, edition.browseButton})
            W().Show(id, true);
    Log("Check for Quorvane (Studio) in registry");
    DiscoverHostFolders(hostKeyTables);
    Log("Modify button text");
    W().SetText(NextButton, UiText(InstallButtonText));
    W().SetText(HeadingText, UiText(FolderHeading));
    return true;
}

// Accepts a ticked edition's folder, or asks whether to retype it when its program is missing.
bool AcceptEditionFolder(const Edition& edition) {
    std::string& dir = state.*edition.chosenFolder;
    dir = AddTrailingBackslash(W().GetText(edition.folderField));
    if (platform::FileExists(dir + edition.programFile)) return true;
    Log(std::string(edition.programFile) + " not found");
    return ShowMessage(WithEdition(UiText(ExeNotFoundQuestion), edition.name), IconWarning,
                       ButtonsYesNo, {ExeNotFoundQuestion, edition.name}) != AnswerYes;
}

bool StepFoldersToInstall() {
    QVK_AT();
    int ticked[kEditionCount];
    std::string texts[kEditionCount];
    std::string tickWords, textWords;
    for (int i = 0; i < kEditionCount; ++i) {
        const Edition& edition = kEditions[i];
        (state.*edition.chosenFolder).clear();
        ticked[i] = W().GetState(edition.tickBox);
        texts[i] = W().GetText(edition.folderField);
        const char* gap = i ? " ; #" : "#";
        tickWords += gap + std::string(edition.tickBoxName) + "=" + std::to_string(ticked[i]);
        textWords += gap + std::string(edition.folderFieldName) + "=" + texts[i];
    }
    Log(tickWords);
    Log(textWords);
    if (std::none_of(ticked, ticked + kEditionCount, [](int tick) { return tick != 0; })) {
        Log("No QV(S) path");
        ShowMessage(UiText(NoEditionSelected), IconError, ButtonsOk);
        return false;
    }
    for (int i = 0; i < kEditionCount; ++i) {
        if (!ticked[i] || !texts[i].empty()) continue;
        Log(std::string("No ") + kEditions[i].shortName + " path entered");
        ShowMessage(UiText(NoFolderEntered), IconError, ButtonsOk);
        return false;
    }
    for (int i = 0; i < kEditionCount; ++i) {
        if (!ticked[i] || AcceptEditionFolder(kEditions[i])) continue;
        // A retype starts the page over: no edition keeps a folder from this attempt.
        for (const Edition& edition : kEditions) (state.*edition.chosenFolder).clear();
        return false;
    }
    if (state.qvsDir == state.qvDir) {
        Log("QV and QVS paths are the same");
        state.qvsDir.clear();
    }
    Log("Quorvane.s=" + state.qvDir + " ; QuorvaneStudio.s=" + state.qvsDir);
    Log("Free gadgets");
    for (const Edition& edition : kEditions)
        for (int id : {edition.folderField, edition.tickBox, edition.browseButton}) W().Free(id);
    Log("Modify button text");
    W().SetText(NextButton, UiText(NextButtonText));
    Log("Disable button");
    W().Enable(NextButton, false);
    Log("Display gadgets");
    W().Show(installprog, true);
    W().Show(TotalProgressBar, true);
    W().Show(TotalProgressLabel, true);
    Log("Reset progressbar and text");
    W().SetText(HeadingText, "");
    W().SetProgress(installprog, 0);
    Log("Moving progressbar and text");
    W().Move(HeadingText, kKeep, 140, kKeep, 15);
    W().Move(installprog, kKeep, 160, kKeep, kKeep);
    Log("Starting install !");
    W().SetText(TotalProgressLabel, UiText(TotalProgressText));

    state.workDir = state.systemTempDir + kTempSubFolder;
    Log("Temp dir : " + state.workDir);
    if (!platform::FolderExists(state.workDir)) {
        Log("Temp dir doesn't exist");
        if (!platform::CreateFolder(state.workDir)) {
            Log("Error" + platform::LastErrorText());
            ShowMessage(UiText(TempFolderError), IconError, ButtonsOk);
            BareExit();
        }
        Log("Created");
    }
    state.downloadStarted = 1;
    downloadJob = DownloadJob{state.downloadCount, 0, state.workDir, "", state.connections};
    if (downloadJob.connections > 1) PrepareDownloadsAtOnce();
    state.downloadThread =
        StartWorker(RunDownloadThread, &downloadJob, "download", "Download not started");
    return true;
}

void Browse(const Edition& edition) {
    QVK_AT();
    const std::string chosen = platform::ChooseFile(WithEdition(UiText(SelectExeTitle), edition.name),
                                                    W().GetText(edition.folderField),
                                                    ProgramFilter(edition));
    if (!chosen.empty()) W().SetText(edition.folderField, FolderPartOf(chosen));
}

void ToggleEdition(const Edition& edition) {
    QVK_AT();
    const bool visible = W().GetState(edition.tickBox) != 0;
    W().Show(edition.browseButton, visible);
    W().Show(edition.folderField, visible);
    Log(std::string(edition.shortName) + " gadgets hidden");
}

void AskConfigurationUpdate(const std::string& folder, const char* edition) {
    QVK_AT();
    if (folder.empty()) return;
    if (ShowMessage(WithEdition(UiText(UpdateConfigQuestion), edition), IconQuestion,
                    ButtonsYesNo, {UpdateConfigQuestion, edition}) != AnswerYes)
        return;
    // A file rewritten from a model that misread it would be garbage: it is left alone, and the
    // log is where a support request learns why plugins still do not load.
    const ConfigUpdate result = UpdateHostConfiguration(folder);
    if (result == ConfigUpdate::Unreadable)
        Log(std::string("Configuration left untouched, not a plain text file: ") + folder +
            kHostConfigName);
    if (hooks.configurationUpdated) hooks.configurationUpdated(folder, result);
}

}  // namespace

void SetWizardHooks(const WizardHooks& newHooks) { hooks = newHooks; }

void EnterMainLoop() { Log("Main loop"); }

int CheckListSize(int announced, const PluginList& plugins) {
    const int real = static_cast<int>(std::count_if(
        plugins.begin(), plugins.end(), [](const PluginRecord& r) { return r.name != kXnViewDllName; }));
    return std::max(0, std::min(announced, real));
}

int MarkTickedPlugins(const std::vector<int>& ticked, const std::vector<std::string>& texts) {
    state.tickedCount = 0;
    state.downloadCount = 0;
    Log("nbcheck=" + std::to_string(ticked.size()));
    auto record = state.plugins.begin();
    for (size_t i = 0; i < ticked.size() && record != state.plugins.end(); ++i, ++record) {
        Log("Plugins checked=" + std::to_string(state.tickedCount));
        const int box = FirstPluginCheckBox + static_cast<int>(i);
        Log("Gadget (" + std::to_string(box) + ", " + texts[i] + ") state : " +
            std::to_string(ticked[i]));
        if (!ticked[i]) continue;
        Log("Checked");
        ++state.tickedCount;
        ++state.downloadCount;
        Log("Set dl");
        record->selected = 1;
        if (record->name == kXnViewImportName) {
            Log("XnView plugin");
            // Without a DLL archive on the page there is nothing more to fetch or count.
            if (state.xnviewRecord) {
                state.xnviewRecord->selected = 1;
                Log("XnViewDLL download prepared");
                ++state.downloadCount;
            }
        }
    }
    return state.tickedCount;
}

platform::ThreadHandle WatchedWorker() {
    const platform::ThreadHandle worker = state.installStarted  ? state.installThread
                                          : state.downloadStarted ? state.downloadThread
                                                                  : nullptr;
    return platform::ThreadRunning(worker) ? worker : nullptr;
}

void PollWorkers() {
    // Several downloads at once: the install follows them from the start, record by record.
    const bool alongside = downloadJob.connections > 1;
    if (state.downloadStarted == 1 && state.installStarted == 0 &&
        (alongside || !platform::ThreadRunning(state.downloadThread))) {
        QVK_AT();
        Log("Rezise #installprog");
        W().SetProgressMax(installprog, 100);
        // Beside the downloads the number is known only at their end, which logs it.
        if (!alongside) Log("Plugins to install : " + std::to_string(downloadJob.count));
        installJob = InstallJob{alongside ? state.downloadCount : downloadJob.count, 0,
                                state.qvDir, state.qvsDir, alongside};
        state.installStarted = 1;
        state.installThread =
            StartWorker(RunInstallThread, &installJob, "install", "Installation not started");
    }
    if (state.installStarted == 1 && !platform::ThreadRunning(state.installThread) &&
        !platform::ThreadRunning(state.downloadThread)) {
        QVK_AT();
        Log("All installed");
        Log("Plugins are installed on your computer.");
        for (const Edition& edition : kEditions)
            AskConfigurationUpdate(state.*edition.chosenFolder, edition.name);
        Log("Well done ! All is ok ! Plugins are configured. You can go drink coffee !");
        ShowMessage(UiText(InstallFinished), IconInformation, ButtonsOk, {InstallFinished, ""});
        Log(std::string("If you had a problem when using this pack, please send qvk.log to ") +
            kSupportAddress);
        WaitForKey();
        CleanUpAndExit("It's finished... Bye !");
    }
}

LoopAction OnControl(int control) {
    QVK_AT();
    switch (control) {
        case CancelButton:
            Log("Cancel button...");
            return OnCloseRequest();
        case CheckAllButton:
            if (hooks.checkAll) hooks.checkAll(state.pluginCount - 1);
            return LoopAction::Continue;
        case NextButton: {
            Log("Next ; SNext = " + std::to_string(state.step));
            bool completed = true;
            switch (state.step) {
                case 0: StepWelcomeToNotes(); break;
                case 1: StepNotesToCatalogue(); break;
                case 2: StepCatalogueToList(); break;
                case 3: completed = StepListToFolders(); break;
                case 4: completed = StepFoldersToInstall(); break;
                default: break;
            }
            if (!completed) return LoopAction::Restart;
            ++state.step;
            return LoopAction::Continue;
        }
        default:
            for (const Edition& edition : kEditions) {
                if (control == edition.browseButton) Browse(edition);
                if (control == edition.tickBox) ToggleEdition(edition);
            }
            return LoopAction::Continue;
    }
}

LoopAction OnCloseRequest() {
    QVK_AT();
    Log("Exit... (Window)");
    if (ShowMessage(UiText(AbortQuestion), IconWarning, ButtonsYesNo) == AnswerYes)
        CleanUpAndExit("Yes, delete temp dir and free memories");
    Log("No");
    return LoopAction::Restart;
}

}  // namespace qvk
