// The editor's two editions, one row each: every place that treats them alike (the folder page
// and its controls, discovery, installation, the configuration questions, the unattended mode)
// walks this table, so a difference between them is a difference of cells.
#pragma once
#include <string>

#include "core/state.h"
#include "window/controls.h"

namespace qvk {

struct Edition {
    const char* name;         // "%logiciel%" of the messages, and the registry's key names
    const char* programFile;  // what the chosen folder must hold, and the process looked for
    const char* shortName;    // the log's word for it ("QV dir : ", "QVS gadgets hidden")
    const char* folderOption;     // the unattended mode's option that gives its folder
    const char* givenLogName;     // and the log's line for a folder so given
    ControlId tickBox;
    ControlId folderField;
    ControlId browseButton;
    const char* tickBoxName;      // the controls' short names, as the log writes them
    const char* folderFieldName;
    const char* defaultFolder;    // the field's text before discovery proposes one
    std::string InstallerState::*chosenFolder;
    std::string InstallJob::*jobFolder;
};

inline constexpr int kEditionCount = 2;
enum EditionIndex : int { QuorvaneEdition = 0, StudioEdition = 1 };

inline const Edition kEditions[kEditionCount] = {
    {"Quorvane", "Quorvane.exe", "QV", "-qvdir=", "Quorvane folder given: ", qvcheck, reptype,
     BrowseQvButton, "qvcheck", "reptype", "C:\\Program Files\\Quorvane\\", &InstallerState::qvDir,
     &InstallJob::qvDir},
    {"Quorvane Studio", "qv-studio.exe", "QVS", "-qvsdir=", "Quorvane Studio folder given: ", qvscheck, reptype2, BrowseQvsButton, "qvscheck",
     "reptype2", "C:\\Program Files\\Quorvane Studio\\", &InstallerState::qvsDir,
     &InstallJob::qvsDir},
};

// The Browse dialog's filter: the program file alone.
inline std::string ProgramFilter(const Edition& edition) {
    return std::string(edition.programFile) + "|" + edition.programFile;
}

}  // namespace qvk
