#include "driver/start_up.h"

#include "core/cleanup.h"
#include "core/log.h"
#include "core/state.h"
#include "diagnostics/host_os.h"
#include "diagnostics/source_position.h"
#include "driver/options.h"
#include "driver/silent.h"
#include "install/hosts.h"
#include "kitehttp.h"
#include "platform/files.h"
#include "texts/language.h"
#include "window/controls.h"
#include "window/ui.h"

namespace qvk {
namespace {

void KiteLog(const std::string& line) { Log(line); }

void Run(const std::function<void()>& step) {
    if (step) step();
}

}  // namespace

void StartUp(const std::vector<std::string>& args, const StartUpSteps& steps) {
    QVK_AT();
    ResetState();
    FillLanguageTables();
    FillHostKeyTables();
    // Before the crash report's thread: under Wine an exit while a thread starts can crash.
    if (HelpRequested(args)) ShowHelpAndExit(IsSilentRun(args));
    Run(steps.installCrashHook);
    kite::HttpDebug("", KiteLog);
    kite::SetSystemHooks(platform::MoveFileOver, platform::SystemErrorText);

    // Before the language is chosen: the same words in every language, the title in English.
    if (OsVersionCode() == 100)
        ShowMessage("You're using an OS not supported by the Quorvane Plugins Pack. You could have "
                    "some problems.",
                    IconWarning, ButtonsOk);

    QVK_AT();
    ParseOptions(args);
    Run(steps.optionsRead);
    state.systemTempDir = platform::TempFolder();
    Log("Temp directory : " + state.systemTempDir);

    QVK_AT();
    Run(steps.chooseLanguage);
    WarnAboutRunningEditors();

    QVK_AT();
    if (steps.buildWindow && !steps.buildWindow())
        CleanUpAndExit("Unable to create the wizard window");
    state.step = 0;
    downloadJob = DownloadJob();
    installJob = InstallJob();
    Run(steps.runMainLoop);
    CleanUpAndExit("");  // a loop that returns all the same still ends in order
}

}  // namespace qvk
