// Where the two editions of the editor live: the registry probes that guess their folders, the
// walk that proposes those folders on the folder page, and the start-up warning when an
// edition is running.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "install/editions.h"

namespace qvk {

// One registry probe. Every cell is text, the root key too: the decimal text of its predefined
// handle value read as a signed 32-bit number ("-2147483646" is HKEY_LOCAL_MACHINE).
struct HostKey {
    std::string rootKey;
    std::string subKey;
    std::string valueName;   // empty: the key's default value
    std::string stripText1;  // removed from the value before its folder is taken; empty: none
    std::string stripText2;
};
// Five probes of one edition, tried in order.
using HostKeyTable = std::vector<HostKey>;

// The probes of each edition, in the order of the editions' table: filled at start-up, released
// by the walk, which runs once.
extern HostKeyTable hostKeyTables[kEditionCount];
void FillHostKeyTables();

// The handle value a root-key text names; 0, which opens no key, for a text that is not a
// decimal 32-bit number.
int32_t ParseRootKey(const std::string& text);
// The folder a probe's value points at: the strip texts and then the value's file part removed
// wherever they occur, the separator before the file part kept. An empty strip text or file
// part removes nothing.
std::string FolderFromValue(const std::string& value, const std::string& stripText1,
                            const std::string& stripText2);

// The folder page's proposal, made through the current Ui once the page's controls are shown:
// the first probe of each table that yields a value fills that edition's folder field and
// ticks its box; the Studio field and its Browse button show only for a Studio folder of its
// own. Logs each probe and releases both tables.
void DiscoverHostFolders(HostKeyTable (&tables)[kEditionCount]);

// The start-up check: a warning in the current language for each edition found running.
void WarnAboutRunningEditors();

}  // namespace qvk
