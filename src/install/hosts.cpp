#include "install/hosts.h"

#include <cerrno>
#include <cstdlib>

#include "core/log.h"
#include "core/text_helpers.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "texts/language.h"
#include "window/ui.h"

namespace qvk {

HostKeyTable quorvaneKeyTable;
HostKeyTable studioKeyTable;

void FillHostKeyTables() {
    quorvaneKeyTable = {
        {"-2147483646", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quorvane",
         "UninstallString", "Uninst.exe", "\""},
        {"-2147483648", "Applications\\Quorvane.exe\\shell\\Open\\Command", "", "%1", "\""},
        {"-2147483647", "Software\\Classes\\Applications\\Quorvane.exe\\shell\\open\\command", "",
         "%1", "\""},
        {"-2147483646", "SOFTWARE\\Classes\\Applications\\Quorvane.exe\\shell\\Open\\Command", "",
         "%1", "\""},
        {"-2147483646", "SOFTWARE\\Quorvane", "", "", ""},
    };
    studioKeyTable = {
        {"-2147483646", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quorvane Studio",
         "UninstallString", "Uninst.exe", "\""},
        {"-2147483648", "Applications\\qv-studio.exe\\shell\\Open\\Command", "", "%1", "\""},
        {"-2147483647", "Software\\Classes\\Applications\\qv-studio.exe\\shell\\open\\command", "",
         "%1", "\""},
        {"-2147483646", "SOFTWARE\\Classes\\Applications\\qv-studio.exe\\shell\\Open\\Command", "",
         "%1", "\""},
        {"-2147483646", "SOFTWARE\\Quorvane Studio", "", "", ""},
    };
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
        Log("Result : " + value);
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

void DiscoverHostFolders(HostKeyTable& quorvane, HostKeyTable& studio) {
    Log("Checking for QV");
    Window().Show(reptype2, false);
    Window().Show(BrowseQvsButton, false);
    std::string qvFolder;
    if (ProposedFolder(quorvane, qvFolder)) {
        Log("QV dir : " + qvFolder);
        Window().SetText(reptype, qvFolder);
        Window().SetState(qvcheck, 1);
    }
    Log("Checking for QVS");
    std::string qvsFolder;
    if (ProposedFolder(studio, qvsFolder)) {
        Log("QVS dir : " + qvsFolder);
        Window().SetText(reptype2, qvsFolder);
        // Both editions in one folder get one installation: the Studio half stays out of sight.
        if (qvsFolder != qvFolder) {
            Window().Show(reptype2, true);
            Window().Show(BrowseQvsButton, true);
            Window().SetState(qvscheck, 1);
        }
    }
    Log("Free useless table");
    HostKeyTable().swap(quorvane);
    HostKeyTable().swap(studio);
}

void WarnAboutRunningEditors() {
    WarnIfRunning("Quorvane.exe", "Quorvane");
    WarnIfRunning("qv-studio.exe", "Quorvane Studio");
}

}  // namespace qvk
