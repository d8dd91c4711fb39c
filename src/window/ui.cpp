#include "window/ui.h"

#include <atomic>

#include "texts/language.h"

namespace qvk {
namespace {

class NoWindowUi final : public Ui {
public:
    int Message(const std::string&, const std::string&, int, const MessageTopic&) override { return 0; }
    void SetText(int, const std::string&) override {}
    std::string GetText(int) override { return std::string(); }
    void SetProgress(int, int) override {}
    void SetProgressMax(int, int) override {}
    void Enable(int, bool) override {}
    void AddLine(int, const std::string&) override {}
    void Show(int, bool) override {}
    void Free(int) override {}
    int GetState(int) override { return 0; }
    void SetState(int, int) override {}
    void Move(int, int, int, int, int) override {}
};

// Never destroyed: a worker may still report while the process ends.
Ui* NoWindow() {
    static Ui* const ui = new NoWindowUi;
    return ui;
}

std::atomic<Ui*> currentUi{nullptr};

}  // namespace

Ui* CurrentUi() {
    Ui* ui = currentUi.load(std::memory_order_acquire);
    return ui ? ui : NoWindow();
}
void SetUi(Ui* ui) { currentUi.store(ui, std::memory_order_release); }

int ShowMessage(const std::string& text, int icon, int buttons, const MessageTopic& topic) {
    std::string title;
    switch (icon) {
        case IconWarning: title = UiText(WarningTitle); break;
        case IconError: title = UiText(ErrorTitle); break;
        case IconInformation: title = UiText(InformationTitle); break;
        case IconQuestion: title = UiText(QuestionTitle); break;
        default: break;
    }
    return CurrentUi()->Message(text, title, icon | buttons, topic);
}

}  // namespace qvk
