// A small window with one control of each kind the installer uses, for proving the UI driver
// on its own. Every reaction writes a line into the status text (id 31), so the test can tell
// which event arrived and in what state.
#include <windows.h>
// after windows.h, which they build on
#include <commctrl.h>
#include <richedit.h>

#include <string>

namespace {

enum : int {
    PressButton = 10,
    AskButton = 11,
    LaterButton = 12,
    SecondButton = 13,
    Progress = 14,
    RichLog = 16,
    PanelId = 17,
    PathField = 18,
    TickBox = 19,
    DoomedButton = 20,
    StatusText = 31,
    TickText = 32,
    ChoiceList = 4,
    FirstNestedBox = 100,
    LaterTimer = 1,
};

HINSTANCE instance;
HWND mainWindow, secondWindow;
HWND lastFocus;  // the control to give the focus back to when the window is activated again
int presses = 0;

void SetStatus(const std::string& text) { SetDlgItemTextA(mainWindow, StatusText, text.c_str()); }

HWND Child(HWND parent, const char* cls, const char* text, DWORD style, int x, int y, int w, int h,
           int id) {
    HWND control =
        CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                 TRUE);
    return control;
}

LRESULT CALLBACK SecondProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
        SetStatus("Second closed");
        DestroyWindow(window);
        secondWindow = nullptr;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void OpenSecondWindow() {
    if (secondWindow) return;
    // Caption without system menu, like the installer's language window.
    secondWindow = CreateWindowExA(WS_EX_DLGMODALFRAME, "SelftestSecond", "Selftest 2",
                                   WS_POPUP | WS_CAPTION | WS_VISIBLE, 500, 100, 200, 100, nullptr,
                                   nullptr, instance, nullptr);
}

