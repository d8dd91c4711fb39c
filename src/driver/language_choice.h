// What the language dialog decides, apart from its window: the preselection from the user's
// locale, the abort question and the choice. The Windows layer shows the dialog and hands each
// of its events here.
#pragma once

namespace qvk {

// Logs the dialog's start and detects the locale's language into the installer state; true when
// it is one of the program's, so the dialog preselects it and OK starts enabled.
bool BeginLanguageChoice();

enum class LanguageReply {
    Wait,     // nothing for the window to change
    Relabel,  // a new language: the window's texts follow it, and OK is enabled
    Chosen,   // OK: the dialog closes
};

// One event of the dialog (a `LanguageControl`); `selected` is the list's selection for
// LanguageList. A confirmed abort ends the program here, through the bare exit.
LanguageReply OnLanguageEvent(int event, int selected);

void EndLanguageChoice();

}  // namespace qvk
