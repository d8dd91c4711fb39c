// The system's own dialogs that the wizard opens.
#pragma once
#include <string>

namespace qvk::platform {

// The file chooser, owned by the wizard window. `filter` is "label|pattern". Returns the chosen
// file's path, or empty when the user cancelled.
std::string ChooseFile(const std::string& title, const std::string& defaultFile,
                       const std::string& filter);

}  // namespace qvk::platform
