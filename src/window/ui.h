// The wizard window as the portable code sees it. The Win32 layer implements it over the real
// window; every worker writes its status through it. Only the main thread creates, shows,
// hides and frees controls; texts, progress values and the enabled state may be set from any
// thread.
#pragma once
#include <string>

#include "window/controls.h"

namespace qvk {

// What a message box is about, as the code that shows it knows it: the table slot its text is
// made from (-1 for none) and what stands for its placeholder (a plugin name, an archive's file
// name, an edition), if any. The unattended mode answers by it, never by reading the text.
struct MessageTopic {
    int slot = -1;
    std::string subject;
};

class Ui {
public:
    virtual ~Ui() = default;
    // Modal message box; style is icon | buttons. Returns the platform's button code.
    virtual int Message(const std::string& text, const std::string& title, int style,
                        const MessageTopic& topic) = 0;
    virtual void SetText(int control, const std::string& text) = 0;
    virtual std::string GetText(int control) = 0;
    virtual void SetProgress(int control, int value) = 0;
    virtual void SetProgressMax(int control, int maximum) = 0;
    virtual void Enable(int control, bool enabled) = 0;
    virtual void AddLine(int control, const std::string& line) = 0;
    virtual void Show(int control, bool visible) = 0;
    virtual void Free(int control) = 0;
    virtual int GetState(int control) = 0;
    virtual void SetState(int control, int state) = 0;
    // Moves and resizes; kKeep leaves that coordinate as it is.
    virtual void Move(int control, int x, int y, int width, int height) = 0;
};

inline constexpr int kKeep = -0x7fff;

// The window in use; never null. Before a window exists, and after SetUi(nullptr), a window-less
// one takes every call: texts and progress go nowhere and a message is answered 0, no button.
Ui* CurrentUi();
void SetUi(Ui* ui);

// Modal message with the title of its icon kind in the current language. Any thread.
int ShowMessage(const std::string& text, int icon, int buttons, const MessageTopic& topic = {});

}  // namespace qvk
