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
    DWORD_PTR result = 0;
    SendMessageTimeoutA(handle, message, wParam, lParam, SMTO_NORMAL, 2000, &result);
    return static_cast<LRESULT>(result);
}

int WindowUi::Message(const std::string& text, const std::string& title, int style) {
    return MessageBoxA(owner_, text.c_str(), title.c_str(), static_cast<UINT>(style));
}

void WindowUi::SetText(int control, const std::string& text) {
    Send(Handle(control), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
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

void WindowUi::SetProgress(int control, int value) { Send(Handle(control), PBM_SETPOS, value, 0); }

void WindowUi::SetProgressMax(int control, int maximum) {
    Send(Handle(control), PBM_SETRANGE32, 0, maximum);
}

void WindowUi::Enable(int control, bool enabled) {
    HWND handle = Handle(control);
    if (!handle) return;
    // EnableWindow from a worker would wait on the main thread; the window enables the control
    // itself when it takes the posted request (the catalogue thread's last act).
    if (OnMainThread() || !owner_) EnableWindow(handle, enabled);
    else PostMessageA(owner_, kEnableControlMessage, reinterpret_cast<WPARAM>(handle), enabled);
}

void WindowUi::AddLine(int control, const std::string& line) {
    HWND handle = Handle(control);
    if (!handle) return;
    const std::string text = line + "\r\n";
    Send(handle, EM_SETSEL, static_cast<WPARAM>(-1), -1);
    Send(handle, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
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
