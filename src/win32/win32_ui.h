// The wizard window behind the portable Ui: controls by their fixed numbers, and the message
// boxes of every thread.
#pragma once
#include <windows.h>

#include <deque>
#include <map>
#include <string>

#include "platform/threads.h"
#include "window/ui.h"

namespace qvk::win32 {

// Posted to the owner window: wParam the control's handle, lParam 1 to enable, 0 to disable.
inline constexpr UINT kEnableControlMessage = WM_APP + 1;

class WindowUi : public Ui {
public:
    int Message(const std::string& text, const std::string& title, int style) override;
    void SetText(int control, const std::string& text) override;
    std::string GetText(int control) override;
    void SetProgress(int control, int value) override;
    void SetProgressMax(int control, int maximum) override;
    void Enable(int control, bool enabled) override;
    void AddLine(int control, const std::string& line) override;
    void Show(int control, bool visible) override;
    void Free(int control) override;
    int GetState(int control) override;
    void SetState(int control, int state) override;
    void Move(int control, int x, int y, int width, int height) override;

    // The owner window of message boxes and the controls by number.
    void SetOwner(HWND owner) { owner_ = owner; }
    HWND Owner() const { return owner_; }
    void Register(int control, HWND handle);
    HWND Handle(int control);

private:
    // Sends a message, waiting at most a few seconds when called from a worker, so that a
    // worker never hangs on a main thread that is busy ending the program.
    LRESULT Send(HWND handle, UINT message, WPARAM wParam, LPARAM lParam);

    HWND owner_ = nullptr;
    platform::Mutex mutex_;
    std::map<int, HWND> controls_;
};

WindowUi& TheUi();

// Registers a window class of the program: arrow cursor, dialog background, the program's icon.
void RegisterWindowClass(const char* name, WNDPROC procedure);
// A top-level window whose client area has the given size, centred on the screen.
HWND CreateCentredWindow(const char* className, const char* title, DWORD style, DWORD exStyle,
                         int clientWidth, int clientHeight);
void RememberMainThread();
bool OnMainThread();

// Control events and close requests that a window procedure hands to the loop that owns it.
struct EventQueue {
    static constexpr int kCloseRequest = -1;
    std::deque<int> events;
    void Push(int event) { events.push_back(event); }
    bool Pop(int& event) {
        if (events.empty()) return false;
        event = events.front();
        events.pop_front();
        return true;
    }
};

}  // namespace qvk::win32
