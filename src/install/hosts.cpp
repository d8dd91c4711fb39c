#include "install/hosts.h"

#include <cerrno>
#include <cstdlib>

#include "core/log.h"
#include "core/text_helpers.h"
#include "platform/files.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "texts/language.h"
#include "window/ui.h"

namespace qvk {

HostKeyTable hostKeyTables[kEditionCount];

void FillHostKeyTables() {
    // Every edition is probed alike: its uninstaller, the three places a program's "Open with"
    // command is kept, and the editor's own key.
    for (int i = 0; i < kEditionCount; ++i) {
        const std::string name = kEditions[i].name;
        const std::string program = kEditions[i].programFile;
        hostKeyTables[i] = {
            {"-2147483646", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + name,
             "UninstallString", "Uninst.exe", "\""},
            {"-2147483648", "Applications\\" + program + "\\shell\\Open\\Command", "", "%1", "\""},
            {"-2147483647", "Software\\Classes\\Applications\\" + program + "\\shell\\open\\command",
             "", "%1", "\""},
            {"-2147483646", "SOFTWARE\\Classes\\Applications\\" + program + "\\shell\\Open\\Command",
             "", "%1", "\""},
            {"-2147483646", "SOFTWARE\\" + name, "", "", ""},
        };
    }
}

int32_t ParseRootKey(const std::string& text) {
    if (text.empty() || text.find_first_not_of("-0123456789") != std::string::npos) return 0;
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < INT32_MIN || value > INT32_MAX) return 0;
    return static_cast<int32_t>(value);
}

namespace {

// The file part of a value; a value that opens with a quote is read as the quoted path alone.
std::string ProgramFileOf(std::string text) {
    if (!text.empty() && text[0] == '"') {
        text.erase(0, 1);
        const size_t quote = text.find('"');
        if (quote != std::string::npos) text.erase(quote);
    }
    return FilePartOf(text);
}

Ui& Window() { return *CurrentUi(); }

// The first probe of a table that yields a value decides; false when none does.
bool ProposedFolder(const HostKeyTable& table, std::string& folder) {
    for (const HostKey& key : table) {
        Log("Key : " + key.subKey);
        const std::string value =
            platform::ReadRegistryString(ParseRootKey(key.rootKey), key.subKey, key.valueName);
        const std::string failure = value.empty() ? platform::LastErrorText() : std::string();
        Log("Result : " + value + failure);
        if (IsBlank(value)) continue;
        folder = FolderFromValue(value, key.stripText1, key.stripText2);
        return true;
    }
    return false;
}

void WarnIfRunning(const char* image, const char* edition) {
    Log(std::string("Check for ") + image + "...");
    if (!platform::IsProcessRunning(image)) return;
    Log("found !");
    ShowMessage(WithEdition(UiText(HostRunningWarning), edition), IconWarning, ButtonsOk);
}

}  // namespace

std::string FolderFromValue(const std::string& value, const std::string& stripText1,
                            const std::string& stripText2) {
    std::string text = ReplaceAll(value, stripText1, "");
    text = ReplaceAll(text, stripText2, "");
    // A command's executable name ends up with the blank that stood before its "%1"; removing it
    // everywhere also takes a folder of the same name, which the confirmation then questions.
    return ReplaceAll(text, ProgramFileOf(text), "");
}

void DiscoverHostFolders(HostKeyTable (&tables)[kEditionCount]) {
    const Edition& studio = kEditions[StudioEdition];
    Window().Show(studio.folderField, false);
    Window().Show(studio.browseButton, false);
    std::string proposed[kEditionCount];
    for (int i = 0; i < kEditionCount; ++i) {
        const Edition& edition = kEditions[i];
        Log(std::string("Checking for ") + edition.shortName);
        if (!ProposedFolder(tables[i], proposed[i])) continue;
        Log(std::string(edition.shortName) + " dir : " + proposed[i]);
        Window().SetText(edition.folderField, proposed[i]);
        // Both editions in one folder get one installation: the Studio half stays out of sight.
        if (i == StudioEdition) {
            if (proposed[i] == proposed[QuorvaneEdition]) continue;
            Window().Show(edition.folderField, true);
            Window().Show(edition.browseButton, true);
        }
        Window().SetState(edition.tickBox, 1);
    }
    Log("Free useless table");
    for (HostKeyTable& table : tables) HostKeyTable().swap(table);
}

void WarnAboutRunningEditors() {
    for (const Edition& edition : kEditions) WarnIfRunning(edition.programFile, edition.name);
}

}  // namespace qvk
