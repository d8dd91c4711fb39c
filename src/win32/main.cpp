// The program entry: start-up in its fixed order, then the wizard's main loop.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#include <string>
#include <vector>

#include "catalogue.h"
#include "check_list.h"
#include "cleanup.h"
#include "host_os.h"
#include "kitehttp.h"
#include "language.h"
#include "language_dialog.h"
#include "log.h"
#include "options.h"
#include "state.h"
#include "ui.h"
#include "win32_ui.h"
#include "wizard.h"
#include "wizard_window.h"

namespace qvk::win32 {
namespace {

struct ThreadStart {
    ThreadBody body;
    void* job;
};

DWORD WINAPI ThreadTrampoline(void* parameter) {
    const ThreadStart start = *static_cast<ThreadStart*>(parameter);
    delete static_cast<ThreadStart*>(parameter);
    start.body(start.job);
    return 0;
}

ThreadHandle StartThread(ThreadBody body, void* job) {
    auto* start = new ThreadStart{body, job};
    HANDLE thread = CreateThread(nullptr, 0, ThreadTrampoline, start, 0, nullptr);
    if (!thread) delete start;
    return thread;
}

bool ThreadRunning(ThreadHandle handle) {
    return handle && WaitForSingleObject(static_cast<HANDLE>(handle), 0) == WAIT_TIMEOUT;
}

bool StartNetwork() { return kite::StartNetwork(); }

std::string ChooseFile(const std::string& title, const std::string& defaultFile,
                       const std::string& filter) {
    // "label|pattern" becomes the chooser's double-zero-terminated filter list.
    std::string filters = filter;
    for (char& c : filters)
        if (c == '|') c = '\0';
    filters.append(2, '\0');
    char file[MAX_PATH] = {};
    lstrcpynA(file, defaultFile.c_str(), MAX_PATH);
    OPENFILENAMEA chooser = {};
    chooser.lStructSize = sizeof(chooser);
    chooser.hwndOwner = WizardWindow();
    chooser.lpstrFilter = filters.c_str();
    chooser.nFilterIndex = 1;
    chooser.lpstrFile = file;
    chooser.nMaxFile = MAX_PATH;
    chooser.lpstrTitle = title.c_str();
    chooser.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    return GetOpenFileNameA(&chooser) ? std::string(file) : std::string();
}

void KiteLog(const std::string& line) { Log(line); }

void RunCatalogueThread(void* job) { CatalogueThread(static_cast<CatalogueJob*>(job)); }

std::vector<std::string> Arguments() {
    std::vector<std::string> args;
    for (int i = 1; i < __argc; ++i) args.emplace_back(__argv[i]);
    return args;
}

std::string TempFolder() {
    char shortPath[MAX_PATH + 1] = {}, longPath[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(sizeof(shortPath), shortPath);
    if (length == 0 || length > MAX_PATH) return std::string();
    // The log and the work folder name the long form, never the 8.3 one.
    const DWORD longLength = GetLongPathNameA(shortPath, longPath, sizeof(longPath));
    return longLength > 0 && longLength <= MAX_PATH ? std::string(longPath) : std::string(shortPath);
}

[[noreturn]] void MainLoop() {
    EnterMainLoop();
    EventQueue& events = WizardEvents();
    HWND window = WizardWindow();
    for (;;) {
        Sleep(1);
        PollWorkers();
        MSG msg;
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) CleanUpAndExit("");
            if (!IsDialogMessageA(window, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
        int event;
        while (events.Pop(event)) {
            const LoopAction action =
                event == EventQueue::kCloseRequest ? OnCloseRequest() : OnControl(event);
            if (action == LoopAction::Restart) EnterMainLoop();
        }
    }
}

void InstallHooks() {
    WizardHooks hooks;
    hooks.startThread = StartThread;
    hooks.threadRunning = ThreadRunning;
    hooks.startNetwork = StartNetwork;
    hooks.freeImage = FreeImage;
    hooks.installLinkHandler = InstallNotesLinkHandler;
    hooks.buildCheckList = BuildCheckList;
    hooks.freeCheckList = FreeCheckList;
    hooks.checkAll = CheckAll;
    hooks.chooseFile = ChooseFile;
    hooks.catalogueThread = RunCatalogueThread;
    SetWizardHooks(hooks);
}

}  // namespace

[[noreturn]] void Run() {
    RememberMainThread();
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS | ICC_BAR_CLASSES |
                                                           ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    LoadLibraryA("riched20.dll");
    SetUi(&TheUi());

    ResetState();
    FillLanguageTables();
    InstallHooks();
    kite::HttpDebug("", KiteLog);

    if (OsVersionCode() == 100)
        ShowMessage("You're using an OS not supported by the Quorvane Plugins Pack. You could have "
                    "some problems.",
                    IconWarning, ButtonsOk);

    ParseOptions(Arguments());
    state.systemTempDir = TempFolder();
    Log("Temp directory : " + state.systemTempDir);

    AskLanguage();
    RunLanguageDialog();
    CloseAskLanguage();

    // The running-editor check and host discovery come with the registry support.

    if (!BuildWizardWindow()) CleanUpAndExit("Unable to create the wizard window");
    state.step = 0;
    downloadJob = DownloadJob();
    installJob = InstallJob();
    MainLoop();
}

}  // namespace qvk::win32

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { qvk::win32::Run(); }
