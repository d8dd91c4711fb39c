#pragma once

namespace qvk::win32 {

// Control numbers of the language dialog; OK and Cancel take the dialog manager's own numbers
// so that Enter and Escape work as in any Windows dialog.
enum LanguageControl : int {
    LanguageOkButton = 1,
    LanguageCancelButton = 2,
    LanguagePrompt = 3,
    LanguageList = 4,
    LanguageIcon = 5,
};

// Detects the language, opens the dialog with it preselected and returns at once.
void AskLanguage();
// The dialog's own event loop; returns once OK was pressed. A confirmed abort ends the program
// through the bare exit.
void RunLanguageDialog();
void CloseAskLanguage();

}  // namespace qvk::win32
