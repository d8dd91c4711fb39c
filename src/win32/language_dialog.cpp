#include "language_dialog.h"

#include <windows.h>

#include "core/cleanup.h"
#include "core/state.h"
#include "driver/language_choice.h"
#include "texts/language.h"
#include "win32_ui.h"
#include "window/controls.h"
#include "window/ui.h"

namespace qvk::win32 {
namespace {

const char kClassName[] = "QvkLanguageWindow";

HWND languageWindow = nullptr;
HWND controls[6] = {};
EventQueue events;
bool languageFound = false;

LRESULT CALLBACK LanguageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            const int code = HIWORD(wParam);
            if (id == LanguageList) {
                if (code == CBN_SELCHANGE) events.Push(id);
            } else if (id == LanguageOkButton || id == LanguageCancelButton) {
                // Enter and Escape arrive here too; OK only counts while it is enabled.
                if (id != LanguageOkButton || IsWindowEnabled(controls[LanguageOkButton]))
                    events.Push(id);
            }
            return 0;
        }
        case WM_CLOSE:
            events.Push(LanguageCloseRequest);
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

HWND Child(const char* cls, const char* text, DWORD style, int x, int y, int w, int h, int id) {
    HWND handle = CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h,
                                  languageWindow, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                  GetModuleHandleA(nullptr), nullptr);
    SendMessageA(handle, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
    controls[id] = handle;
    return handle;
}

void Relabel() {
    SetWindowTextA(controls[LanguagePrompt], UiText(LanguagePromptText).c_str());
    SetWindowTextA(controls[LanguageCancelButton], UiText(CancelText).c_str());
    SetWindowTextA(controls[LanguageOkButton], UiText(OkText).c_str());
    SetWindowTextA(languageWindow, UiText(LanguageTitle).c_str());
}

}  // namespace

void AskLanguage() {
    languageFound = BeginLanguageChoice();

    RegisterWindowClass(kClassName, LanguageProc);
    // A caption without system menu: no close, minimise or maximise box.
    languageWindow = CreateCentredWindow(kClassName, UiText(LanguageTitle).c_str(),
                                         WS_POPUP | WS_CAPTION, WS_EX_DLGMODALFRAME, 286, 126);

    Child("STATIC", UiText(LanguagePromptText).c_str(), 0, 70, 10, 200, 20, LanguagePrompt);
    Child("BUTTON", UiText(OkText).c_str(), WS_TABSTOP | BS_DEFPUSHBUTTON, 110, 95, 75, 23,
          LanguageOkButton);
    Child("BUTTON", UiText(CancelText).c_str(), WS_TABSTOP | BS_PUSHBUTTON, 200, 95, 75, 23,
          LanguageCancelButton);
    HWND list = Child("COMBOBOX", "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 70, 60, 205, 80,
                      LanguageList);
    HWND icon = Child("STATIC", "", SS_ICON, 15, 10, 32, 32, LanguageIcon);
    SendMessageA(icon, STM_SETICON,
                 reinterpret_cast<WPARAM>(LoadIconA(GetModuleHandleA(nullptr), "MAINICON")), 0);
    for (int language = 0; language < kLanguageCount; ++language)
        SendMessageA(list, CB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(LanguageText(language, LanguageName).c_str()));
    if (languageFound) SendMessageA(list, CB_SETCURSEL, state.language, 0);
    EnableWindow(controls[LanguageOkButton], languageFound);

    ShowWindow(languageWindow, SW_SHOW);
    SetForegroundWindow(languageWindow);
    SetFocus(languageFound ? controls[LanguageOkButton] : list);
    TheUi().SetOwner(languageWindow);
}

void RunLanguageDialog() {
    for (;;) {
        MSG msg;
        if (GetMessageA(&msg, nullptr, 0, 0) <= 0) BareExit();
        if (!IsDialogMessageA(languageWindow, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        int event;
        while (events.Pop(event)) {
            const int selected = event == LanguageList
                                     ? static_cast<int>(SendMessageA(controls[LanguageList],
                                                                     CB_GETCURSEL, 0, 0))
                                     : -1;
            switch (OnLanguageEvent(event, selected)) {
                case LanguageReply::Chosen:
                    return;
                case LanguageReply::Relabel:
                    Relabel();
                    EnableWindow(controls[LanguageOkButton], TRUE);
                    break;
                case LanguageReply::Wait:
                    break;
            }
        }
    }
}

void CloseAskLanguage() {
    DestroyWindow(languageWindow);  // takes the child controls with it, prompt first
    languageWindow = nullptr;
    for (HWND& control : controls) control = nullptr;
    TheUi().SetOwner(nullptr);
    EndLanguageChoice();
}

}  // namespace qvk::win32
