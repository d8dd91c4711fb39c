// The program entry: start-up in its fixed order, then the wizard's main loop.
// This unit shows in crash reports under its own name.
#define QVK_SOURCE_UNIT "Main Module"
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "check_list.h"
#include "core/cleanup.h"
#include "core/log.h"
#include "core/shutdown_gate.h"
#include "core/state.h"
#include "crash_hook.h"
#include "diagnostics/source_position.h"
#include "driver/silent.h"
#include "driver/start_up.h"
#include "driver/wizard.h"
#include "language_dialog.h"
#include "platform/console.h"
#include "win32_ui.h"
#include "window/ui.h"
#include "wizard_window.h"
#ifdef QVK_FAULT_TRIGGERS
#include "fault_triggers.h"
#endif

namespace qvk::win32 {
namespace {

std::vector<std::string> Arguments() {
    std::vector<std::string> args;
    for (int i = 1; i < __argc; ++i) args.emplace_back(__argv[i]);
    return args;
}

void HandleEvents(EventQueue& events) {
    int event;
    while (events.Pop(event)) {
        QVK_AT();
        const LoopAction action =
            event == EventQueue::kCloseRequest ? OnCloseRequest() : OnControl(event);
        QVK_AT();
#ifdef QVK_FAULT_TRIGGERS
        if (event == NextButton) FaultsAfterNext(state.step);
#endif
        if (action == LoopAction::Restart) EnterMainLoop();
    }
}

[[noreturn]] void MainLoop() {
    EnterMainLoop();
    EventQueue& events = WizardEvents();
    HWND window = WizardWindow();
    for (;;) {
        // At most 1 ms as before, but input, a worker's posted update or the worker's end
        // wakes the loop at once instead of after the system's next timer tick (up to 15.6 ms).
        HANDLE worker = static_cast<HANDLE>(WatchedWorker());
        MsgWaitForMultipleObjects(worker ? 1 : 0, worker ? &worker : nullptr, FALSE, 1,
                                  QS_ALLINPUT);
        PollWorkers();
        // Every event waiting, not one per pass: a pass per event would let a burst of
        // repaints and clicks queue up behind the wait.
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) CleanUpAndExit("");
            if (!IsDialogMessageA(window, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
            HandleEvents(events);
        }
        HandleEvents(events);
    }
}

void InstallHooks() {
    WizardHooks hooks;
    hooks.freeImage = FreeImage;
    hooks.installLinkHandler = InstallNotesLinkHandler;
    hooks.buildCheckList = BuildCheckList;
    hooks.freeCheckList = FreeCheckList;
    hooks.checkAll = CheckAll;
    SetWizardHooks(hooks);
}

}  // namespace

[[noreturn]] void Run() {
    QVK_AT();
    RememberMainThread();
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS | ICC_BAR_CLASSES |
                                                           ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    LoadLibraryA("riched20.dll");
    std::vector<std::string> args = Arguments();
#ifdef QVK_FAULT_TRIGGERS
    std::vector<std::string> productArgs;
    for (const std::string& arg : args)
        if (arg.compare(0, 10, "-faulttest") != 0) productArgs.push_back(arg);
#else
    const std::vector<std::string>& productArgs = args;
#endif
    // The unattended mode has no window and no console of its own from the first message on.
    static SilentUi silentUi(platform::WriteOutput);
    StartUpSteps steps;
    if (IsSilentRun(args)) {
        platform::UseStartingConsole();
        SetUi(&silentUi);
        steps = SilentStartUp(silentUi, productArgs);
    } else {
        TheUi().SetEndFlag(&ShutdownRequested());
        SetUi(&TheUi());
        InstallHooks();
        steps.chooseLanguage = [] {
            AskLanguage();
            RunLanguageDialog();
            CloseAskLanguage();
        };
        steps.buildWindow = BuildWizardWindow;
        steps.runMainLoop = MainLoop;
    }
    steps.installCrashHook = InstallCrashHook;
#ifdef QVK_FAULT_TRIGGERS
    steps.optionsRead = [args] { ArmFaults(args); };
#endif
    StartUp(args, steps);
}

}  // namespace qvk::win32

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { qvk::win32::Run(); }
