// The system's own dialogs that the wizard opens.
#pragma once
#include <string>

namespace qvk::platform {

// The file chooser, owned by the wizard window. `filter` is "label|pattern". Returns the chosen
// file's path, or empty when the user cancelled.
std::string ChooseFile(const std::string& title, const std::string& defaultFile,
                       const std::string& filter);

// The crash report's box, titled "Critical error", with the error icon: Yes and No when `yesNo`,
// else OK. Owned by no window, so that it shows while the thread of the wizard window is stopped.
// True for Yes.
bool CriticalErrorBox(const std::string& text, bool yesNo);

}  // namespace qvk::platform
