#include "win32_ui.h"

#include <commctrl.h>
#include <richedit.h>

#include <vector>

namespace qvk::win32 {
namespace {
DWORD mainThreadId = 0;
}

void RememberMainThread() { mainThreadId = GetCurrentThreadId(); }
bool OnMainThread() { return GetCurrentThreadId() == mainThreadId; }

WindowUi& TheUi() {
    static WindowUi ui;
    return ui;
}

void RegisterWindowClass(const char* name, WNDPROC procedure) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.hIcon = LoadIconA(instance, "MAINICON");
    wc.lpszClassName = name;
    RegisterClassA(&wc);
}

HWND CreateCentredWindow(const char* className, const char* title, DWORD style, DWORD exStyle,
                         int clientWidth, int clientHeight) {
    RECT rect = {0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    return CreateWindowExA(exStyle, className, title, style,
                           (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                           (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, nullptr,
                           nullptr, GetModuleHandleA(nullptr), nullptr);
}

void WindowUi::Register(int control, HWND handle) {
    platform::MutexLock lock(mutex_);
    controls_[control] = handle;
}

HWND WindowUi::Handle(int control) {
    platform::MutexLock lock(mutex_);
    const auto found = controls_.find(control);
    return found == controls_.end() ? nullptr : found->second;
}

LRESULT WindowUi::Send(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!handle) return 0;
    if (OnMainThread()) return SendMessageA(handle, message, wParam, lParam);
    if (Ending()) return 0;
    DWORD_PTR result = 0;
    SendMessageTimeoutA(handle, message, wParam, lParam, SMTO_NORMAL, 2000, &result);
    return static_cast<LRESULT>(result);
}

void WindowUi::Carry(const Write& write) {
    HWND handle = Handle(write.control);
    if (!handle) return;  // freed meanwhile
    switch (write.kind) {
        case WriteKind::Text:
            SendMessageA(handle, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(write.text.c_str()));
            break;
        case WriteKind::Progress:
            SendMessageA(handle, PBM_SETPOS, write.value, 0);
            break;
        case WriteKind::ProgressMax:
            SendMessageA(handle, PBM_SETRANGE32, 0, write.value);
            break;
        case WriteKind::Line: {
            const std::string text = write.text + "\r\n";
            SendMessageA(handle, EM_SETSEL, static_cast<WPARAM>(-1), -1);
            SendMessageA(handle, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
            break;
        }
    }
}

void WindowUi::Perform(Write write) {
    if (OnMainThread() || !owner_) {
        Carry(write);
        return;
    }
    if (Ending()) return;
    // Posted writes keep their order among themselves and with the posted enable requests.
    auto* posted = new Write(std::move(write));
    if (!PostMessageA(owner_, kPostedWriteMessage, 0, reinterpret_cast<LPARAM>(posted)))
        delete posted;
}

void WindowUi::ApplyPosted(LPARAM write) {
    const Write* posted = reinterpret_cast<const Write*>(write);
    Carry(*posted);
    delete posted;
}

int WindowUi::Message(const std::string& text, const std::string& title, int style,
                      const MessageTopic&) {
    // A question from a worker after the end began has nobody left to act on its answer.
    if (Ending()) return 0;
    return MessageBoxA(owner_, text.c_str(), title.c_str(), static_cast<UINT>(style));
}

void WindowUi::SetText(int control, const std::string& text) {
    Perform({WriteKind::Text, control, 0, text});
}

std::string WindowUi::GetText(int control) {
    HWND handle = Handle(control);
    if (!handle) return std::string();
    const int length = static_cast<int>(Send(handle, WM_GETTEXTLENGTH, 0, 0));
    std::vector<char> text(static_cast<size_t>(length) + 1, '\0');
    Send(handle, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    std::string result(text.data());
    // Plugin tick boxes carry their name with "&" doubled (so it is not a mnemonic); callers
    // want the name itself.
    if (control >= FirstPluginCheckBox) {
        for (size_t at = result.find("&&"); at != std::string::npos; at = result.find("&&", at + 1))
            result.erase(at, 1);
    }
    return result;
}

void WindowUi::SetProgress(int control, int value) {
    Perform({WriteKind::Progress, control, value, std::string()});
}

void WindowUi::SetProgressMax(int control, int maximum) {
    Perform({WriteKind::ProgressMax, control, maximum, std::string()});
}

void WindowUi::Enable(int control, bool enabled) {
    HWND handle = Handle(control);
    if (!handle) return;
    // EnableWindow from a worker would wait on the main thread; the window enables the control
    // itself when it takes the posted request (the catalogue thread's last act).
    if (OnMainThread() || !owner_) EnableWindow(handle, enabled);
    else if (!Ending())
        PostMessageA(owner_, kEnableControlMessage, reinterpret_cast<WPARAM>(handle), enabled);
}

void WindowUi::AddLine(int control, const std::string& line) {
    Perform({WriteKind::Line, control, 0, line});
}

void WindowUi::Show(int control, bool visible) {
    if (HWND handle = Handle(control)) ShowWindow(handle, visible ? SW_SHOW : SW_HIDE);
}

void WindowUi::Free(int control) {
    HWND handle = nullptr;
    {
        platform::MutexLock lock(mutex_);
        const auto found = controls_.find(control);
        if (found == controls_.end()) return;
        handle = found->second;
        controls_.erase(found);
    }
    DestroyWindow(handle);
}

int WindowUi::GetState(int control) {
    return Send(Handle(control), BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

void WindowUi::SetState(int control, int state) {
    Send(Handle(control), BM_SETCHECK, state ? BST_CHECKED : BST_UNCHECKED, 0);
}

void WindowUi::Move(int control, int x, int y, int width, int height) {
    HWND handle = Handle(control);
    if (!handle) return;
    RECT rect;
    GetWindowRect(handle, &rect);
    MapWindowPoints(HWND_DESKTOP, GetParent(handle), reinterpret_cast<POINT*>(&rect), 2);
    if (x == kKeep) x = rect.left;
    if (y == kKeep) y = rect.top;
    if (width == kKeep) width = rect.right - rect.left;
    if (height == kKeep) height = rect.bottom - rect.top;
    SetWindowPos(handle, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace qvk::win32
