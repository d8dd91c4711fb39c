#pragma once
#include <windows.h>

#include "win32_ui.h"

namespace qvk::win32 {

// Creates the wizard window with every control of every page; false when the window itself
// cannot be created.
bool BuildWizardWindow();
HWND WizardWindow();
// Control events and close requests of the wizard window, in arrival order.
EventQueue& WizardEvents();
void FreeImage(int image);
void InstallNotesLinkHandler();

}  // namespace qvk::win32
