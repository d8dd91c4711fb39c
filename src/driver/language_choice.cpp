#include "driver/language_choice.h"

#include <string>

#include "core/cleanup.h"
#include "core/log.h"
#include "core/state.h"
#include "texts/language.h"
#include "window/controls.h"
#include "window/ui.h"

namespace qvk {
namespace {

void ConfirmAbort(const char* logLine) {
    Log(logLine);
    if (ShowMessage(UiText(AbortQuestion), IconWarning, ButtonsYesNo) == AnswerYes) {
        Log("Yes");
        BareExit();
    }
}

}  // namespace

bool BeginLanguageChoice() {
    Log("AskLanguage()");
    return DetectLanguage() >= 0;
}

LanguageReply OnLanguageEvent(int event, int selected) {
    switch (event) {
        case LanguageCancelButton:
            ConfirmAbort("Exit... (Button)");
            return LanguageReply::Wait;
        case LanguageCloseRequest:
            ConfirmAbort("Exit... (Window)");
            return LanguageReply::Wait;
        case LanguageOkButton:
            Log("Language selected (" + std::to_string(state.language) + ") : " +
                UiText(LanguageName));
            return LanguageReply::Chosen;
        case LanguageList:
            // The list's empty selection (-1) while it drops down chooses nothing.
            if (selected < 0 || selected >= kLanguageCount) return LanguageReply::Wait;
            state.language = selected;
            Log("New language (" + std::to_string(state.language) + ") : " + UiText(LanguageName));
            return LanguageReply::Relabel;
        default:
            return LanguageReply::Wait;
    }
}

void EndLanguageChoice() { Log("AskLanguage(): END"); }

}  // namespace qvk
