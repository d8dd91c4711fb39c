// The wizard window behind the portable Ui: controls by their fixed numbers, and the message
// boxes of every thread.
#pragma once
#include <windows.h>

#include <atomic>
#include <deque>
#include <map>
#include <string>

#include "platform/threads.h"
#include "window/ui.h"

namespace qvk::win32 {

void RememberMainThread();
bool OnMainThread();

// Posted to the owner window: wParam the control's handle, lParam 1 to enable, 0 to disable.
inline constexpr UINT kEnableControlMessage = WM_APP + 1;
// Posted to the owner window: lParam a worker's write to a control, which the owner applies
// with WindowUi::ApplyPosted.
inline constexpr UINT kPostedWriteMessage = WM_APP + 2;

class WindowUi : public Ui {
public:
    int Message(const std::string& text, const std::string& title, int style,
                const MessageTopic& topic) override;
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
    // Once this flag is set (the orderly end has begun), a worker's window calls return at
    // once and do nothing: the main thread no longer answers them.
    void SetEndFlag(const std::atomic<bool>* ending) { ending_ = ending; }
    // On the owner's thread: carries out a write that a worker posted (kPostedWriteMessage).
    void ApplyPosted(LPARAM write);

private:
    enum class WriteKind { Text, Progress, ProgressMax, Line };
    struct Write {
        WriteKind kind;
        int control;
        int value;
        std::string text;
    };

    bool Ending() const { return ending_ && ending_->load() && !OnMainThread(); }
    // A worker's write goes to the owner's queue, so the worker never waits for the main
    // thread; on the main thread it is carried out at once.
    void Perform(Write write);
    void Carry(const Write& write);
    // Sends a message; from a worker it waits at most a few seconds, and not at all once the
    // end has begun, so that a worker never hangs on a main thread that is ending the program.
    LRESULT Send(HWND handle, UINT message, WPARAM wParam, LPARAM lParam);

    const std::atomic<bool>* ending_ = nullptr;

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
