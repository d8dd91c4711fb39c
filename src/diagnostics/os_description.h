// The installer's picture of the operating system, kept apart from the calls that gather it so
// the classification and the "Host OS: " text can be worked out (and tested) on any machine.
#pragma once
#include <string>

#include "platform/system.h"

namespace qvk {

// One of 5, 10, 20, 30, 40, 50, 60, 65, 70, 75, or 100 for a version the installer does not know.
int OsVersionCodeOf(const OsFacts& facts);
// True when the system folder lies below a folder named "ReactOS".
bool IsReactOsFolder(const std::string& systemFolder);
// The text that follows "Host OS: " in the log; may be empty.
std::string OsDescriptionOf(const OsFacts& facts);

}  // namespace qvk
