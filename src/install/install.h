// The install thread: unpacks every fetched plugin archive into the Plugins folder of each
// chosen edition, and the XnView DLL archive into the system folder.
#pragma once
#include <string>

#include "core/state.h"

namespace qvk {

// The Windows system folder without a trailing separator; empty when it cannot be read.
std::string SystemFolder();

// The body of the install thread. Reports through the wizard window (heading, both bars, a box
// per unreadable archive) and ends; its end is the main loop's signal.
void InstallThread(InstallJob* job);

}  // namespace qvk
