// The native build has no registry, no Windows process list and no Windows version record.
// These stand-ins start empty ("nothing installed, nothing running, version unreadable") and
// the unit tests fill them to put the installer's own logic before any system it may meet.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "diagnostics/os_description.h"
#include "platform/files.h"

namespace qvk::platform::fake {

// Key and value names match without regard to letter case, as in the registry. A value given
// here counts as a string that fits the read; setting one also makes its key exist.
void SetRegistryValue(int32_t root, const std::string& subKey, const std::string& valueName,
                      const std::string& value);
void SetRunningProcesses(const std::vector<std::string>& imageNames);
// What the version calls report; systemFolder is what the system-folder call reports.
void SetOsFacts(const OsFacts& facts);
// What the user's default language call reports (0x0409 until set).
void SetUserLanguageId(unsigned id);
// What every disk reports from now on; until set (or with `known` false) the disks' own figures.
void SetDiskRoom(const DiskRoom& room);
// Back to the empty start.
void Reset();

}  // namespace qvk::platform::fake
