// Facts about the running system for its identification in the log and the start-up warning.
#pragma once
#include <string>

#include "diagnostics/os_description.h"

namespace qvk::platform {

// The system folder alone, so a ReactOS system is recognised before any version is read.
std::string OsSystemFolder();
// Every version fact; leaves systemFolder as it is.
void ReadOsVersion(OsFacts& facts);
// The user's default language identifier (16 bits).
unsigned UserLanguageId();

}  // namespace qvk::platform
