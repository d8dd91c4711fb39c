#include "window/ui.h"

#include <atomic>

#include "texts/language.h"

namespace qvk {
namespace {
std::atomic<Ui*> currentUi{nullptr};
}

Ui* CurrentUi() { return currentUi.load(std::memory_order_acquire); }
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
    Ui* ui = CurrentUi();
    // Without any user interface (native tools) there is nobody to answer: 0 is no button.
    return ui ? ui->Message(text, title, icon | buttons, topic) : 0;
}

}  // namespace qvk
