#pragma once

namespace qvk::win32 {

// Detects the language, opens the dialog with it preselected and returns at once.
void AskLanguage();
// The dialog's own event loop; returns once OK was pressed. A confirmed abort ends the program
// through the bare exit.
void RunLanguageDialog();
void CloseAskLanguage();

}  // namespace qvk::win32