void OnCommand(int id, int code, HWND control) {
    switch (id) {
        case PressButton:
            if (code == BN_CLICKED) SetStatus("Pressed " + std::to_string(++presses));
            break;
        case TickBox:
            if (code == BN_CLICKED)
                SetDlgItemTextA(mainWindow, TickText,
                                SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED
                                    ? "Ticked 1"
                                    : "Ticked 0");
            break;
        case ChoiceList:
            if (code == CBN_SELCHANGE) {
                const LRESULT index = SendMessageA(control, CB_GETCURSEL, 0, 0);
                char text[64] = "";
                GetWindowTextA(control, text, sizeof text);
                SetStatus("Selected " + std::to_string(index) + ": " + text);
            }
            break;
        case AskButton: {
            const int answer = MessageBoxA(mainWindow, "Proceed with the test?\r\nSecond line",
                                           "Question", MB_YESNO | MB_ICONQUESTION);
            SetStatus("Answer " + std::to_string(answer));
            break;
        }
        case LaterButton:
            SetTimer(mainWindow, LaterTimer, 400, nullptr);
            SetStatus("Timer started");
            break;
        case SecondButton:
            OpenSecondWindow();
            break;
        case IDOK:  // Enter, through the dialog keyboard handling
            SetStatus("Enter key");
            break;
        case IDCANCEL:  // Escape
            SetStatus("Escape key");
            break;
    }
}

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
            return 0;
        case WM_ACTIVATE:
            // Activation moves the focus to the window itself; keep it on the control, as
            // dialog boxes do, so keyboard navigation starts where it left off.
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = GetFocus();
                if (focus && IsChild(window, focus)) lastFocus = focus;
            }
            break;
        case WM_SETFOCUS:
            if (lastFocus && IsWindow(lastFocus)) SetFocus(lastFocus);
            return 0;
        case WM_TIMER:
            if (wParam == LaterTimer) {
                KillTimer(window, LaterTimer);
                EnableWindow(GetDlgItem(window, PressButton), FALSE);
                ShowWindow(GetDlgItem(window, TickBox), SW_HIDE);
                DestroyWindow(GetDlgItem(window, DoomedButton));
                SetStatus("Timer fired");
            }
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            RECT banner = {400, 10, 440, 30};
            HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
            FillRect(dc, &banner, red);
            DeleteObject(red);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_CLOSE:
            if (MessageBoxA(window, "Really close the self-test?", "Warning",
                            MB_YESNO | MB_ICONWARNING) == IDYES)
                DestroyWindow(window);
            else
                SetStatus("Close refused");
            return 0;
        case WM_DESTROY:
            PostQuitMessage(3);  // a distinctive exit code for the harness to see
            return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void Build() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = MainProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "SelftestMain";
    RegisterClassA(&wc);
    wc.lpfnWndProc = SecondProc;
    wc.lpszClassName = "SelftestSecond";
    RegisterClassA(&wc);

    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT r = {0, 0, 460, 300};
    AdjustWindowRect(&r, style, FALSE);
    mainWindow = CreateWindowExA(0, "SelftestMain", "Selftest", style, 20, 20, r.right - r.left,
                                 r.bottom - r.top, nullptr, nullptr, instance, nullptr);

    Child(mainWindow, "BUTTON", "Press", WS_TABSTOP | BS_PUSHBUTTON, 20, 20, 75, 23, PressButton);
    Child(mainWindow, "BUTTON", "Ask", WS_TABSTOP | BS_PUSHBUTTON, 105, 20, 75, 23, AskButton);
    Child(mainWindow, "BUTTON", "Later", WS_TABSTOP | BS_PUSHBUTTON, 190, 20, 75, 23, LaterButton);
    Child(mainWindow, "BUTTON", "Second", WS_TABSTOP | BS_PUSHBUTTON, 275, 20, 75, 23,
          SecondButton);
    Child(mainWindow, "BUTTON", "Tick me", WS_TABSTOP | BS_AUTOCHECKBOX, 20, 55, 150, 20, TickBox);
    Child(mainWindow, "BUTTON", "Doomed", WS_TABSTOP | BS_PUSHBUTTON, 190, 55, 75, 23,
          DoomedButton);
    HWND list = Child(mainWindow, "COMBOBOX", "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 20,
                      85, 205, 80, ChoiceList);
    for (const char* entry : {"Fran\xE7"
                              "ais",
                              "English", "Deutsch"})
        SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
    SendMessageA(list, CB_SETCURSEL, 1, 0);
    Child(mainWindow, "EDIT", "C:\\Program Files\\Quorvane\\",
          WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 20, 120, 300, 20, PathField);
    HWND bar = Child(mainWindow, PROGRESS_CLASSA, "", PBS_SMOOTH, 20, 150, 300, 20, Progress);
    SendMessageA(bar, PBM_SETRANGE32, 0, 102);
    SendMessageA(bar, PBM_SETPOS, 42, 0);
    // A read-only rich text box with two lines, like the installer's catalogue log.
    LoadLibraryA("riched20.dll");
    Child(mainWindow, RICHEDIT_CLASSA, "", ES_MULTILINE | ES_READONLY | WS_BORDER, 330, 120, 120,
          50, RichLog);
    SetDlgItemTextA(mainWindow, RichLog, "first line\r\nsecond line");
    // A container with nested tick boxes, as the plugin list keeps its boxes.
    HWND panel = Child(mainWindow, "STATIC", "", 0, 20, 180, 300, 50, PanelId);
    Child(panel, "BUTTON", "Nested A", BS_AUTOCHECKBOX, 0, 0, 140, 20, FirstNestedBox);
    HWND hidden =
        Child(panel, "BUTTON", "Nested B", BS_AUTOCHECKBOX, 0, 25, 140, 20, FirstNestedBox + 1);
    ShowWindow(hidden, SW_HIDE);
    Child(panel, "BUTTON", "Nested C", BS_AUTOCHECKBOX, 150, 0, 140, 20, FirstNestedBox + 2);
    Child(mainWindow, "STATIC", "Ready", 0, 20, 240, 420, 20, StatusText);
    Child(mainWindow, "STATIC", "Ticked 0", 0, 20, 265, 200, 20, TickText);

    ShowWindow(mainWindow, SW_SHOW);
    UpdateWindow(mainWindow);
    lastFocus = GetDlgItem(mainWindow, PressButton);
    SetFocus(lastFocus);
}

}  // namespace

int WINAPI WinMain(HINSTANCE self, HINSTANCE, LPSTR, int) {
    instance = self;
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    Build();
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        // Tab, Enter and Escape get the dialog keyboard handling, as in the installer's windows.
        if (IsDialogMessageA(mainWindow, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}
