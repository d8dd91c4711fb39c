// The processes running beside the installer.
#pragma once
#include <string>

namespace qvk::platform {

// True when a process runs whose executable name is exactly `imageName` (letter case counts,
// no folder on either side). A process list that cannot be read counts as "not running".
bool IsProcessRunning(const std::string& imageName);

}  // namespace qvk::platform
